// Pieces the three raster modes share (print_raster.cpp, band_renderer.cpp).
#pragma once

#include <atomic>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "imaging/imaging.h"
#include "output/print_raster.h"
#include "separation/plane_recipe.h"

namespace qm::raster {

// The imaging layer's exceptions end in the raster modes through this.
using imaging::CatchImaging;

// The first failure of the workers of a parallel loop; the others stop at
// their next step when they see failed().
class FirstFailure {
 public:
  void Record(Status status) {
    if (status) return;
    const std::lock_guard guard(lock_);
    if (!failed_.load()) first_ = std::move(status);
    failed_.store(true);
  }
  bool failed() const { return failed_.load(); }
  // Ok when nothing failed; after the loop.
  const Status& first() const { return first_; }

 private:
  std::mutex lock_;
  std::atomic<bool> failed_{false};
  Status first_ = Status::Ok();
};

struct Position {
  int slot = 0;
  std::filesystem::path file;
  bool present = false;  // the slot file exists
};

std::vector<Position> Positions(const PrintRaster& raster);

// Header of this job for planes of width x height; nullopt when it cannot be
// made (Bits, channel count).
std::optional<PrnFileHeader> Header(const PrintRaster& raster, uint32_t width, uint32_t height);

// Logs that position p has no slot file and prints no dots.
void LogBlankPosition(const PrintRaster& raster, const std::vector<Position>& positions, std::size_t p);

// Planes given a quarter turn in hidden files of the Working folder (all at
// once, a band of rows each; see imaging::TurnPlaneFile), removed at the end.
// Turn points the present positions at their turned files.
class TurnedPlanes {
 public:
  TurnedPlanes() = default;
  ~TurnedPlanes();
  TurnedPlanes(const TurnedPlanes&) = delete;
  TurnedPlanes& operator=(const TurnedPlanes&) = delete;
  void Turn(std::vector<Position>& positions, int degrees);

 private:
  std::vector<std::filesystem::path> files_;
};

// The Print recipe of the job's planes (kPrintOrder): the job's turn (0, 90,
// -90) and upward as one quarter or half turn, its negation and the printer's
// resolution. Every mode takes its steps and values from it.
PlaneRecipe Recipe(const PrintRaster& raster);

// Writes rows without dots for every absent position at the header's offsets.
bool WriteBlankPositions(const PrintRaster& raster, const std::vector<Position>& positions,
                         const PrnFileHeader& header, PrnFile& file);

}  // namespace qm::raster
