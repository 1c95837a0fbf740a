#include "halftone/levels.h"

namespace qm {

namespace {
constexpr int32_t kFullTone = 65535;
}

DotLevels DeriveDotLevels(int32_t presetMiddle, int32_t presetLarge, int32_t bits, DotsCode useDots) {
  // A start of 1 gives the preset level 65536, above full tone: every level
  // stays a tone of 0..65535, so planes, 16-bit files and the packer agree.
  auto tone = [](int32_t v) { return v < 0 ? 0 : (v > kFullTone ? kFullTone : v); };
  DotLevels levels;
  levels.middle = bits == 1 ? 0 : tone(presetMiddle);
  levels.large = bits == 1 ? 0 : tone(presetLarge);
  const int32_t oldMiddle = levels.middle;
  const int32_t oldLarge = levels.large;
  switch (useDots) {
    case DotsCode::kSmall:  // small dot only: two levels
      levels.middle = 0;
      levels.large = 0;
      levels.largeEnabled = 0;
      levels.middleEnabled = 0;
      break;
    case DotsCode::kMiddle:
      levels.middle = 0;
      levels.large = kFullTone;
      levels.largeEnabled = 0;
      break;
    case DotsCode::kLarge:
      levels.middle = kFullTone;
      levels.large = kFullTone;
      break;
    case DotsCode::kSmallMiddle:
      levels.middle = 0;
      levels.large = oldMiddle;
      levels.largeEnabled = 0;
      break;
    case DotsCode::kMiddleLarge:
      levels.middle = oldLarge;
      levels.large = kFullTone;
      break;
    case DotsCode::kSmallLarge:
      levels.large = oldMiddle;
      break;
    default:  // 111 and unknown codes keep the preset's levels
      break;
  }
  return levels;
}

}  // namespace qm
