// The 18 channels and their codes, the one table every layer reads: the
// process inks "0".."3" (C, M, Y, K), the light inks "L0".."L3", the
// multicolor inks "M0".."M3" and the spot colours "S0".."S5", indices 0..17.
// Codes are case-sensitive ASCII. A slot is a position 0..17 of PRNSequence;
// the PRN format's channel positions name their inks by the same codes.
#pragma once

#include <string_view>

#include "settings/active_setting.h"

namespace qm {

inline constexpr const char* kChannelCodes[] = {"0",  "1",  "2",  "3",  "L0", "L1", "L2", "L3", "M0",
                                                "M1", "M2", "M3", "S0", "S1", "S2", "S3", "S4", "S5"};
static_assert(std::size(kChannelCodes) == kSlotCount);

// The code of channel `index`, "" outside 0..17.
inline const char* ChannelCode(int index) { return index >= 0 && index < kSlotCount ? kChannelCodes[index] : ""; }

// The channel of a code, or -1 when it names none.
inline int ChannelIndexOfCode(std::string_view code) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (code == kChannelCodes[i]) return i;
  }
  return -1;
}

}  // namespace qm
