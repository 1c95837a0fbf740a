// The steps one plane takes from its slot file to dots, as data: turn,
// negate, resample, halftone. Every pipeline runs the same four steps with
// the same arithmetic; they differ only in order, on purpose:
//
// - Separate (jobs/plane_loop.cpp) resamples first and turns the
//   plane at the printer's resolution: its plane files are filed at the
//   printer's size, and Compose turns them again later.
// - Compose (jobs/compose_job.cpp) and Print (output/print_raster.cpp,
//   output/band_renderer.cpp) turn first, so the resampling runs along the
//   printer's axes and a turned plane resamples as the printed one does.
//
// Whole planes go through ApplyRecipe. The Print modes take their recipe
// from raster::Recipe (output/print_raster_internal.h) and run its steps in
// rows (RowResampler, HalftoneRows) or bands, in kPrintOrder; their bytes
// equal ApplyRecipe's on the whole plane.
#pragma once

#include <array>
#include <cstdint>

#include "halftone/halftone.h"
#include "imaging/imaging.h"

namespace qm {

enum class PlaneStep { kTurn, kNegate, kResample, kHalftone };
using PlaneOrder = std::array<PlaneStep, 4>;

inline constexpr PlaneOrder kSeparateOrder = {PlaneStep::kResample, PlaneStep::kTurn, PlaneStep::kNegate,
                                              PlaneStep::kHalftone};
inline constexpr PlaneOrder kPrintOrder = {PlaneStep::kTurn, PlaneStep::kNegate, PlaneStep::kResample,
                                           PlaneStep::kHalftone};

struct PlaneRecipe {
  PlaneOrder order = kPrintOrder;
  int quarterTurn = 0;      // 0, 90 (clockwise) or -90
  bool halfTurn = false;    // then by 180 degrees
  bool negate = false;      // the plane holds 0 for full ink
  // dfMirror: after the last step, the halftoned plane flipped left to right,
  // so the dots are those of the unmirrored job, mirrored (error diffusion
  // scans from the left; flipping its input would move the dots).
  bool mirror = false;
  double xResolution = 0.0;  // of the printer
  double yResolution = 0.0;
};

// The recipe's steps on a whole plane, in its order, then the mirror; the
// halftone step halftones slot `slot` (band `band`) with `halftone`.
void ApplyRecipe(const PlaneRecipe& recipe, const HalftoneParams& halftone, int32_t slot, imaging::Plane& plane,
                 uint32_t band = 0);

}  // namespace qm
