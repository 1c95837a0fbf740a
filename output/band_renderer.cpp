// The large-image mode: every plane cut into 96 bands (band_geometry.h), each
// band read, turned, negated, resampled, halftoned and (dfMirror) mirrored by itself on one of 8
// band workers and written straight to its place in the file.
//
// Reading: a band reads only its own source rows with their overlap
// (imaging::ReadPlaneRows), so a plane's pixels are decoded about once, plus
// 32 rows per inner band edge (at most twice for planes of 3072 rows or
// more); a plane still being rendered is read as its rows arrive. The plane
// files stay as the separation left them: the 180-degree turn is folded into
// the band (it reads the mirrored rows and reverses them), and so is the
// negation. A 90-degree turn cannot be done band by band from a row-ordered
// file: each plane is first written turned to a hidden tiled file in the
// Working folder (a band of 512 rows in memory at a time, all planes at once;
// imaging::TurnPlaneFile), which the bands read, removed at the end.
//
// Writes: a band's output rows of every position lie side by side in the
// file, so the band packs them into one block, as they stand there, and
// writes it at once (under one lock): a few hundred writes for the page
// instead of one per row and position.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <span>

#include "halftone/halftone.h"
#include "output/band_geometry.h"
#include "output/job_support.h"
#include "output/print_raster.h"
#include "output/print_raster_internal.h"
#include "output/underbase_plane.h"
#include "platform/parallel.h"
#include "platform/platform.h"

namespace qm {

namespace {

using raster::Position;

}  // namespace

RasterResult RenderBands(const PrintRaster& raster, PrnFile& file) {
  const ActiveSetting& s = raster.setting;
  auto positions = raster::Positions(raster);
  const HalftoneParams halftone = HalftoneParams::Of(s);
  const DotLevels& levels = halftone.levels;
  RasterResult result;
  const uint64_t decodedBefore = imaging::DecodedRowCount();
  try {
    imaging::InitializeImaging();
    // All present planes must share one size.
    std::optional<imaging::PlaneInfo> info;
    for (const Position& p : positions) {
      if (!p.present) continue;
      const imaging::PlaneInfo i = imaging::ReadPlaneInfo(p.file);
      if (!info) {
        info = i;
      } else if (i.width != info->width || i.height != info->height) {
        result.status = Status::Fail(p.file.filename().string() + " is " + std::to_string(i.width) + " x " +
                                     std::to_string(i.height) + ", the other planes " +
                                     std::to_string(info->width) + " x " + std::to_string(info->height));
        return result;
      }
      result.planeRows += i.height;
    }
    if (!info) {
      result.status = Status::Fail("no slot file to print in " + raster.working.string());
      return result;
    }

    // Orientation of the bands: that of the output. The recipe's steps in
    // kPrintOrder: a quarter turn made on the files, the half turn and the
    // negation on each band as it is read, then resample and halftone.
    const PlaneRecipe recipe = raster::Recipe(raster);
    raster::TurnedPlanes turned;
    uint32_t cols = info->width, rows = info->height;
    double xRes = info->xResolution, yRes = info->yResolution;
    if (recipe.quarterTurn != 0) {
      const auto start = std::chrono::steady_clock::now();
      turned.Turn(positions, recipe.quarterTurn);
      char took[32];
      std::snprintf(took, sizeof took, "%.2f s",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      raster.host.Log("planes turned by " + std::to_string(recipe.quarterTurn) + " degrees: " + took);
      std::swap(cols, rows);
      std::swap(xRes, yRes);
    }

    const BandLayout layout = MakeBandLayout(rows, yRes, recipe.yResolution);
    const uint32_t width = ResampledSize(cols, xRes, recipe.xResolution);
    const auto header = raster::Header(raster, width, layout.outputRows);
    if (!header) {
      result.status = Status::Fail("no PRN header for Bits " + std::to_string(s.Bits));
      return result;
    }
    if (!file.WriteHeader(*header)) {
      result.status = Status::Fail(file.error());
      return result;
    }
    const uint32_t R = header->rowStride;
    // The generated white: a plane file at the output's size; each band reads
    // its strip's rows of it as they lie.
    raster::GeneratedUnderbase underbase;
    const auto white = underbase.Make(raster, recipe, positions, width, layout.outputRows);

    std::mutex fileLock;
    std::atomic<bool> failed{false};
    std::atomic<uint32_t> bandsDone{0};
    // A band's buffer goes to the next band: a new one of several megabytes
    // costs its page faults and zeroing every time.
    std::mutex spareLock;
    std::vector<imaging::Plane> spares;
    ParallelFor(kBandCount, raster.bandWorkers, [&](std::size_t index) {
      if (failed.load()) return;
      if (raster.stop && raster.stop->load()) {
        failed.store(true);
        throw imaging::ImagingError("the job was canceled");
      }
      const uint32_t b = static_cast<uint32_t>(index);
      const BandPlan plan = PlanBand(layout, b);
      if (plan.outCount == 0) return;
      // The band's output rows of every position, laid out as in the file
      // (rows without dots stay 0): one write for the band.
      const std::size_t channels = positions.size();
      std::vector<uint8_t> block(std::size_t{plan.outCount} * channels * R, 0);
      imaging::Plane band;  // one buffer for the band of every plane
      std::vector<float> mirrored;
      {
        std::lock_guard<std::mutex> guard(spareLock);
        if (!spares.empty()) {
          band = std::move(spares.back());
          spares.pop_back();
        }
      }
      try {
        for (std::size_t p = 0; p < channels; ++p) {
          if (positions[p].present) {
            if (p == white) {
              imaging::ReadPlaneRows(positions[p].file, plan.stripFirst, plan.stripRows, band);
            } else {
              const uint32_t top = recipe.halfTurn ? rows - plan.cropTop - plan.cropRows : plan.cropTop;
              imaging::ReadPlaneRows(positions[p].file, top, plan.cropRows, band);
              if (recipe.halfTurn) imaging::Rotate(band, 180);
              if (recipe.negate) imaging::Negate(band);
              imaging::ResampleRows(band, recipe.xResolution, recipe.yResolution,
                                    {plan.cropTop, rows, plan.stripFirst, plan.stripRows});
            }
            if (band.width != width) throw imaging::ImagingError("band width " + std::to_string(band.width) +
                                                                 " differs from " + std::to_string(width));
            HalftonePlane(halftone, band.pixels.data(), band.width, band.height, positions[p].slot, b);
            const uint32_t drop = DroppedRows(plan);
            for (uint32_t i = 0; i < plan.outCount; ++i) {
              const uint32_t y = std::min(drop + i, band.height - 1);
              const float* row = band.Row(y);
              if (recipe.mirror) {  // the dots flipped left to right
                mirrored.resize(width);
                std::reverse_copy(row, row + width, mirrored.begin());
                row = mirrored.data();
              }
              PackPrnRow(std::span<const float>(row, width), s.Bits, levels,
                         std::span<uint8_t>(block.data() + (std::size_t{i} * channels + p) * R, R));
            }
          }
        }
        std::lock_guard<std::mutex> guard(fileLock);
        if (!file.WriteAt(PrnRowOffset(*header, plan.outFirst, 0), block)) throw imaging::ImagingError(file.error());
      } catch (...) {
        failed.store(true);
        throw;
      }
      {
        std::lock_guard<std::mutex> guard(spareLock);
        spares.push_back(std::move(band));
      }
      if (raster.progress) raster.progress(static_cast<double>(++bandsDone) / kBandCount);
    });
    result.width = width;
    result.height = layout.outputRows;
    result.fileSize = PrnExpectedFileSize(*header);
  } catch (const std::exception& e) {
    result.status = Status::Fail(e.what());
    return result;
  }
  result.status = Status::Ok();
  result.decodedRows = imaging::DecodedRowCount() - decodedBefore;
  raster.host.Log("large-image mode decoded " + std::to_string(result.decodedRows) + " plane rows for " +
                  std::to_string(result.planeRows) + " rows of planes");
  return result;
}

}  // namespace qm
