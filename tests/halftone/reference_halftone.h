// The straightforward halftoner kept as the test oracle of HalftonePlane.
#pragma once

#include "halftone/halftone.h"

namespace qm::test {

float* ReferenceHalftonePlane(const ActiveSetting& settings, float* plane, uint32_t width, uint32_t height,
                              int32_t bits, float middleDotDilution, float largeDotDilution, int32_t useDots,
                              int32_t ditherMethod, int32_t slot, uint32_t band = 0);

}  // namespace qm::test
