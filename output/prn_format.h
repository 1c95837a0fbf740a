// PRN format: the 48-byte header, the channel row packer and the channel
// positions of a printer file.
//
// What holds for all of it:
// - Byte order: every multi-byte number of the file is little-endian,
//   whatever the host.
// - Units: resolutions in dots per inch; width and height in pixels of the
//   halftoned planes; row stride R in bytes.
// - Pixels handed to the packer are ink values as floats on the scale
//   0..65535 (0 no ink, 65535 full ink), one float per pixel, row-major.
// - Layout: header at offset 0, then for each row y and each channel
//   position p the R bytes of row y of position p, at
//   48 + (y x N + p) x R. The file is 48 + H x N x R bytes long.
// - Dot coding uses the DotLevels of the job (halftone/levels.h, derived by
//   DeriveDotLevels), never levels left behind by a previous halftoning, so
//   every writer produces the same bytes for the same planes and settings.
// - Ownership: nothing here keeps a pointer to what it is given; output
//   buffers belong to the caller.
// - Error policy: functions return false / nullopt on bad input and never
//   throw, print or end the process. All functions are pure and thread-safe.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "halftone/levels.h"
#include "inks/ink_model.h"

namespace qm {

inline constexpr std::size_t kPrnHeaderSize = 48;
inline constexpr uint32_t kPrnSignature = 0x5555;  // bytes 55 55 00 00
inline constexpr uint32_t kPrnMinChannels = 4;   // C, M, Y, K
inline constexpr uint32_t kPrnMaxChannels = 18;

struct PrnFileHeader {
  uint32_t signature = kPrnSignature;
  uint32_t xResolution = 0;
  uint32_t yResolution = 0;
  uint32_t rowStride = 0;  // R
  uint32_t height = 0;     // rows; stored before the width
  uint32_t width = 0;      // pixels per row
  uint32_t reserved = 0;   // bytes 24..27, always 0 when written
  uint32_t channels = 0;   // N
  uint8_t bits = 0;        // 1 or 2 bits per pixel
  std::array<uint8_t, 15> reservedTail{};  // bytes 33..47, always 0 when written

  bool operator==(const PrnFileHeader&) const = default;
};

// R = floor(width x bits / 32) x 4 + 4: one 32-bit word more than the whole
// words the pixels fill (a row that fills whole words ends in four zero bytes).
// Computed in 64 bits; 0 when bits is not 1 or 2 or R does not fit 32 bits.
uint32_t PrnRowStride(uint32_t width, int bits);

// A header with R computed from width and bits; nullopt when bits is not 1
// or 2, channels is not 4..18 or R does not fit.
std::optional<PrnFileHeader> MakePrnHeader(uint32_t xResolution, uint32_t yResolution,
                                           uint32_t width, uint32_t height,
                                           uint32_t channels, int bits);

// The 48 bytes of a header, the reserved fields as they stand in the struct
// (zero in every header MakePrnHeader makes).
std::array<uint8_t, kPrnHeaderSize> SerializePrnHeader(const PrnFileHeader& header);

// The fields of the first 48 bytes as they stand; nullopt when fewer than 48
// bytes are given. It does not judge them: see PrnHeaderProblem.
std::optional<PrnFileHeader> ParsePrnHeader(std::span<const uint8_t> bytes);

// Empty when the header describes a file this system writes (signature,
// bits 1 or 2, 4..18 channels, R matching width and bits, reserved bytes 24..27
// and 33..47 zero), else a one-line description of the first problem.
std::string PrnHeaderProblem(const PrnFileHeader& header);

// Size a file with this header must have: 48 + H x N x R.
uint64_t PrnExpectedFileSize(const PrnFileHeader& header);

// Offset of row y of channel position p: 48 + (y x N + p) x R.
uint64_t PrnRowOffset(const PrnFileHeader& header, uint32_t y, uint32_t p);

// ---- Row packing ------------------------------------------------------------

// The 2-bit code used where a pixel matches neither 0 nor a level:
// 11 when the large dot is enabled, else 10 when the middle dot is, else 01.
uint8_t PrnFallbackCode(const DotLevels& levels);

// The 2-bit code of one pixel: v = the value truncated to an integer; the
// first that applies of v == 0 -> 00, v == middle -> 01, v == large -> 10,
// else PrnFallbackCode. A value that does not fit int32 (or NaN) counts as
// INT32_MIN.
uint8_t PrnTwoBitCode(float value, const DotLevels& levels);

// Packs one row of row.size() pixels into PrnRowStride(row.size(), bits)
// bytes at the start of out, most significant bit first, then zero bytes up
// to R. Bits 1: a pixel whose float value is not 0.0 is a 1 bit. Bits 2:
// PrnTwoBitCode, pixel x in bits 7-2k and 6-2k of byte x/4 (k = x mod 4).
// Returns false (writing nothing) when bits is not 1 or 2 or out is shorter
// than R.
bool PackPrnRow(std::span<const float> row, int bits, const DotLevels& levels,
                std::span<uint8_t> out);

// ---- Channel positions --------------------------------------------------------

// Positions name their inks by the channel codes of inks/ink_model.h.

// Which slots a job packs: the four light-ink flags (Lc, Lm, Lk, Llk: slots
// L0..L3), the multicolour plane count m (0..4) and the spot count s (0..6).
struct PrnChannelSet {
  bool lc = false;
  bool lm = false;
  bool lk = false;
  bool llk = false;
  int multicolor = 0;
  int spot = 0;

  // Takes in the slot of channel `slot`: its light ink, or the multicolour
  // or spot inks up to it. A process slot is always in.
  void Include(int slot) {
    if (kLightInks.contains(slot)) *std::array<bool*, 4>{&lc, &lm, &lk, &llk}[slot - kLightInks.first] = true;
    if (kMulticolorInks.contains(slot)) multicolor = std::max(multicolor, slot - kMulticolorInks.first + 1);
    if (kSpotInks.contains(slot)) spot = std::max(spot, slot - kSpotInks.first + 1);
  }
};

// The slot index of every position in packing order: "0".."3", the light
// slots that are included, the first m of M0..M3, the first s of S0..S5.
// The position count is N. nullopt when m or s is out of range.
std::optional<std::vector<int>> PrnPositionSlots(const PrnChannelSet& set);

}  // namespace qm
