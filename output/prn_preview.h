// prn-preview: a PNG picture of the dots of a printer file.
//
// What holds for all of it:
// - Each position is drawn in an approximate colour of its ink (by ink code:
//   "0" cyan, "1" magenta, "2" yellow, "3" black, "L0".."L3" lighter cyan,
//   magenta, black and a lighter black, "M0".."M3" and "S0".."S5" distinct
//   colours of their own, from inks/ink_model.h; unknown codes grey). Inks mix subtractively on
//   white paper; a larger dot covers more (bits 2: codes 01, 10, 11 cover
//   1/3, 2/3 and all of a pixel; bits 1: a dot covers all).
// - With a background (a garment's colour), the picture starts from it
//   instead of white paper, and the ink `whiteInk` (the underbase's) is an
//   opaque white layer under the others: it covers the garment by its
//   coverage, and the other inks mix on top.
// - A file larger than maxSide on its long side is reduced by a whole factor
//   so that it fits, averaging the coverage of each block of pixels.
// - The file is read row by row (memory of one file row and one output row);
//   the PNG is 8-bit RGB, written row by row with libpng. RenderPrnPreview
//   gives the same picture in memory (for the desktop program's preview).
// - A render stops early, failing, when options.cancel becomes true.
// - Error policy: the renders return a Status, or StatusOr<the picture>,
//   failing with a one-line reason; a failed PNG is removed. The colour
//   helpers return plain values. Nothing throws, prints or exits.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "inks/ink_model.h"
#include "platform/status.h"

namespace qm {

struct PrnPreviewOptions {
  uint32_t maxSide = 2000;                // long side of the picture at most
  std::optional<uint32_t> onlyPosition;   // draw this position alone
  const std::atomic<bool>* cancel = nullptr;  // polled once per file row
  std::optional<std::array<float, 3>> background;  // RGB 0..1; none: white paper
  std::string whiteInk = SpotInkCode(0);                   // drawn white on a background
};

// "#RRGGBB" or "RRGGBB" (hex digits in any case) as RGB 0..1; nullopt
// otherwise.
std::optional<std::array<float, 3>> ParsePreviewColour(std::string_view text);

// A picture: width x height pixels of 8-bit RGB, row-major.
struct PrnPreviewImage {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

// The colour of full coverage of an ink, RGB 0..1, by ink code.
std::array<float, 3> PreviewInkColour(std::string_view inkCode);

// The whole-number reduction factor for a width x height file.
uint32_t PreviewScale(uint32_t width, uint32_t height, uint32_t maxSide);

// Renders the printer file at prnPath into a PNG at pngPath. inks holds the
// ink code of each position (missing entries: the position's slot code in
// slot order). Fails when the file cannot be read, its layout is not sound,
// onlyPosition is not a position of the file, or the PNG cannot be written.
Status WritePrnPreview(const std::filesystem::path& prnPath, const std::filesystem::path& pngPath,
                       std::span<const std::string> inks, const PrnPreviewOptions& options = {});

// The same picture in memory; fails (with the reason) where WritePrnPreview
// would fail to read.
StatusOr<PrnPreviewImage> RenderPrnPreview(const std::filesystem::path& prnPath, std::span<const std::string> inks,
                                           const PrnPreviewOptions& options = {});

// The renderer under both: begin(width, height) once, then row(rgb) for each
// picture row, top first; either failing stops it with its failure.
using PreviewBegin = std::function<Status(uint32_t width, uint32_t height)>;
using PreviewRow = std::function<Status(const uint8_t* rgb)>;
Status RenderPrnPreviewRows(const std::filesystem::path& prnPath, std::span<const std::string> inks,
                            const PrnPreviewOptions& options, const PreviewBegin& begin, const PreviewRow& row);

}  // namespace qm
