// The ink model: the 18 channels a job can print, in one table that every
// layer reads. Index 0..17 is the channel's slot; its code names it in
// PRNSequence, in plane file names and in the PRN format's positions:
//   process inks "0".."3" (C, M, Y, K), light inks "L0".."L3", multicolor
//   inks "M0".."M3", spot colours "S0".."S5".
// Codes are case-sensitive ASCII. A light ink's plane is a copy of the plane
// it lightens; the process inks carry the colorant names Ghostscript's
// separation devices give their planes.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace qm {

inline constexpr int kSlotCount = 18;

enum class InkGroup { kProcess, kLight, kMulticolor, kSpot };

// The slots [first, end) of a group.
struct InkRange {
  int first, end;
  constexpr int size() const { return end - first; }
  constexpr bool contains(int i) const { return i >= first && i < end; }
};
inline constexpr InkRange kProcessInks{0, 4}, kLightInks{4, 8}, kMulticolorInks{8, 12}, kSpotInks{12, 18};
inline constexpr int kBlackInk = kProcessInks.first + 3;  // the process black, the underbase's knockout

using PreviewRgb = std::array<float, 3>;

// A colour lightened towards white: 1 - strength x (1 - v).
constexpr PreviewRgb Lightened(PreviewRgb c, float strength) {
  for (float& v : c) v = 1.0f - strength * (1.0f - v);
  return c;
}

struct InkChannel {
  const char* code;
  InkGroup group;
  const char* name;       // "light cyan"; empty for the multicolor and spot inks
  const char* separator;  // the process inks' colorant in Ghostscript's planes
  int lightens;           // a light ink's source slot, else -1
  PreviewRgb preview;     // its colour in a picture of the dots
};

namespace ink_colours {
inline constexpr PreviewRgb kCyan{0.0f, 0.68f, 0.94f}, kMagenta{0.93f, 0.0f, 0.55f}, kYellow{1.0f, 0.95f, 0.0f},
    kBlack{0.1f, 0.1f, 0.1f};
}  // namespace ink_colours

inline constexpr std::array<InkChannel, kSlotCount> kInkChannels = {{
    {"0", InkGroup::kProcess, "cyan", "Cyan", -1, ink_colours::kCyan},
    {"1", InkGroup::kProcess, "magenta", "Magenta", -1, ink_colours::kMagenta},
    {"2", InkGroup::kProcess, "yellow", "Yellow", -1, ink_colours::kYellow},
    {"3", InkGroup::kProcess, "black", "Black", -1, ink_colours::kBlack},
    {"L0", InkGroup::kLight, "light cyan", "", 0, Lightened(ink_colours::kCyan, 0.45f)},
    {"L1", InkGroup::kLight, "light magenta", "", 1, Lightened(ink_colours::kMagenta, 0.45f)},
    {"L2", InkGroup::kLight, "light black", "", 3, Lightened(ink_colours::kBlack, 0.5f)},
    {"L3", InkGroup::kLight, "light light black", "", 3, Lightened(ink_colours::kBlack, 0.28f)},
    {"M0", InkGroup::kMulticolor, "", "", -1, {1.0f, 0.5f, 0.0f}},     // orange
    {"M1", InkGroup::kMulticolor, "", "", -1, {0.0f, 0.65f, 0.3f}},    // green
    {"M2", InkGroup::kMulticolor, "", "", -1, {0.5f, 0.2f, 0.7f}},     // violet
    {"M3", InkGroup::kMulticolor, "", "", -1, {0.9f, 0.1f, 0.1f}},     // red
    {"S0", InkGroup::kSpot, "", "", -1, {0.1f, 0.2f, 0.8f}},           // blue
    {"S1", InkGroup::kSpot, "", "", -1, {0.55f, 0.35f, 0.15f}},        // brown
    {"S2", InkGroup::kSpot, "", "", -1, {1.0f, 0.6f, 0.75f}},          // pink
    {"S3", InkGroup::kSpot, "", "", -1, {0.0f, 0.55f, 0.55f}},         // teal
    {"S4", InkGroup::kSpot, "", "", -1, {0.55f, 0.6f, 0.1f}},          // olive
    {"S5", InkGroup::kSpot, "", "", -1, {0.85f, 0.65f, 0.1f}},         // gold
}};

// The colour of an ink no channel code names.
inline constexpr PreviewRgb kUnknownInkPreview{0.5f, 0.5f, 0.5f};

// The code of channel `index`, "" outside 0..17.
inline const char* ChannelCode(int index) { return index >= 0 && index < kSlotCount ? kInkChannels[index].code : ""; }

// The code of spot colour n ("S0".."S5"), "" outside 0..5.
inline const char* SpotInkCode(int n) { return n >= 0 && n < kSpotInks.size() ? ChannelCode(kSpotInks.first + n) : ""; }

// The channel of a code, or -1 when it names none.
inline int ChannelIndexOfCode(std::string_view code) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (code == kInkChannels[i].code) return i;
  }
  return -1;
}

}  // namespace qm
