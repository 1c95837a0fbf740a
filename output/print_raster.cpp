#include "output/print_raster.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <optional>
#include <span>

#include "halftone/halftone.h"
#include "output/job_support.h"
#include "output/print_raster_internal.h"
#include "output/underbase_plane.h"
#include "platform/parallel.h"
#include "platform/platform.h"

namespace qm {

namespace raster {

std::vector<Position> Positions(const PrintRaster& raster) {
  std::vector<Position> positions;
  for (int slot : raster.slots) {
    Position p;
    p.slot = slot;
    p.file = raster.working / SlotFileName(slot);
    std::error_code ec;
    p.present = std::filesystem::is_regular_file(p.file, ec);
    positions.push_back(std::move(p));
  }
  return positions;
}

std::optional<PrnFileHeader> Header(const PrintRaster& raster, uint32_t width, uint32_t height) {
  const ActiveSetting& s = raster.setting;
  return MakePrnHeader(static_cast<uint32_t>(std::max(s.xResolutionValue, 0)),
                       static_cast<uint32_t>(std::max(s.yResolutionValue, 0)), width, height,
                       static_cast<uint32_t>(raster.slots.size()), s.Bits);
}

void LogBlankPosition(const PrintRaster& raster, const std::vector<Position>& positions, std::size_t p) {
  raster.host.Log("no " + positions[p].file.filename().string() + ": position " + std::to_string(p) +
                  " is left without dots");
}

bool WriteBlankPositions(const PrintRaster& raster, const std::vector<Position>& positions,
                         const PrnFileHeader& header, PrnFile& file) {
  const std::vector<uint8_t> blank(header.rowStride, 0);
  for (std::size_t p = 0; p < positions.size(); ++p) {
    if (positions[p].present) continue;
    LogBlankPosition(raster, positions, p);
    for (uint32_t y = 0; y < header.height; ++y) {
      if (!file.WriteAt(PrnRowOffset(header, y, static_cast<uint32_t>(p)), blank)) return false;
    }
  }
  return true;
}

TurnedPlanes::~TurnedPlanes() {
  for (const auto& f : files_) DeleteFile(f);
}

void TurnedPlanes::Turn(std::vector<Position>& positions, int degrees) {
  // Every plane at once: planes still growing are turned as their rows
  // arrive, all of them while Ghostscript renders.
  std::vector<std::filesystem::path> turned(positions.size());
  ParallelFor(positions.size(), static_cast<int>(positions.size()), [&](std::size_t p) {
    if (!positions[p].present) return;
    turned[p] = positions[p].file.parent_path() / (".turned" + positions[p].file.filename().string());
    imaging::TurnPlaneFile(positions[p].file, turned[p], degrees);
  });
  for (std::size_t p = 0; p < positions.size(); ++p) {
    if (turned[p].empty()) continue;
    files_.push_back(turned[p]);
    positions[p].file = turned[p];
  }
}

PlaneRecipe Recipe(const PrintRaster& raster) {
  PlaneRecipe recipe;
  recipe.order = kPrintOrder;
  // The turn followed by upward's half turn: one of 0, 90, 180, 270.
  const int total = (((raster.turn + (raster.upward ? 180 : 0)) % 360) + 360) % 360;
  recipe.quarterTurn = total == 180 ? 0 : total == 270 ? -90 : total;
  recipe.halfTurn = total == 180;
  recipe.negate = raster.negate;
  recipe.mirror = raster.mirror;
  recipe.xResolution = raster.setting.xResolutionValue;
  recipe.yResolution = raster.setting.yResolutionValue;
  return recipe;
}

}  // namespace raster

namespace {

using raster::Position;

// The sink of a position: each row packed and written at its offset; every
// row of the header's height must have come.
class PrnPositionSink final : public RowSink {
 public:
  PrnPositionSink(const PrintRaster& raster, uint32_t p, const PrnFileHeader& header, const HalftoneParams& halftone,
                  PrnFile& file)
      : raster_(raster), p_(p), header_(header), levels_(halftone.levels), file_(file), packed_(header.rowStride) {}

  Status Row(const float* row) override {
    PackPrnRow(std::span<const float>(row, header_.width), raster_.setting.Bits, levels_, packed_);
    if (!file_.WriteAt(PrnRowOffset(header_, written_++, p_), packed_)) return Status::Fail(file_.error());
    return Status::Ok();
  }
  Status End() override {
    if (written_ != header_.height) return Status::Fail("plane rows lost in the pipeline");
    return Status::Ok();
  }

 private:
  const PrintRaster& raster_;
  const uint32_t p_;
  const PrnFileHeader& header_;
  const DotLevels& levels_;
  PrnFile& file_;
  std::vector<uint8_t> packed_;
  uint32_t written_ = 0;
};

// One plane from its file to packed rows at its position, a few rows at a
// time, by the recipe's steps in kPrintOrder (PlaneRows: the half turn read
// bottom up, a quarter turn made on the file; negate, resample, halftone,
// mirror), then packed. The same arithmetic as on the whole plane, so the
// same bytes; a plane still growing is read as its rows arrive.
struct PositionRows {
  PositionRows(const PrintRaster& raster, const PlaneRecipe& recipe, const Position& position, uint32_t p,
               const PrnFileHeader& header, const HalftoneParams& halftone, PrnFile& file)
      : rows(recipe, position.file, &halftone, position.slot), sink(raster, p, header, halftone, file) {}

  PlaneRows rows;
  PrnPositionSink sink;
};

// Source rows a pipeline takes at a time: the rows of a plane still being
// rendered arrive in Ghostscript's bands, and sequential mode goes from plane
// to plane at this step.
constexpr uint32_t kPumpRows = 128;

// Sequential and turbo mode: one pipeline per present position, all planes
// checked for one output size first, the rows written at their offsets, the
// header last. `threads` 1 runs the pipelines in turn, a step of rows each;
// more run one pipeline per worker. Imaging errors are thrown.
Status RenderRowsOrThrow(const PrintRaster& raster, PrnFile& file, int threads, RasterResult& result) {
  auto positions = raster::Positions(raster);
  const HalftoneParams halftone = HalftoneParams::Of(raster.setting);
  const ActiveSetting& s = raster.setting;
  imaging::InitializeImaging();
  const PlaneRecipe recipe = raster::Recipe(raster);
  raster::TurnedPlanes turned;
  if (recipe.quarterTurn != 0) turned.Turn(positions, recipe.quarterTurn);

  std::vector<imaging::PlaneInfo> infos(positions.size());
  uint64_t sourceRows = 0;
  std::optional<PrnFileHeader> header;
  for (std::size_t p = 0; p < positions.size(); ++p) {
    if (!positions[p].present) continue;
    infos[p] = imaging::ReadPlaneInfo(positions[p].file);
    const imaging::RowResampler size(infos[p].width, infos[p].height, infos[p].xResolution, infos[p].yResolution,
                                     recipe.xResolution, recipe.yResolution);
    if (!header) {
      header = raster::Header(raster, size.OutputWidth(), size.OutputHeight());
      if (!header) return Status::Fail("no PRN header for Bits " + std::to_string(s.Bits));
    } else if (size.OutputWidth() != header->width || size.OutputHeight() != header->height) {
      return Status::Fail(positions[p].file.filename().string() + " is " + std::to_string(size.OutputWidth()) +
                          " x " + std::to_string(size.OutputHeight()) + " after resampling, the other planes " +
                          std::to_string(header->width) + " x " + std::to_string(header->height));
    }
    result.planeRows += size.OutputHeight();
    sourceRows += infos[p].height;
  }
  if (!header) return Status::Fail("no slot file to print in " + raster.working.string());

  // The generated white: a plane file of its own, printed as it lies. With
  // one worker per plane, the white's worker makes it while the other
  // planes are at work; on one thread it is made first.
  raster::GeneratedUnderbase underbase;
  const auto white = underbase.Plan(raster);
  if (white) {
    if (positions[*white].present) {
      sourceRows -= infos[*white].height;
    } else {
      result.planeRows += header->height;
    }
    sourceRows += header->height;
  }
  const PlaneRecipe whiteRecipe = raster::UnderbaseRecipe(recipe);
  std::vector<std::unique_ptr<PositionRows>> pipes(positions.size());
  const auto makeWhite = [&] {
    underbase.Write(raster, recipe, positions, header->width, header->height);
    pipes[*white] = std::make_unique<PositionRows>(raster, whiteRecipe, positions[*white],
                                                   static_cast<uint32_t>(*white), *header, halftone, file);
  };
  const bool whiteByItsWorker = white && threads > 1;
  if (white && !whiteByItsWorker) makeWhite();
  for (std::size_t p = 0; p < positions.size(); ++p) {
    if (!positions[p].present || p == white) continue;
    pipes[p] = std::make_unique<PositionRows>(raster, recipe, positions[p], static_cast<uint32_t>(p), *header,
                                              halftone, file);
  }
  // Progress: the share of all source rows through their pipelines.
  std::atomic<uint64_t> pumped{0};
  const auto pending = [&](std::size_t p) { return pipes[p] && !pipes[p]->rows.Done(); };
  const auto pump = [&](std::size_t p) {
    if (raster.stop && raster.stop->load()) return Status::Fail("the job was canceled");
    const uint32_t step = std::min(kPumpRows, pipes[p]->rows.Remaining());
    if (Status pumpedOk = pipes[p]->rows.Pump(step, pipes[p]->sink); !pumpedOk) return pumpedOk;
    if (raster.progress) raster.progress(static_cast<double>(pumped += step) / static_cast<double>(sourceRows));
    return Status::Ok();
  };
  // Two planes at a time on one thread; progress as if one after the other.
  const auto pumpTwo = [&](std::size_t p, std::size_t q) {
    if (raster.stop && raster.stop->load()) return Status::Fail("the job was canceled");
    const uint32_t stepP = std::min(kPumpRows, pipes[p]->rows.Remaining());
    const uint32_t stepQ = std::min(kPumpRows, pipes[q]->rows.Remaining());
    auto [pumpedP, pumpedQ] = PlaneRows::PumpTwo(kPumpRows, pipes[p]->rows, pipes[p]->sink, pipes[q]->rows,
                                                 pipes[q]->sink);
    if (!pumpedP) return pumpedP;
    if (raster.progress) raster.progress(static_cast<double>(pumped += stepP) / static_cast<double>(sourceRows));
    if (!pumpedQ) return pumpedQ;
    if (raster.progress) raster.progress(static_cast<double>(pumped += stepQ) / static_cast<double>(sourceRows));
    return Status::Ok();
  };
  if (threads <= 1) {
    if (Status pumpedOk = PumpInPairs(pipes.size(), pending, pump, pumpTwo); !pumpedOk) return pumpedOk;
  } else {
    // A failed plane stops; the others go on, and the first failure is the job's.
    raster::FirstFailure failure;
    ParallelFor(pipes.size(), threads, [&](std::size_t p) {
      if (whiteByItsWorker && p == white) {
        Status made = raster::CatchImaging([&] {
          makeWhite();
          return Status::Ok();
        });
        if (!made) return failure.Record(std::move(made));
      }
      while (pending(p)) {
        if (Status pumpedOk = pump(p); !pumpedOk) return failure.Record(std::move(pumpedOk));
      }
    });
    if (failure.failed()) return failure.first();
    result.threadsRan = LastParallelThreadCount();
  }
  if (!raster::WriteBlankPositions(raster, positions, *header, file) || !file.WriteHeader(*header)) {
    return Status::Fail(file.error());
  }
  result.width = header->width;
  result.height = header->height;
  result.fileSize = PrnExpectedFileSize(*header);
  return Status::Ok();
}

RasterResult RenderRows(const PrintRaster& raster, PrnFile& file, int threads) {
  RasterResult result;
  const uint64_t decodedBefore = imaging::DecodedRowCount();
  if (Status done = raster::CatchImaging([&] { return RenderRowsOrThrow(raster, file, threads, result); }); !done) {
    RasterResult failed;
    failed.status = std::move(done);
    return failed;
  }
  result.status = Status::Ok();
  result.decodedRows = imaging::DecodedRowCount() - decodedBefore;
  return result;
}

}  // namespace

RasterResult RenderSequential(const PrintRaster& raster, PrnFile& file) { return RenderRows(raster, file, 1); }

RasterResult RenderTurbo(const PrintRaster& raster, PrnFile& file) {
  return RenderRows(raster, file, raster.turboThreads);
}

}  // namespace qm
