#include "separation/plane_recipe.h"

#include <algorithm>

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

uint32_t PlaneRows::Load(uint32_t count) {
  count = std::min(count, info_.height - next_);
  const uint32_t top = halfTurn_ ? info_.height - next_ - count : next_;
  rows_.resize(std::size_t{count} * info_.width);
  reader_.Read(top, count, rows_.data());
  return count;
}

void PlaneRows::Source(uint32_t i, uint32_t count, const std::function<void(const float*)>& emit) {
  const float* src = rows_.data() + std::size_t{halfTurn_ ? count - 1 - i : i} * info_.width;
  if (halfTurn_) {
    std::reverse_copy(src, src + info_.width, row_.begin());
    src = row_.data();
  }
  if (negateBefore_) {
    std::transform(src, src + info_.width, row_.begin(), Negated);
    src = row_.data();
  }
  resampler_.Push(src, [&](const float* row) {
    if (negateAfter_) {
      std::transform(row, row + out_.size(), out_.begin(), Negated);
      row = out_.data();
    }
    emit(row);
  });
}

Status PlaneRows::Close(RowSink& sink) {
  if (halftone_) {
    for (const float* r = halftone_->Flush(); r; r = halftone_->Flush()) {
      if (Status finished = Finished(r, sink); !finished) return finished;
    }
  }
  return sink.End();
}

Status PlaneRows::Pump(uint32_t count, RowSink& sink) {
  return imaging::CatchImaging([&] {
    count = Load(count);
    Status sunk = Status::Ok();
    for (uint32_t i = 0; i < count; ++i) {
      Source(i, count, [&](const float* row) {
        if (sunk) sunk = halftone_ ? Finished(halftone_->Push(row), sink) : sink.Row(row);
      });
      if (!sunk) return sunk;
    }
    next_ += count;
    return Done() ? Close(sink) : Status::Ok();
  });
}

std::array<Status, 2> PlaneRows::PumpTwo(uint32_t count, PlaneRows& a, RowSink& sinkA, PlaneRows& b,
                                         RowSink& sinkB) {
  if (!a.halftone_ || !b.halftone_ || &a == &b) return {a.Pump(count, sinkA), b.Pump(count, sinkB)};
  PlaneRows* const planes[2] = {&a, &b};
  RowSink* const sinks[2] = {&sinkA, &sinkB};
  std::array<Status, 2> status = {Status::Ok(), Status::Ok()};
  uint32_t loaded[2] = {0, 0};
  for (int p = 0; p < 2; ++p) {
    status[p] = imaging::CatchImaging([&] {
      loaded[p] = planes[p]->Load(count);
      return Status::Ok();
    });
  }
  // Source row by source row; the rows each resamples to are halftoned in
  // pairs while both have one, then alone.
  const std::size_t width[2] = {a.OutputWidth(), b.OutputWidth()};
  for (uint32_t i = 0; i < std::max(loaded[0], loaded[1]); ++i) {
    std::size_t ready[2] = {0, 0};
    for (int p = 0; p < 2; ++p) {
      PlaneRows& plane = *planes[p];
      plane.ready_.clear();
      if (!status[p] || i >= loaded[p]) continue;
      status[p] = imaging::CatchImaging([&] {
        plane.Source(i, loaded[p], [&](const float* row) {
          plane.ready_.insert(plane.ready_.end(), row, row + width[p]);
        });
        return Status::Ok();
      });
      if (status[p] && width[p] > 0) ready[p] = plane.ready_.size() / width[p];
    }
    std::size_t r = 0;
    for (; status[0] && status[1] && r < std::min(ready[0], ready[1]); ++r) {
      const std::pair<const float*, const float*> rows = HalftoneRows::PushTwo(
          *a.halftone_, a.ready_.data() + r * width[0], *b.halftone_, b.ready_.data() + r * width[1]);
      status[0] = imaging::CatchImaging([&] { return a.Finished(rows.first, sinkA); });
      status[1] = imaging::CatchImaging([&] { return b.Finished(rows.second, sinkB); });
    }
    for (int p = 0; p < 2; ++p) {
      PlaneRows& plane = *planes[p];
      for (std::size_t q = r; status[p] && q < ready[p]; ++q) {
        status[p] = imaging::CatchImaging(
            [&] { return plane.Finished(plane.halftone_->Push(plane.ready_.data() + q * width[p]), *sinks[p]); });
      }
    }
  }
  for (int p = 0; p < 2; ++p) {
    if (!status[p]) continue;
    planes[p]->next_ += loaded[p];
    if (planes[p]->Done()) status[p] = imaging::CatchImaging([&] { return planes[p]->Close(*sinks[p]); });
  }
  return status;
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

Status PumpInPairs(std::size_t planes, const std::function<bool(std::size_t)>& pending,
                   const std::function<Status(std::size_t)>& step,
                   const std::function<Status(std::size_t, std::size_t)>& stepTwo) {
  std::vector<std::size_t> due;
  for (bool more = true; more;) {
    due.clear();
    for (std::size_t i = 0; i < planes; ++i) {
      if (pending(i)) due.push_back(i);
    }
    std::size_t k = 0;
    for (; k + 1 < due.size(); k += 2) {
      if (Status stepped = stepTwo(due[k], due[k + 1]); !stepped) return stepped;
    }
    if (k < due.size()) {
      if (Status stepped = step(due[k]); !stepped) return stepped;
    }
    more = std::any_of(due.begin(), due.end(), pending);
  }
  return Status::Ok();
}

}  // namespace qm
