// The raster work of the Print job: the slot files of the Working folder,
// turned, negated, resampled and halftoned, packed into an open PrnFile in
// one of three modes that all give the same layout:
//
// - sequential: the planes on the calling thread, taking turns a step of
//   128 rows at a time; each channel row is written at its own offset
//   (48 + (y x N + p) x R);
// - turbo: every plane at once, one worker per plane, rows written the same
//   way;
// - large-image (band_renderer.cpp): 96 bands of every plane, 8 band
//   workers, each band written at its place under one lock.
//
// Every mode runs the Print recipe (raster::Recipe; separation/plane_recipe.h,
// kPrintOrder: turn, negate, resample, halftone, then the mirror), then packs. Sequential and turbo take
// each plane through it in rows (PlaneRows, separation/plane_recipe.h, into
// the position's sink, which packs), with the bytes of the whole-plane steps
// and a few rows of memory per plane; a 180-degree turn reads the
// plane bottom up, a 90-degree turn reads a turned copy (TurnedPlanes). Planes
// still being rendered by Ghostscript are worked on as their rows arrive.
//
// Positions: position p holds the slot file of slots[p] (the channel order of
// the format). A position whose slot file is absent is written as rows
// without dots, so the file always has its full size. A generated white
// underbase (output/underbase_plane.h) is a plane file of its own at the
// white's position, already turned and at the printer's resolution.
//
// Levels: all modes halftone and code with one HalftoneParams::Of(setting),
// so the same planes give the same dots in every mode
// (the band renderer restarts the error diffusion at each band).
//
// Error policy: the modes never throw. An image-library error on any thread,
// planes that differ in size, or a failed write gives a failed status with
// its cause; the caller fails the job and discards the file.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "output/prn_file.h"
#include "platform/job_host.h"
#include "platform/status.h"
#include "settings/active_setting.h"

namespace qm {

struct PrintRaster {
  const ActiveSetting& setting;
  JobHost& host;
  std::filesystem::path working;  // folder of the slot files
  std::vector<int> slots;         // slot index of every position, N entries
  int turn = 0;                   // 0, 90 (clockwise) or -90: dfImageRt and the rotation test
  bool upward = false;            // dfImageUp: turn by 180 after `turn`
  bool negate = false;            // PDF route: planes hold 0 for full ink
  bool mirror = false;            // dfMirror: the dots flipped left to right after the turns
  bool underbase = true;          // generate the white when the settings ask (Compose: never)
  int turboThreads = 18;
  int bandWorkers = 8;
  // Called with the fraction 0..1 of the raster work done, after each plane
  // (sequential, turbo) or band (large-image), from any worker thread; may
  // be empty.
  std::function<void(double fraction)> progress{};
  // Set from outside (the job canceled): the work ends at the next plane
  // step or band with "the job was canceled". May be null.
  const std::atomic<bool>* stop = nullptr;
};

struct RasterResult {
  Status status = Status::Fail("the raster work did not finish");
  uint32_t width = 0, height = 0;  // of the written planes
  uint64_t fileSize = 0;           // the PRN file's full size (its header's), for PrnFile::Commit
  uint64_t decodedRows = 0;        // plane rows the imaging layer decoded
  uint64_t planeRows = 0;          // rows of the present planes, summed
  int threadsRan = 1;              // workers that ran the planes (turbo)
};

RasterResult RenderSequential(const PrintRaster& raster, PrnFile& file);
RasterResult RenderTurbo(const PrintRaster& raster, PrnFile& file);
RasterResult RenderBands(const PrintRaster& raster, PrnFile& file);

}  // namespace qm
