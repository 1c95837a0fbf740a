// The Compose job: the plane files of one separated image to a PRN file.
//
// The planes move from RipIn/Separation/<item>/ into the Working folder
// ("00_" + code), take their slots from PRNSequence and are packed into
// RipIn/UserPrn/<base>.<Suffix>, written under a temporary name and renamed
// when complete. Undithered planes are ripped on the way (rotation test by
// whole inches at the printer's xResolution, turns, inversion, resampling,
// halftoning with each slot's curve, the mirror), row by row through the
// Print job's pipeline; dithered ones are packed as they are.
//
// Error policy: every failure of the image library or of a write fails the
// job with its message ("Fail to Rip the files !", "Fail to Compose the
// files !") and its cause. Nothing throws out.
#pragma once

#include <filesystem>
#include <string>

#include "platform/status.h"
#include "jobs/commands.h"
#include "jobs/job_context.h"

namespace qm {

// The Compose job's positions of the PRN bar, by step.
struct ComposeProgress {
  static constexpr int kReset = 0;        // no job
  static constexpr int kRipFrom = 5;      // ripping: the planes named; the raster work moves the bar from here
  static constexpr int kRipSpan = 80;     // by this much over the raster work
  static constexpr int kRipped = 85;      // ripping: the PRN file complete
  static constexpr int kPlanesOpen = 85;  // packing: the planes opened, before the bands are packed
};

// The Compose job proper, once the selection is known to be sound; it takes
// no lock (ComposeCommand does). `entry` is the Separation List entry.
bool ComposeJob(JobContext& ctx, const std::string& item, const std::string& entry, const LightInkBoxes& boxes);

}  // namespace qm
