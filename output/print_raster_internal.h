// Pieces the three raster modes share (print_raster.cpp, band_renderer.cpp).
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "imaging/imaging.h"
#include "output/print_raster.h"

namespace qm::raster {

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

// Writes rows without dots for every absent position at the header's offsets.
bool WriteBlankPositions(const PrintRaster& raster, const std::vector<Position>& positions,
                         const PrnFileHeader& header, PrnFile& file);

}  // namespace qm::raster
