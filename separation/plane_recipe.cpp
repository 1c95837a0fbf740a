#include "separation/plane_recipe.h"

#include <algorithm>
#include <exception>

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

namespace {

float Negated(float v) { return 65535.0f - v; }

bool NegateBeforeResample(const PlaneRecipe& recipe) {
  const auto at = [&](PlaneStep step) { return std::find(recipe.order.begin(), recipe.order.end(), step); };
  return at(PlaneStep::kNegate) < at(PlaneStep::kResample);
}

}  // namespace

PlaneFileSink::PlaneFileSink(const std::filesystem::path& path, uint32_t width, uint32_t height, double xResolution,
                             double yResolution)
    : writer_(path, width, height, xResolution, yResolution, 16), row_(width) {}

Status PlaneFileSink::Row(const float* row) {
  std::transform(row, row + row_.size(), row_.begin(), Negated);
  writer_.WriteRow(row_.data());
  return Status::Ok();
}

Status PlaneFileSink::End() {
  writer_.Commit();
  return Status::Ok();
}

PlaneRows::PlaneRows(const PlaneRecipe& recipe, const std::filesystem::path& file, const HalftoneParams* halftone,
                     int32_t slot)
    : halfTurn_(recipe.halfTurn),
      negateBefore_(recipe.negate && NegateBeforeResample(recipe)),
      negateAfter_(recipe.negate && !NegateBeforeResample(recipe)),
      mirror_(recipe.mirror && halftone != nullptr),
      reader_(file),
      info_(reader_.Info()),
      resampler_(info_.width, info_.height, info_.xResolution, info_.yResolution, recipe.xResolution,
                 recipe.yResolution),
      halftone_(halftone ? std::make_unique<HalftoneRows>(*halftone, resampler_.OutputWidth(), slot) : nullptr),
      row_(info_.width),
      out_(negateAfter_ ? resampler_.OutputWidth() : 0),
      mirrored_(mirror_ ? resampler_.OutputWidth() : 0) {}

PlaneRows::~PlaneRows() = default;

Status PlaneRows::Pump(uint32_t count, RowSink& sink) {
  try {
    count = std::min(count, info_.height - next_);
    const uint32_t top = halfTurn_ ? info_.height - next_ - count : next_;
    rows_.resize(std::size_t{count} * info_.width);
    reader_.Read(top, count, rows_.data());
    Status sunk = Status::Ok();
    for (uint32_t i = 0; i < count; ++i) {
      const float* src = rows_.data() + std::size_t{halfTurn_ ? count - 1 - i : i} * info_.width;
      if (halfTurn_) {
        std::reverse_copy(src, src + info_.width, row_.begin());
        src = row_.data();
      }
      if (negateBefore_) {
        std::transform(src, src + info_.width, row_.begin(), Negated);
        src = row_.data();
      }
      resampler_.Push(src, [&](const float* resampled) {
        if (sunk) sunk = Resampled(resampled, sink);
      });
      if (!sunk) return sunk;
    }
    next_ += count;
    if (!Done()) return Status::Ok();
    if (halftone_) {
      for (const float* r = halftone_->Flush(); r; r = halftone_->Flush()) {
        if (Status finished = Finished(r, sink); !finished) return finished;
      }
    }
    return sink.End();
  } catch (const std::exception& e) {
    return Status::Fail(e.what());
  }
}

Status PlaneRows::Resampled(const float* row, RowSink& sink) {
  if (negateAfter_) {
    std::transform(row, row + out_.size(), out_.begin(), Negated);
    row = out_.data();
  }
  if (!halftone_) return sink.Row(row);
  return Finished(halftone_->Push(row), sink);
}

Status PlaneRows::Finished(const float* row, RowSink& sink) {
  if (row == nullptr) return Status::Ok();
  if (mirror_) {  // the dots flipped left to right
    std::reverse_copy(row, row + mirrored_.size(), mirrored_.begin());
    row = mirrored_.data();
  }
  return sink.Row(row);
}

Status PumpInTurns(std::size_t planes, const std::function<bool(std::size_t)>& pending,
                   const std::function<Status(std::size_t)>& step, const std::function<void()>& afterRound) {
  for (bool more = true; more;) {
    more = false;
    for (std::size_t i = 0; i < planes; ++i) {
      if (!pending(i)) continue;
      if (Status stepped = step(i); !stepped) return stepped;
      more = more || pending(i);
    }
    if (afterRound) afterRound();
  }
  return Status::Ok();
}

}  // namespace qm
