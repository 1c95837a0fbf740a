// The stages of an image's separation, shared by the Separate job and the
// Print job: external separation (TIF/JPG route or PDF route), renaming,
// light-ink copies, slot assignment and the per-plane processing.
//
// All files live in the Working folder under the fixed stem "00" (see
// channels.h); only one job runs at a time (platform/job_lock.h).
// Error policy: image-library errors are caught here and turned into a failed
// outcome with the reason for the log; nothing shows a message.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "inks/ink_model.h"
#include "jobs/job_context.h"
#include "separation/split_render.h"

namespace qm {

enum class SeparationPurpose { Separate, Print };

// Where the Separation bar stands after each step of the separation stage;
// every job running the stage has its own (SeparateProgress::kStage,
// PrintProgress::kStage in jobs/print_job.h).
struct SeparationStageProgress {
  int imageWritten;  // the input written as 00.tif (TIF route) or 00.pdf (PDF route)
  int iccConverted;  // TIF route: the ICC conversion done
  int rendered;      // PDF route: Ghostscript's render done
  int planesNamed;   // PDF route: the render's planes named by channel code
  int separated;     // the light-ink copies made: the stage's end
};

// The Separate job's positions of the Separation bar, by step.
struct SeparateProgress {
  static constexpr int kReset = 0;     // no job
  static constexpr int kStarted = 5;   // the image named in the status line
  static constexpr SeparationStageProgress kStage{15, 45, 50, 50, 65};
  static constexpr int kPlanesFrom = 65;  // the plane loop moves the bar from here
  static constexpr int kPlanesSpan = 29;  // by this much over its planes
  static constexpr int kFiled = 95;       // the planes filed
};

struct SeparationOutcome {
  // Failed: the image was unreadable, gave no process plane, ...
  Status status = Status::Fail("the separation did not finish");
  std::array<int, 4> lightFlags{};  // light-ink copies made for Lc, Lm, Lk, Llk
  int multicolorCount = 0;   // m, 0..4
  int spotCount = 0;         // s, 0..6: 1 + the highest spot index found
  bool fromPdfRoute = false; // planes hold 0 for full ink: negate before halftoning

  // The slots the job processes and packs. After the slot assignment: a
  // light slot when its light ink was copied or its slot file holds an ink;
  // the first multicolorSlots M and spotSlots S slots, at least m and s and
  // up to the last M or S slot file that holds an ink. A slot among them
  // whose file is absent is a position without dots. Without the slot
  // assignment they are the flags and counts above.
  std::array<int, 4> lightSlots{};
  int multicolorSlots = 0;
  int spotSlots = 0;
  // Takes in the slot of channel `slot`, as PrnChannelSet::Include does.
  void IncludeSlot(int slot) {
    if (kLightInks.contains(slot)) lightSlots[static_cast<std::size_t>(slot - kLightInks.first)] = 1;
    if (kMulticolorInks.contains(slot)) multicolorSlots = std::max(multicolorSlots, slot - kMulticolorInks.first + 1);
    if (kSpotInks.contains(slot)) spotSlots = std::max(spotSlots, slot - kSpotInks.first + 1);
  }
  // Ghostscript's bands still rendering into the planes (PDF route), whose
  // readers wait for their rows; the job finishes it before it ends.
  std::shared_ptr<SeparationRender> rendering;

  // Waits for the planes to be complete; false with the cause when a band failed.
  Status Finish() const { return rendering ? rendering->Finish() : Status::Ok(); }
};

// Separates the staged input W/"00." + extension into channel planes, makes
// the light-ink copies and, when `assignSlots`, moves the planes to their slot
// files "00_<code>.tiff". Spot colours of a PDF take the index of their name
// in PdfSpotColorName ("00_S" + index). Every ink the artwork has that will
// not be printed (a spot the list does not name or names past the sixth
// place, an ink PRNSequence places nowhere) is named in a warning to the host. Drives the Separation progress bar (15, 40/45, 50,
// 65). For Print the channel extraction never negates and Ghostscript's "-r"
// comes from dfVectorX/dfVectorY (falling back to the preset's resolution).
SeparationOutcome SeparateStaged(JobContext& ctx, const std::string& extension, bool dithering,
                                 bool assignSlots, SeparationPurpose purpose);

// Per-plane processing of the slot files.
struct PlaneLoopInput {
  bool upward = false;        // dfImageUp: turn every plane by 180 degrees
  bool rotateNeeded = false;  // result of the rotation test
  bool rotationEnabled = false;  // dfImageRt
  bool anticlockwise = false;    // dfRotatedOri
  SeparationOutcome planes;   // light flags, m, s, PDF-route flag
  int threads = 1;            // 18 with dfTurboMd, else 1
};

struct PlaneLoopResult {
  Status status = Status::Fail("the planes were not processed");
  uint32_t width = 0, height = 0;  // size of the processed planes (all equal)
  int threadsRan = 1;              // worker threads that really ran
};

// For the Separate job: resample, rotate, negate (PDF route), halftone, write
// back negated at 16 bits. Errors on any thread fail the loop. (The Print job
// prepares its planes in output/print_raster.cpp.)
PlaneLoopResult ProcessPlanes(JobContext& ctx, const PlaneLoopInput& input);

// Whether a plane of `columns` at `xResolution` is wider than dfRotLimit inches
// (an empty limit is 0).
bool WiderThanRotationLimit(double columns, double xResolution, const std::string& rotLimit);

// A stage's wall time and this process's CPU time (all its threads, not the
// tools it runs), for the log: "10.56 s (this process's CPU 7.10 s)".
class StageClock {
 public:
  StageClock();
  std::string Text() const;

 private:
  std::chrono::steady_clock::time_point wall_;
  double cpu_ = 0;
};

}  // namespace qm
