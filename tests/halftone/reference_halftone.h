// Multi-level error diffusion written out plainly from its rules, with no
// code of the product's halftoner: the oracle the fast scan must match byte
// for byte. Only the random streams (RandomSource) are shared: which
// generator feeds the draws is the product's choice, not a rule.
#pragma once

#include <cstdint>
#include <vector>

namespace qm::test {

struct HalftoneCase {
  int32_t presetMiddle = 19660;  // middleDotLevel as the preset gives it
  int32_t presetLarge = 39321;   // largeDotLevel
  int32_t bits = 2;
  int32_t useDots = 111;
  float middleDilution = 1.0f;
  float largeDilution = 1.0f;
  int32_t method = 0;
  int32_t slot = 0;
  uint32_t band = 0;
};

// Halftones `plane` (width x height tones already through the curve) in place.
void ReferenceHalftone(std::vector<float>& plane, uint32_t width, uint32_t height, const HalftoneCase& c);

}  // namespace qm::test
