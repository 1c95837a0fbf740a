#include "separation/plane_recipe.h"

namespace qm {

void ApplyRecipe(const PlaneRecipe& recipe, const HalftoneParams& halftone, int32_t slot, imaging::Plane& plane,
                 uint32_t band) {
  for (const PlaneStep step : recipe.order) {
    switch (step) {
      case PlaneStep::kTurn:
        if (recipe.quarterTurn != 0) imaging::Rotate(plane, recipe.quarterTurn);
        if (recipe.halfTurn) imaging::Rotate(plane, 180);
        break;
      case PlaneStep::kNegate:
        if (recipe.negate) imaging::Negate(plane);
        break;
      case PlaneStep::kResample:
        imaging::Resample(plane, recipe.xResolution, recipe.yResolution);
        break;
      case PlaneStep::kHalftone:
        HalftonePlane(halftone, plane.pixels.data(), plane.width, plane.height, slot, band);
        break;
    }
  }
  if (recipe.mirror) imaging::Mirror(plane);
}

}  // namespace qm
