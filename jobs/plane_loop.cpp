// Per-plane processing of the 18 slot files for the Separate job: resample,
// rotate, turn over the planes of the PDF route, halftone, write each plane
// back. One parallel loop, one slot per index, nothing shared between slots
// but the read-only settings. Without a turn a plane goes through in rows
// (the bytes of the whole-plane steps, a few rows of memory), so a plane that
// Ghostscript still renders is worked on as its rows arrive; a turn takes the
// whole plane.
#include <algorithm>
#include <memory>
#include <mutex>
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

// The same recipe without a turn, a step of rows at a time (resample,
// negate, halftone, mirror), with the same bytes; a plane still being rendered is
// read as its rows arrive. The plane takes its slot file's name when complete.
class PlaneRows {
 public:
  PlaneRows(const ActiveSetting& s, const HalftoneParams& halftone, const PlaneLoopInput& input, bool mirror,
            int slot, fs::path path)
      : negate_(input.planes.fromPdfRoute),
        mirror_(mirror),
        path_(std::move(path)),
        reader_(path_),
        info_(reader_.Info()),
        resampler_(info_.width, info_.height, info_.xResolution, info_.yResolution, s.xResolutionValue,
                   s.yResolutionValue),
        halftone_(halftone, resampler_.OutputWidth(), slot),
        writer_(path_, resampler_.OutputWidth(), resampler_.OutputHeight(), s.xResolutionValue, s.yResolutionValue,
                16),
        row_(resampler_.OutputWidth()) {}

  bool Done() const { return next_ == info_.height; }
  std::pair<uint32_t, uint32_t> Size() const { return {resampler_.OutputWidth(), resampler_.OutputHeight()}; }

  void Pump(uint32_t count) {
    count = std::min(count, info_.height - next_);
    rows_.resize(std::size_t{count} * info_.width);
    reader_.Read(next_, count, rows_.data());
    for (uint32_t i = 0; i < count; ++i) {
      resampler_.Push(rows_.data() + std::size_t{i} * info_.width, [&](const float* resampled) {
        if (!negate_) {
          Write(halftone_.Push(resampled));
          return;
        }
        std::transform(resampled, resampled + row_.size(), row_.begin(), [](float v) { return 65535.0f - v; });
        Write(halftone_.Push(row_.data()));
      });
    }
    next_ += count;
    if (Done()) {
      for (const float* r = halftone_.Flush(); r; r = halftone_.Flush()) Write(r);
      writer_.Commit();
    }
  }

 private:
  void Write(const float* row) {
    if (row == nullptr) return;
    std::transform(row, row + row_.size(), row_.begin(), [](float v) { return 65535.0f - v; });
    if (mirror_) std::reverse(row_.begin(), row_.end());
    writer_.WriteRow(row_.data());
  }

  const bool negate_, mirror_;
  const fs::path path_;
  imaging::PlaneRowReader reader_;
  const imaging::PlaneInfo info_;
  imaging::RowResampler resampler_;
  HalftoneRows halftone_;
  imaging::PlaneWriter writer_;
  std::vector<float> rows_, row_;
  uint32_t next_ = 0;
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
  // planes take turns a step of rows at a time, so the rows of a plane still
  // being rendered are worked on as they arrive.
  std::array<std::unique_ptr<PlaneRows>, kSlotCount> pipes;
  auto fail = [&](std::size_t index, const std::exception& e) {
    errors[index] = e.what();
    pipes[index].reset();
  };
  auto pump = [&](std::size_t index) {
    try {
      pipes[index]->Pump(kPumpRows);
      if (pipes[index]->Done()) {
        sizes[index] = pipes[index]->Size();
        pipes[index].reset();
      }
    } catch (const std::exception& e) {
      fail(index, e);
    }
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
      pipes[index] = std::make_unique<PlaneRows>(s, halftone, input, ctx.init.dfMirror, i, path);
      while (input.threads > 1 && pipes[index]) pump(index);
    } catch (const std::exception& e) {
      fail(index, e);
    }
    advance();
  });
  for (bool more = true; more;) {
    more = false;
    for (std::size_t index = 0; index < kSlotCount; ++index) {
      if (!pipes[index]) continue;
      pump(index);
      more = more || pipes[index] != nullptr;
    }
  }
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
