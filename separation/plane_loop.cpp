// Per-plane processing of the 18 slot files for the Separate job: resample,
// rotate, turn over the planes of the PDF route, halftone, write each plane
// back. One parallel loop, one slot per index, nothing shared between slots
// but the read-only settings.
#include <mutex>
#include <system_error>

#include "halftone/halftone.h"
#include "imaging/imaging.h"
#include "platform/parallel.h"
#include "platform/platform.h"
#include "separation/channels.h"
#include "separation/stages.h"

namespace qm {

namespace {

// Whether slot i has a plane to process: the process inks always, the other
// slots as the job's channels include them (SeparationOutcome), so that every
// slot file holding an ink is halftoned before it is filed.
bool GateOpen(int i, const SeparationOutcome& planes) {
  if (i < 4) return true;
  if (i < 8) return planes.lightSlots[static_cast<std::size_t>(i - 4)] != 0;
  if (i < 12) return planes.multicolorSlots >= i - 7;
  return planes.spotSlots >= i - 11;
}

void Turn(imaging::Plane& plane, const PlaneLoopInput& input) {
  if (input.rotationEnabled && input.rotateNeeded) imaging::Rotate(plane, input.anticlockwise ? -90 : 90);
  if (input.upward) imaging::Rotate(plane, 180);
}

}  // namespace

PlaneLoopResult ProcessPlanes(JobContext& ctx, const PlaneLoopInput& input) {
  PlaneLoopResult result;
  const ActiveSetting& s = ctx.setting;
  const fs::path working = WorkingDir();
  std::array<std::string, kSlotCount> errors;
  std::array<bool, kSlotCount> absent{};
  std::array<std::pair<uint32_t, uint32_t>, kSlotCount> sizes{};
  // The Separation bar moves from 65 towards 95 as the planes are done.
  int open = 0, done = 0;
  for (int i = 0; i < kSlotCount; ++i) open += GateOpen(i, input.planes) ? 1 : 0;
  std::mutex progressLock;
  auto advance = [&] {
    const std::lock_guard guard(progressLock);
    ctx.host.SetProgress(ProgressBar::Separation, 65 + 29 * ++done / open);
  };

  ParallelFor(kSlotCount, input.threads, [&](std::size_t index) {
    const int i = static_cast<int>(index);
    if (!GateOpen(i, input.planes)) return;
    const fs::path path = working / SlotFileName(i);
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      // PRNSequence names nothing here, or the separator made no such plane.
      absent[index] = true;
      return advance();
    }
    try {
      imaging::Plane plane = imaging::ReadPlane(path);
      imaging::Resample(plane, s.xResolutionValue, s.yResolutionValue);
      Turn(plane, input);
      if (input.planes.fromPdfRoute) imaging::Negate(plane);
      HalftonePlane(s, plane.pixels.data(), plane.width, plane.height, s.Bits, s.MiddleDotDilution,
                    s.LargeDotDilution, s.UseDots, s.DitherMethod, i);
      sizes[index] = {plane.width, plane.height};
      // Written files hold 0 where a full dot prints; 16 bits keep the dot
      // levels exact.
      imaging::Negate(plane);
      imaging::WritePlane(path, plane, 16);
    } catch (const std::exception& e) {
      errors[index] = e.what();
    }
    advance();
  });
  result.threadsRan = LastParallelThreadCount();
  ctx.host.Log("per-plane processing: " + std::to_string(result.threadsRan) + " thread(s)");

  result.ok = true;
  for (int i = 0; i < kSlotCount; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    if (absent[k]) ctx.host.Log("slot file " + SlotFileName(i) + " absent: skipped");
    if (!errors[k].empty()) {
      ctx.host.Log("slot " + SlotFileName(i) + ": " + errors[k]);
      if (result.ok) result.reason = "slot " + SlotFileName(i) + ": " + errors[k];
      result.ok = false;
    }
    if (sizes[k].first != 0 && result.width == 0) {
      result.width = sizes[k].first;
      result.height = sizes[k].second;
    } else if (sizes[k].first != 0 && (sizes[k].first != result.width || sizes[k].second != result.height)) {
      ctx.host.Log("slot " + SlotFileName(i) + " differs in size from the first plane");
    }
  }
  return result;
}

}  // namespace qm
