// The white underbase generated from the other inks of a page (underbase.txt:
// Underbase generate or both), written as a plane file of its own at the
// printer's resolution, in the orientation of the planes read (the Print job
// reads them turned; the Separate job before its turn: the choke's disc, the
// knockout and the tone per pixel do not change under quarter or half turns).
//
// Per pixel, from the planes after the recipe's half turn, negation and
// resampling (the rows the halftoner would take):
// - coloured: any ink other than the white above the knockout threshold
//   (KnockoutTolerance percent of full tone with Knockout=white, else 0);
// - the mask, pulled in by the choke: a pixel keeps its white only when
//   every pixel within a disc of radius Choke (dx*dx + dy*dy <= Choke^2) is
//   coloured; pixels off the page are not;
// - the tone: Density percent of full tone, and where black is the only ink,
//   reduced in proportion to the black's tone down to UnderBlack percent under
//   full black; rounded to a whole tone so the 16-bit file holds it exactly;
// - both: the larger of that and the artwork's own white plane.
// The planes are read once more, a few rows at a time (a plane still being
// rendered as its rows arrive); the mask is held for 2 x Choke + 1 rows,
// never a whole plane.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "separation/plane_recipe.h"
#include "settings/underbase.h"

namespace qm {

struct WhiteSource {
  enum class Role { kOther, kBlack, kArtWhite };
  std::filesystem::path file;
  Role role = Role::kOther;
};

// Writes the white of `width` x `height` pixels to `out` (16 bits; with
// `storeNegated` as 65535 - tone, the polarity of the Ghostscript planes).
// Every source must resample to that size. Throws imaging::ImagingError on a
// failed read or write, or a source of another size.
void WriteWhitePlane(const UnderbaseSettings& settings, const PlaneRecipe& recipe,
                     const std::vector<WhiteSource>& sources, uint32_t width, uint32_t height,
                     const std::filesystem::path& out, bool storeNegated = false);

// Why a generated white is not printed, for the job's warning: the ink
// UnderbaseInk is not named by PdfSpotColorName, or PRNSequence places it in
// no position. Empty when it is printed, or when no white is generated.
std::string UnderbaseNotPrinted(const UnderbaseSettings& settings, const std::string& prnSequence,
                                const std::string& pdfSpotColorName);

// The first slot PRNSequence puts the code in, or -1.
int FirstSlotOf(const std::string& prnSequence, const std::string& code);

}  // namespace qm
