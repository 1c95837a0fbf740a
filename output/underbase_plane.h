// The generated white underbase of a Print job (underbase.txt: Underbase
// generate or both), made before the raster work as a plane file of its own
// (separation/underbase_white.h): at the printer's resolution, in the
// output's orientation (from the planes after their turns), holding ink
// values. The white's position then halftones that file like any plane (no
// turn, negation or resampling left to do), in every raster mode; in
// large-image mode each band reads its strip's rows of it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

#include "output/print_raster_internal.h"
#include "output/prn_format.h"
#include "settings/underbase.h"

namespace qm::raster {

// With a generated white, the channel set includes the slot PRNSequence
// first puts the white's ink in (the artwork may have no such plane).
void IncludeUnderbaseSlot(const ActiveSetting& setting, PrnChannelSet& set);

// Which positions the white needs: the white's and black's positions
// (PRNSequence's first field naming the ink), when there are.
struct UnderbasePositions {
  std::optional<std::size_t> white;
  std::optional<std::size_t> black;
};
UnderbasePositions FindUnderbasePositions(const PrintRaster& raster);

// Writes the white of `width` x `height` output pixels to `out` from the
// present positions (as turned), by `recipe`'s half turn, negation and
// resolution. Throws imaging::ImagingError on a failed read or write.
void WriteUnderbase(const PrintRaster& raster, const PlaneRecipe& recipe, const std::vector<Position>& positions,
                    const UnderbasePositions& at, uint32_t width, uint32_t height, const std::filesystem::path& out);

// The recipe of the white's file: printed as it lies (mirror kept).
PlaneRecipe UnderbaseRecipe(const PlaneRecipe& recipe);

// Generates the white when the job asks for it and places it at its
// position (its file and `present`), removing the file at the end.
class GeneratedUnderbase {
 public:
  GeneratedUnderbase() = default;
  ~GeneratedUnderbase();
  GeneratedUnderbase(const GeneratedUnderbase&) = delete;
  GeneratedUnderbase& operator=(const GeneratedUnderbase&) = delete;
  // The white's position when the job generates one; nullopt when it does
  // not, or when the white cannot be printed (the host is warned why).
  std::optional<std::size_t> Plan(const PrintRaster& raster);
  // Writes the planned white and points its position at it. Only the
  // white's position is changed, so the other planes may be at work.
  void Write(const PrintRaster& raster, const PlaneRecipe& recipe, std::vector<Position>& positions, uint32_t width,
             uint32_t height);
  // Plan, then Write.
  std::optional<std::size_t> Make(const PrintRaster& raster, const PlaneRecipe& recipe,
                                  std::vector<Position>& positions, uint32_t width, uint32_t height);

 private:
  UnderbasePositions at_;
  std::filesystem::path file_;
};

}  // namespace qm::raster
