// The Print job: one imported image to one PRN file in a single pass.
//
// Staging (copy or move by dfPreserveCF), the rotation test, the separation
// stage (jobs/stages.h, Print purpose: slot files left in the Working
// folder), then the raster work in large-image, turbo or sequential mode
// (print_raster.h) into RipIn/UserPrn/<input stem>.<Suffix>, written under a
// temporary name and renamed when complete.
//
// Error policy: returns a failed Status with its cause on every failure (the
// caller shows "Fail to Print !" with it); image-library errors on any
// thread, a separation that leaves none of the four process slot files,
// planes of different sizes and failed writes are failures. Nothing throws
// out.
#pragma once

#include <filesystem>

#include "platform/status.h"
#include "jobs/job_context.h"
#include "jobs/stages.h"

namespace qm {

// The Print job's positions of its two bars, by step.
struct PrintProgress {
  static constexpr int kReset = 0;    // both bars: no job
  static constexpr int kStarted = 5;  // the input named in the status line
  static constexpr int kStaged = 10;  // the input staged in the Working folder
  static constexpr SeparationStageProgress kStage{15, 45, 40, 50, 65};
  static constexpr int kRasterFrom = 65;  // Separation bar: the slots laid out; the raster work moves it from here
  static constexpr int kRasterSpan = 29;  // by this much over the raster work
  static constexpr int kPrnFrom = 5;      // PRN bar: the raster work moves it from here
  static constexpr int kPrnSpan = 80;     // by this much over the raster work
  static constexpr int kFinished = 95;    // Separation bar: the planes finished
};

enum class RasterMode { Sequential, Turbo, LargeImage };

// The mode the Workflow checks choose: large-image wins over turbo.
RasterMode ChosenRasterMode(const InitiationSettings& init);

Status PrintJob(JobContext& ctx, const std::filesystem::path& input);

}  // namespace qm
