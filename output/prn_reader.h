// Reading printer files back: header, layout check, dot counts per channel
// position, and the prn-info JSON text.
//
// What holds for all of it:
// - Layout and byte order as in output/prn_format.h.
// - Streaming: a file is read one file row (N channel rows) at a time, so a
//   file of gigabytes costs memory of one row; nothing reads a whole file.
// - Dot counts cover the W pixels of each channel row; the tail bytes up to R
//   are ignored.
// - Error policy: what reads a file returns StatusOr<the result> or a Status,
//   failing with a one-line reason when the file cannot be opened or read;
//   the rest return plain values. Nothing throws, prints or exits.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "output/prn_format.h"
#include "platform/status.h"

namespace qm {

class PrnReader {
 public:
  // Opens a file and parses its header; fails when it cannot be opened or
  // holds fewer than 48 bytes. The header is not judged here.
  static StatusOr<PrnReader> Open(const std::filesystem::path& path);

  const PrnFileHeader& header() const { return header_; }
  uint64_t fileSize() const { return fileSize_; }
  // File size equals 48 + H x N x R with the header's own fields.
  bool sizeOk() const { return fileSize_ == PrnExpectedFileSize(header_); }
  // The header is sound (PrnHeaderProblem empty) and the size matches: the
  // rows can be read.
  bool layoutOk() const { return sizeOk() && PrnHeaderProblem(header_).empty(); }

  // Calls visit(y, row) for y = 0..H-1 in file order, where row holds the
  // N x R bytes of file row y (channel row p at p x R). Stops and fails when
  // the layout is not sound, a read fails or visit fails (with its cause).
  Status ForEachRow(const std::function<Status(uint32_t y, std::span<const uint8_t> row)>& visit);

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::shared_ptr<std::FILE> file_;
  PrnFileHeader header_;
  uint64_t fileSize_ = 0;
};

// Dots of one position. Bits 2: counts of the codes 00, 01, 10, 11. Bits 1:
// counts of 0 and 1 bits in [0] and [1]; [2] and [3] are 0.
using PrnDotCounts = std::array<uint64_t, 4>;

// Counts of one channel row of `width` pixels (bytes beyond the pixels ignored).
PrnDotCounts CountRowDots(std::span<const uint8_t> row, uint32_t width, int bits);

// Counts of every position over the whole file, streamed. Fails when the
// layout is not sound or a read fails.
StatusOr<std::vector<PrnDotCounts>> CountPrnDots(PrnReader& reader);

// ---- Positions to slots and inks ----------------------------------------------

// The slot index of each of n positions of a file made with a preset, as
// the jobs lay them out: C, M, Y, K; the light slots whose ink the preset
// uses (lightFlags: UseLc, UseLm, UseLk, UseLlk as 0/1) or whose field of
// PRNSequence names an ink (those last are left out first when n is too
// small for them); then the multicolour slots, at most as many as the
// multicolour inks of ICCOutputColors (its names 5 to 8, up to the last
// that is given), and the spot slots. The file does not record the split
// between multicolour and spot positions; this is the one a job with that
// preset makes. When n does not fit the preset, DefaultPositionSlots(n).
std::vector<int> PositionSlotsFromPreset(uint32_t n, const std::array<int, 4>& lightFlags,
                                         std::string_view prnSequence, std::string_view iccOutputColors);

// Without a preset: position p is slot p ("0".."3", "L0".., "M0".., "S0"..).
std::vector<int> DefaultPositionSlots(uint32_t n);

// Ink code of each slot: field `slot` of the comma-separated PRNSequence,
// as it stands. Without a sequence (nullopt) the slot code stands for the ink.
std::vector<std::string> InksForSlots(std::span<const int> slots,
                                      std::optional<std::string_view> prnSequence);

// ---- prn-info -------------------------------------------------------------------

struct PrnPositionInfo {
  std::string slot;  // slot code
  std::string ink;   // ink code
  PrnDotCounts dots{};
  double coverage = 0.0;      // output/ink_figures.h
  double inkMl = 0.0;
  std::optional<double> cost;
};

struct InkSettings;  // output/ink_figures.h

// The prn-info JSON object on one line:
// {"signature": 21845, "xResolution": 720, ..., "sizeOk": true,
//  "inkMl": 0.0123, "cost": 0.0015,
//  "positions": [{"slot": "0", "ink": "0", "dots": [n00, n01, n10, n11],
//                 "coverage": 0.42, "inkMl": 0.004, "cost": 0.0005}, ...]}
// "dots" has two counts [n0, n1] for bits 1 and four otherwise. "cost"
// appears on a position with a price, and at the top when every position
// has one.
std::string PrnInfoJson(const PrnFileHeader& header, bool sizeOk,
                        std::span<const PrnPositionInfo> positions);

// Reads the file and builds the prn-info JSON with the given slots and inks
// per position (missing entries fall back to the slot index's code and the
// slot code) and the ink figures by `inkSettings` (nullptr: the defaults).
// When the layout is not sound, "positions" is empty. Fails when the file
// cannot be opened or read.
StatusOr<std::string> PrnInfo(const std::filesystem::path& path, std::span<const int> slots,
                              std::span<const std::string> inks, const InkSettings* inkSettings = nullptr);

}  // namespace qm
