// The dot levels and flags of one job: a pure function of the preset's levels
// (as Apply derived them), Bits and UseDots. The halftoner quantises against
// them and the PRN packer codes pixels against them, so every plane of a job,
// in any process, uses one level set.
#pragma once

#include <cstdint>

#include "settings/active_setting.h"

namespace qm {

struct DotLevels {
  int32_t middle = 0;  // D, the lower intermediate level
  int32_t large = 0;   // U, the upper intermediate level
  int32_t middleEnabled = 1;
  int32_t largeEnabled = 1;
};

// presetMiddle and presetLarge are ActiveSetting::middleDotLevel and
// largeDotLevel as Apply set them, taken into 0..65535 (a start of 1 gives
// 65536: the level of full tone). Bits 1 zeroes both levels before the dots
// code is applied. Codes 11 and 110 derive from the preset's levels, so the
// result is the same however often it is called.
DotLevels DeriveDotLevels(int32_t presetMiddle, int32_t presetLarge, int32_t bits, DotsCode useDots);

}  // namespace qm
