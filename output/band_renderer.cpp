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
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// What every band of the page shares, from PlanBands.
struct PageBands {
  std::vector<Position> positions;
  PlaneRecipe recipe;
  raster::TurnedPlanes turned;
  raster::GeneratedUnderbase underbase;
  std::optional<std::size_t> white;  // the generated white's position
  uint32_t rows = 0;                  // source rows of every plane, as turned
  uint32_t width = 0;                 // of the output
  BandLayout layout;
  PrnFileHeader header;
};

// The plan of the page: all present planes of one size (their rows summed in
// result.planeRows), the quarter turn made on the files, the bands' layout,
// the header written, the white generated.
Status PlanBands(const PrintRaster& raster, PrnFile& file, PageBands& page, RasterResult& result) {
  const ActiveSetting& s = raster.setting;
  imaging::InitializeImaging();
  std::optional<imaging::PlaneInfo> info;
  for (const Position& p : page.positions) {
    if (!p.present) continue;
    const imaging::PlaneInfo i = imaging::ReadPlaneInfo(p.file);
    if (!info) {
      info = i;
    } else if (i.width != info->width || i.height != info->height) {
      return Status::Fail(p.file.filename().string() + " is " + std::to_string(i.width) + " x " +
                          std::to_string(i.height) + ", the other planes " + std::to_string(info->width) + " x " +
                          std::to_string(info->height));
    }
    result.planeRows += i.height;
  }
  if (!info) return Status::Fail("no slot file to print in " + raster.working.string());

  // Orientation of the bands: that of the output. The recipe's steps in
  // kPrintOrder: a quarter turn made on the files, the half turn and the
  // negation on each band as it is read, then resample and halftone.
  page.recipe = raster::Recipe(raster);
  uint32_t cols = info->width;
  page.rows = info->height;
  double xRes = info->xResolution, yRes = info->yResolution;
  if (page.recipe.quarterTurn != 0) {
    const auto start = std::chrono::steady_clock::now();
    page.turned.Turn(page.positions, page.recipe.quarterTurn);
    char took[32];
    std::snprintf(took, sizeof took, "%.2f s",
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    raster.host.Log("planes turned by " + std::to_string(page.recipe.quarterTurn) + " degrees: " + took);
    std::swap(cols, page.rows);
    std::swap(xRes, yRes);
  }

  page.layout = MakeBandLayout(page.rows, yRes, page.recipe.yResolution);
  page.width = ResampledSize(cols, xRes, page.recipe.xResolution);
  const auto header = raster::Header(raster, page.width, page.layout.outputRows);
  if (!header) return Status::Fail("no PRN header for Bits " + std::to_string(s.Bits));
  if (!file.WriteHeader(*header)) return Status::Fail(file.error());
  page.header = *header;
  // The generated white: a plane file at the output's size; each band reads
  // its strip's rows of it as they lie.
  page.white = page.underbase.Make(raster, page.recipe, page.positions, page.width, page.layout.outputRows);
  return Status::Ok();
}

// Buffers kept from band to band: a new one of several megabytes costs its
// page faults and the kernel's zeroing every time. Two bands, for two
// positions at once, and the block of packed rows.
struct BandBuffers {
  imaging::Plane bands[2];
  std::vector<float> mirrored;
  std::vector<uint8_t> block;
};

// The band of position p read, turned and negated, and resampled to the
// output's width (the generated white is read as it lies) into `band`.
Status LoadBand(const PageBands& page, const BandPlan& plan, std::size_t p, imaging::Plane& band) {
  const PlaneRecipe& recipe = page.recipe;
  const Position& position = page.positions[p];
  if (p == page.white) {
    imaging::ReadPlaneRows(position.file, plan.stripFirst, plan.stripRows, band);
  } else {
    const uint32_t top = recipe.halfTurn ? page.rows - plan.cropTop - plan.cropRows : plan.cropTop;
    imaging::ReadPlaneRows(position.file, top, plan.cropRows, band);
    if (recipe.halfTurn) imaging::Rotate(band, 180);
    if (recipe.negate) imaging::Negate(band);
    imaging::ResampleRows(band, recipe.xResolution, recipe.yResolution,
                          {plan.cropTop, page.rows, plan.stripFirst, plan.stripRows});
  }
  if (band.width != page.width) {
    return Status::Fail("band width " + std::to_string(band.width) + " differs from " + std::to_string(page.width));
  }
  return Status::Ok();
}

// The halftoned band of position p, mirrored and packed into its place in
// `block`.
void PackBand(const PrintRaster& raster, const PageBands& page, const HalftoneParams& halftone,
              const BandPlan& plan, std::size_t p, const imaging::Plane& band, std::vector<float>& mirrored,
              std::vector<uint8_t>& block) {
  const uint32_t width = page.width, R = page.header.rowStride;
  const std::size_t channels = page.positions.size();
  const uint32_t drop = DroppedRows(plan);
  for (uint32_t i = 0; i < plan.outCount; ++i) {
    const uint32_t y = std::min(drop + i, band.height - 1);
    const float* row = band.Row(y);
    if (page.recipe.mirror) {  // the dots flipped left to right
      mirrored.resize(width);
      std::reverse_copy(row, row + width, mirrored.begin());
      row = mirrored.data();
    }
    PackPrnRow(std::span<const float>(row, width), raster.setting.Bits, halftone.levels,
               std::span<uint8_t>(block.data() + (std::size_t{i} * channels + p) * R, R));
  }
}

// One band of every position, read, turned, negated, resampled, halftoned,
// mirrored and packed into `buffers.block`: the band's output rows of every
// position, laid out as in the file (rows without dots stay 0). The positions
// go two at a time, their halftone scans side by side (HalftoneTwoPlanes).
Status RenderBand(const PrintRaster& raster, const PageBands& page, const HalftoneParams& halftone, uint32_t b,
                  const BandPlan& plan, BandBuffers& buffers) {
  std::vector<uint8_t>& block = buffers.block;
  const std::size_t channels = page.positions.size();
  block.assign(std::size_t{plan.outCount} * channels * page.header.rowStride, 0);
  std::vector<std::size_t> present;
  for (std::size_t p = 0; p < channels; ++p) {
    if (page.positions[p].present) present.push_back(p);
  }
  imaging::Plane& first = buffers.bands[0];
  imaging::Plane& second = buffers.bands[1];
  for (std::size_t k = 0; k < present.size(); k += 2) {
    const std::size_t p = present[k];
    const int32_t slotP = page.positions[p].slot;
    if (Status loaded = LoadBand(page, plan, p, first); !loaded) return loaded;
    if (k + 1 == present.size()) {
      HalftonePlane(halftone, first.pixels.data(), first.width, first.height, slotP, b);
      PackBand(raster, page, halftone, plan, p, first, buffers.mirrored, block);
      break;
    }
    const std::size_t q = present[k + 1];
    const int32_t slotQ = page.positions[q].slot;
    if (Status loaded = LoadBand(page, plan, q, second); !loaded) return loaded;
    if (first.height == second.height) {
      HalftoneTwoPlanes(halftone, first.pixels.data(), slotP, second.pixels.data(), slotQ, first.width, first.height,
                        b);
    } else {
      HalftonePlane(halftone, first.pixels.data(), first.width, first.height, slotP, b);
      HalftonePlane(halftone, second.pixels.data(), second.width, second.height, slotQ, b);
    }
    PackBand(raster, page, halftone, plan, p, first, buffers.mirrored, block);
    PackBand(raster, page, halftone, plan, q, second, buffers.mirrored, block);
  }
  return Status::Ok();
}

// The band's block at its place in the file, in one write under `fileLock`.
Status WriteBlock(PrnFile& file, std::mutex& fileLock, const PrnFileHeader& header, const BandPlan& plan,
                  const std::vector<uint8_t>& block) {
  const std::lock_guard<std::mutex> guard(fileLock);
  if (!file.WriteAt(PrnRowOffset(header, plan.outFirst, 0), block)) return Status::Fail(file.error());
  return Status::Ok();
}

}  // namespace

RasterResult RenderBands(const PrintRaster& raster, PrnFile& file) {
  const HalftoneParams halftone = HalftoneParams::Of(raster.setting);
  RasterResult result;
  const uint64_t decodedBefore = imaging::DecodedRowCount();
  PageBands page;
  page.positions = raster::Positions(raster);
  if (Status planned = raster::CatchImaging([&] { return PlanBands(raster, file, page, result); }); !planned) {
    result.status = std::move(planned);
    return result;
  }

  std::mutex fileLock;
  raster::FirstFailure failure;
  std::atomic<uint32_t> bandsDone{0};
  // A band's buffers go to the next band.
  std::mutex spareLock;
  std::vector<BandBuffers> spares;
  ParallelFor(kBandCount, raster.bandWorkers, [&](std::size_t index) {
    if (failure.failed()) return;
    if (raster.stop && raster.stop->load()) return failure.Record(Status::Fail("the job was canceled"));
    const uint32_t b = static_cast<uint32_t>(index);
    const BandPlan plan = PlanBand(page.layout, b);
    if (plan.outCount == 0) return;
    BandBuffers buffers;
    {
      std::lock_guard<std::mutex> guard(spareLock);
      if (!spares.empty()) {
        buffers = std::move(spares.back());
        spares.pop_back();
      }
    }
    Status done =
        raster::CatchImaging([&] { return RenderBand(raster, page, halftone, b, plan, buffers); });
    if (done) done = WriteBlock(file, fileLock, page.header, plan, buffers.block);
    if (!done) return failure.Record(std::move(done));
    {
      std::lock_guard<std::mutex> guard(spareLock);
      spares.push_back(std::move(buffers));
    }
    if (raster.progress) raster.progress(static_cast<double>(++bandsDone) / kBandCount);
  });
  if (failure.failed()) {
    result.status = failure.first();
    return result;
  }
  result.width = page.width;
  result.height = page.layout.outputRows;
  result.fileSize = PrnExpectedFileSize(page.header);
  result.status = Status::Ok();
  result.decodedRows = imaging::DecodedRowCount() - decodedBefore;
  raster.host.Log("large-image mode decoded " + std::to_string(result.decodedRows) + " plane rows for " +
                  std::to_string(result.planeRows) + " rows of planes");
  return result;
}

}  // namespace qm
