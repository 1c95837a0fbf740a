#include "output/print_raster.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <optional>
#include <span>
#include <thread>

#include "halftone/halftone.h"
#include "output/job_support.h"
#include "output/print_raster_internal.h"
#include "platform/parallel.h"

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

}  // namespace raster

namespace {

using raster::Position;

// Turns, negation, resampling and halftoning of one whole plane, in that order.
imaging::Plane PreparePlane(const PrintRaster& raster, const Position& position) {
  const ActiveSetting& s = raster.setting;
  imaging::Plane plane = imaging::ReadPlane(position.file);
  if (raster.turn != 0) imaging::Rotate(plane, raster.turn);
  if (raster.upward) imaging::Rotate(plane, 180);
  if (raster.negate) imaging::Negate(plane);
  imaging::Resample(plane, s.xResolutionValue, s.yResolutionValue);
  HalftonePlane(s, plane.pixels.data(), plane.width, plane.height, s.Bits, s.MiddleDotDilution,
                s.LargeDotDilution, s.UseDots, s.DitherMethod, position.slot);
  return plane;
}

std::string SizeMismatch(const Position& position, const imaging::Plane& plane, uint32_t width, uint32_t height) {
  return position.file.filename().string() + " is " + std::to_string(plane.width) + " x " +
         std::to_string(plane.height) + " after resampling, the other planes " + std::to_string(width) + " x " +
         std::to_string(height);
}

RasterResult Failed(std::string error) {
  RasterResult r;
  r.error = std::move(error);
  return r;
}

}  // namespace

RasterResult RenderSequential(const PrintRaster& raster, PrnFile& file) {
  const auto positions = raster::Positions(raster);
  const DotLevels levels = JobDotLevels(raster.setting);
  const int bits = raster.setting.Bits;
  RasterResult result;
  const uint64_t decodedBefore = imaging::DecodedRowCount();
  try {
    imaging::InitializeImaging();
    std::optional<PrnFileHeader> header;
    std::vector<uint8_t> row;
    for (std::size_t p = 0; p < positions.size(); ++p) {
      if (!positions[p].present) continue;
      const imaging::Plane plane = PreparePlane(raster, positions[p]);
      if (!header) {
        header = raster::Header(raster, plane.width, plane.height);
        if (!header) return Failed("no PRN header for Bits " + std::to_string(bits));
        row.resize(header->rowStride);
      } else if (plane.width != header->width || plane.height != header->height) {
        return Failed(SizeMismatch(positions[p], plane, header->width, header->height));
      }
      result.planeRows += plane.height;
      for (uint32_t y = 0; y < plane.height; ++y) {
        PackPrnRow(std::span<const float>(plane.Row(y), plane.width), bits, levels, row);
        if (!file.WriteAt(PrnRowOffset(*header, y, static_cast<uint32_t>(p)), row)) return Failed(file.error());
      }
      if (raster.progress) raster.progress(static_cast<double>(p + 1) / static_cast<double>(positions.size()));
    }
    if (!header) return Failed("no slot file to print in " + raster.working.string());
    if (!raster::WriteBlankPositions(raster, positions, *header, file) || !file.WriteHeader(*header)) {
      return Failed(file.error());
    }
    result.width = header->width;
    result.height = header->height;
  } catch (const std::exception& e) {
    return Failed(e.what());
  }
  result.ok = true;
  result.decodedRows = imaging::DecodedRowCount() - decodedBefore;
  return result;
}

RasterResult RenderTurbo(const PrintRaster& raster, PrnFile& file) {
  const auto positions = raster::Positions(raster);
  const DotLevels levels = JobDotLevels(raster.setting);
  const int bits = raster.setting.Bits;
  RasterResult result;
  const uint64_t decodedBefore = imaging::DecodedRowCount();
  try {
    imaging::InitializeImaging();
    // Every plane at once, one worker per position.
    std::vector<std::optional<imaging::Plane>> planes(positions.size());
    std::atomic<std::size_t> prepared{0};
    ParallelFor(positions.size(), raster.turboThreads, [&](std::size_t p) {
      if (positions[p].present) planes[p] = PreparePlane(raster, positions[p]);
      if (raster.progress) raster.progress(static_cast<double>(++prepared) / static_cast<double>(positions.size()));
    });

    const imaging::Plane* first = nullptr;
    for (std::size_t p = 0; p < positions.size(); ++p) {
      if (!planes[p]) continue;
      if (!first) {
        first = &*planes[p];
      } else if (planes[p]->width != first->width || planes[p]->height != first->height) {
        return Failed(SizeMismatch(positions[p], *planes[p], first->width, first->height));
      }
      result.planeRows += planes[p]->height;
    }
    if (!first) return Failed("no slot file to print in " + raster.working.string());
    const auto header = raster::Header(raster, first->width, first->height);
    if (!header) return Failed("no PRN header for Bits " + std::to_string(bits));
    if (!file.WriteHeader(*header)) return Failed(file.error());
    raster.host.SetProgress(ProgressBar::Prn, 85);

    // Rows front to back: a batch of file rows is packed on every core, then
    // appended in order.
    const uint32_t width = header->width, height = header->height, R = header->rowStride;
    const std::size_t n = positions.size();
    constexpr uint32_t kBatchRows = 128;
    std::vector<uint8_t> batch(std::size_t{kBatchRows} * n * R);
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (uint32_t y0 = 0; y0 < height; y0 += kBatchRows) {
      const uint32_t rows = std::min(kBatchRows, height - y0);
      ParallelFor(rows, cores, [&](std::size_t i) {
        for (std::size_t p = 0; p < n; ++p) {
          const std::span<uint8_t> out(batch.data() + (i * n + p) * R, R);
          if (planes[p]) {
            PackPrnRow(std::span<const float>(planes[p]->Row(y0 + static_cast<uint32_t>(i)), width), bits, levels,
                       out);
          } else {
            std::fill(out.begin(), out.end(), uint8_t{0});
          }
        }
      });
      if (!file.Append(std::span<const uint8_t>(batch.data(), std::size_t{rows} * n * R))) return Failed(file.error());
    }
    for (std::size_t p = 0; p < n; ++p) {
      if (!positions[p].present) raster::LogBlankPosition(raster, positions, p);
    }
    result.width = width;
    result.height = height;
  } catch (const std::exception& e) {
    return Failed(e.what());
  }
  result.ok = true;
  result.decodedRows = imaging::DecodedRowCount() - decodedBefore;
  return result;
}

}  // namespace qm
