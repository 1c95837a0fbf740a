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

uint32_t BandOverlap(double scale) {
  // The filter's reach in source rows: 2 when enlarging, 3 / scale when
  // reducing (imaging's Lanczos 3 widened by the reduction), plus a row.
  const double reach = scale < 1.0 ? 3.0 / scale : 3.0;
  return std::max(kBandOverlap, static_cast<uint32_t>(std::ceil(reach)) + 1);
}

BandPlan PlanBand(const BandLayout& layout, uint32_t band) {
  BandPlan plan;
  if (band >= kBandCount || layout.sourceRows == 0 || layout.outputRows == 0) return plan;
  plan.outFirst = band * layout.bandRows;
  plan.outCount = band + 1 < kBandCount ? layout.bandRows : layout.outputRows - plan.outFirst;
  if (plan.outCount == 0) return plan;
  // The source rows that the written output rows come from, widened by the
  // overlap, in which the resampling filter and the error diffusion settle.
  const double s = layout.scale;
  const double overlap = BandOverlap(s);
  const double first = std::floor(plan.outFirst / s);
  const double end = std::ceil((plan.outFirst + plan.outCount) / s);
  const double top = std::max(0.0, first - overlap);
  const double bottom = std::min<double>(layout.sourceRows, end + overlap);
  plan.cropTop = static_cast<uint32_t>(top);
  plan.cropRows = static_cast<uint32_t>(std::max(1.0, bottom - top));
  if (plan.cropTop + plan.cropRows > layout.sourceRows) plan.cropTop = layout.sourceRows - plan.cropRows;
  // The strip: the output rows whose centres, (o + 0.5) / s, lie in the crop,
  // always with the written rows.
  const double stripTop = std::ceil(plan.cropTop * s - 0.5);
  const double stripEnd = std::ceil((plan.cropTop + plan.cropRows) * s - 0.5);
  plan.stripFirst = std::min(plan.outFirst, static_cast<uint32_t>(std::max(0.0, stripTop)));
  const uint32_t last = std::max(plan.outFirst + plan.outCount,
                                 static_cast<uint32_t>(std::min<double>(layout.outputRows, stripEnd)));
  plan.stripRows = last - plan.stripFirst;
  return plan;
}

uint32_t DroppedRows(const BandPlan& plan) { return plan.outFirst - plan.stripFirst; }

}  // namespace qm
