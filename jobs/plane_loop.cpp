// Per-plane processing of the 18 slot files for the Separate job: resample,
// rotate, turn over the planes of the PDF route, halftone, write each plane
// back. One parallel loop, one slot per index, nothing shared between slots
// but the read-only settings. Without a turn a plane goes through in rows
// (PlaneRows into a PlaneFileSink: the bytes of the whole-plane steps, a few
// rows of memory), so a plane that Ghostscript still renders is worked on as
// its rows arrive; a turn takes the whole plane.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "halftone/halftone.h"
#include "imaging/imaging.h"
#include "platform/parallel.h"
#include "platform/platform.h"
#include "separation/channels.h"
#include "separation/plane_recipe.h"
#include "jobs/stages.h"

namespace qm {

namespace {

// Whether slot i has a plane to process: the process inks always, the other
// slots as the job's channels include them (SeparationOutcome), so that every
// slot file holding an ink is halftoned before it is filed.
bool GateOpen(int i, const SeparationOutcome& planes) {
  if (kProcessInks.contains(i)) return true;
  if (kLightInks.contains(i)) return planes.lightSlots[static_cast<std::size_t>(i - kLightInks.first)] != 0;
  if (kMulticolorInks.contains(i)) return planes.multicolorSlots > i - kMulticolorInks.first;
  return planes.spotSlots > i - kSpotInks.first;
}

bool Turns(const PlaneLoopInput& input) { return (input.rotationEnabled && input.rotateNeeded) || input.upward; }

// The Separate job's recipe: resample, turn, negate (PDF route), halftone,
// then the mirror (dfMirror) on the dots.
PlaneRecipe Recipe(const ActiveSetting& s, const PlaneLoopInput& input, bool mirror) {
  PlaneRecipe recipe;
  recipe.order = kSeparateOrder;
  if (input.rotationEnabled && input.rotateNeeded) recipe.quarterTurn = input.anticlockwise ? -90 : 90;
  recipe.halfTurn = input.upward;
  recipe.negate = input.planes.fromPdfRoute;
  recipe.xResolution = s.xResolutionValue;
  recipe.yResolution = s.yResolutionValue;
  recipe.mirror = mirror;
  return recipe;
}

// The whole plane through the recipe, written back negated at 16 bits (0
// where a full dot prints; 16 bits keep the levels exact).
std::pair<uint32_t, uint32_t> ProcessWhole(const ActiveSetting& s, const HalftoneParams& halftone,
                                           const PlaneLoopInput& input, bool mirror, int slot, const fs::path& path) {
  imaging::Plane plane = imaging::ReadPlane(path);
  ApplyRecipe(Recipe(s, input, mirror), halftone, slot, plane);
  imaging::Negate(plane);
  imaging::WritePlane(path, plane, 16);
  return {plane.width, plane.height};
}

// The same recipe without a turn, a step of rows at a time, with the same
// bytes, into the plane file; a plane still being rendered is read as its
// rows arrive. The plane takes its slot file's name when complete.
struct SlotRows {
  SlotRows(const ActiveSetting& s, const HalftoneParams& halftone, const PlaneLoopInput& input, bool mirror, int slot,
           const fs::path& path)
      : rows(Recipe(s, input, mirror), path, &halftone, slot),
        file(path, rows.OutputWidth(), rows.OutputHeight(), s.xResolutionValue, s.yResolutionValue) {}
  std::pair<uint32_t, uint32_t> Size() const { return {rows.OutputWidth(), rows.OutputHeight()}; }

  PlaneRows rows;
  PlaneFileSink file;
};

// Source rows a pipeline takes at a time (one thread goes from plane to plane
// at this step).
constexpr uint32_t kPumpRows = 128;

}  // namespace

PlaneLoopResult ProcessPlanes(JobContext& ctx, const PlaneLoopInput& input) {
  PlaneLoopResult result;
  const ActiveSetting& s = ctx.setting;
  const HalftoneParams halftone = HalftoneParams::Of(s);
  const fs::path working = WorkingDir();
  std::array<std::string, kSlotCount> errors;
  std::array<bool, kSlotCount> absent{};
  std::array<std::pair<uint32_t, uint32_t>, kSlotCount> sizes{};
  // The Separation bar moves from kPlanesFrom by kPlanesSpan as the planes are done.
  int open = 0, done = 0;
  for (int i = 0; i < kSlotCount; ++i) open += GateOpen(i, input.planes) ? 1 : 0;
  std::mutex progressLock;
  auto advance = [&] {
    const std::lock_guard guard(progressLock);
    ctx.host.SetProgress(ProgressBar::Separation,
                         SeparateProgress::kPlanesFrom + SeparateProgress::kPlanesSpan * ++done / open);
  };

  // Without a turn each plane goes through in rows; with one thread the
  // planes take turns a step of rows at a time, two by two (their scans run
  // side by side), so the rows of a plane still being rendered are worked on
  // as they arrive.
  std::array<std::unique_ptr<SlotRows>, kSlotCount> pipes;
  auto fail = [&](std::size_t index, const std::string& error) {
    errors[index] = error;
    pipes[index].reset();
  };
  // A failed plane keeps its error and stops; the others go on.
  auto settle = [&](std::size_t index, const Status& pumped) {
    if (!pumped) {
      fail(index, pumped.cause());
    } else if (pipes[index]->rows.Done()) {
      sizes[index] = pipes[index]->Size();
      pipes[index].reset();
    }
  };
  auto pump = [&](std::size_t index) {
    settle(index, pipes[index]->rows.Pump(kPumpRows, pipes[index]->file));
    return Status::Ok();
  };
  auto pumpTwo = [&](std::size_t a, std::size_t b) {
    const auto [pumpedA, pumpedB] =
        PlaneRows::PumpTwo(kPumpRows, pipes[a]->rows, pipes[a]->file, pipes[b]->rows, pipes[b]->file);
    settle(a, pumpedA);
    settle(b, pumpedB);
    return Status::Ok();
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
      if (Turns(input)) {
        sizes[index] = ProcessWhole(s, halftone, input, ctx.init.dfMirror, i, path);
        return;
      }
      pipes[index] = std::make_unique<SlotRows>(s, halftone, input, ctx.init.dfMirror, i, path);
      while (input.threads > 1 && pipes[index]) (void)pump(index);
    } catch (const std::exception& e) {
      fail(index, e.what());
    }
    advance();
  });
  (void)PumpInPairs(kSlotCount, [&](std::size_t index) { return pipes[index] != nullptr; }, pump, pumpTwo);
  result.threadsRan = LastParallelThreadCount();
  ctx.host.Log("per-plane processing: " + std::to_string(result.threadsRan) + " thread(s)");

  result.status = Status::Ok();
  for (int i = 0; i < kSlotCount; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    if (absent[k]) ctx.host.Log("slot file " + SlotFileName(i) + " absent: skipped");
    if (!errors[k].empty()) {
      ctx.host.Log("slot " + SlotFileName(i) + ": " + errors[k]);
      if (result.status) result.status = Status::Fail("slot " + SlotFileName(i) + ": " + errors[k]);
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
