#include "output/band_geometry.h"

#include <algorithm>
#include <cmath>

namespace qm {

uint32_t ResampledSize(uint32_t n, double from, double to) {
  if (!(from > 0.0) || !(to > 0.0)) return 0;
  const double size = std::round(n * to / from);
  return size < 0.0 ? 0u : (size > 4.0e9 ? 4000000000u : static_cast<uint32_t>(size));
}

BandLayout MakeBandLayout(uint32_t sourceRows, double sourceResolution, double targetResolution) {
  BandLayout layout;
  layout.sourceRows = sourceRows;
  layout.outputRows = ResampledSize(sourceRows, sourceResolution, targetResolution);
  layout.scale = sourceRows == 0 ? 1.0 : static_cast<double>(layout.outputRows) / sourceRows;
  const uint32_t h = sourceRows / kBandCount;
  layout.bandRows = std::min(ResampledSize(h, sourceResolution, targetResolution),
                             layout.outputRows / kBandCount);
  return layout;
}

BandPlan PlanBand(const BandLayout& layout, uint32_t band) {
  BandPlan plan;
  if (band >= kBandCount || layout.sourceRows == 0 || layout.outputRows == 0) return plan;
  plan.outFirst = band * layout.bandRows;
  plan.outCount = band + 1 < kBandCount ? layout.bandRows : layout.outputRows - plan.outFirst;
  if (plan.outCount == 0) return plan;
  // The source rows that the written output rows come from, widened by the
  // overlap, which the resampling filter and the error diffusion settle in.
  const double s = layout.scale;
  const double first = std::floor(plan.outFirst / s);
  const double end = std::ceil((plan.outFirst + plan.outCount) / s);
  const double top = std::max(0.0, first - kBandOverlap);
  const double bottom = std::min<double>(layout.sourceRows, end + kBandOverlap);
  plan.cropTop = static_cast<uint32_t>(top);
  plan.cropRows = static_cast<uint32_t>(std::max(1.0, bottom - top));
  if (plan.cropTop + plan.cropRows > layout.sourceRows) plan.cropTop = layout.sourceRows - plan.cropRows;
  return plan;
}

uint32_t DroppedRows(const BandLayout& layout, const BandPlan& plan, uint32_t resampledRows) {
  if (plan.cropRows == 0 || resampledRows <= plan.outCount) return 0;
  // Output row o has its centre at source position (o + 0.5) / s; local row
  // j of the strip at cropTop + (j + 0.5) / t, t the strip's own scale.
  const double t = static_cast<double>(resampledRows) / plan.cropRows;
  const double source = (plan.outFirst + 0.5) / layout.scale;
  const double j = std::round((source - plan.cropTop) * t - 0.5);
  const double most = resampledRows - plan.outCount;
  return static_cast<uint32_t>(std::clamp(j, 0.0, most));
}

}  // namespace qm
