#include "output/underbase_plane.h"

#include <algorithm>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "separation/channels.h"
#include "separation/underbase_white.h"

namespace qm::raster {

UnderbasePositions FindUnderbasePositions(const PrintRaster& raster) {
  UnderbasePositions at;
  const auto codes = SequenceCodes(raster.setting.PRNSequence);
  const std::string white = raster.setting.underbase.InkCode();
  auto first = [&](const std::string& code) -> std::optional<std::size_t> {
    for (int k = 0; k < kSlotCount; ++k) {
      if (codes[static_cast<std::size_t>(k)] != code) continue;
      for (std::size_t p = 0; p < raster.slots.size(); ++p) {
        if (raster.slots[p] == k) return p;
      }
      return std::nullopt;  // the first field naming it has no position
    }
    return std::nullopt;
  };
  at.white = first(white);
  at.black = first(ChannelCode(kBlackInk));
  return at;
}

void IncludeUnderbaseSlot(const ActiveSetting& setting, PrnChannelSet& set) {
  if (!setting.underbase.Generates()) return;
  if (!UnderbaseNotPrinted(setting.underbase, setting.PRNSequence, setting.PdfSpotColorName).empty()) return;
  const auto codes = SequenceCodes(setting.PRNSequence);
  const std::string white = setting.underbase.InkCode();
  for (int k = 0; k < kSlotCount; ++k) {
    if (codes[static_cast<std::size_t>(k)] != white) continue;
    set.Include(k);
    return;
  }
}

PlaneRecipe UnderbaseRecipe(const PlaneRecipe& recipe) {
  PlaneRecipe white = recipe;
  white.quarterTurn = 0;
  white.halfTurn = false;
  white.negate = false;
  return white;
}

void WriteUnderbase(const PrintRaster& raster, const PlaneRecipe& recipe, const std::vector<Position>& positions,
                    const UnderbasePositions& at, uint32_t width, uint32_t height, const std::filesystem::path& out) {
  std::vector<WhiteSource> sources;
  for (std::size_t p = 0; p < positions.size(); ++p) {
    if (!positions[p].present) continue;
    const auto role = p == at.white   ? WhiteSource::Role::kArtWhite
                      : p == at.black ? WhiteSource::Role::kBlack
                                      : WhiteSource::Role::kOther;
    sources.push_back({positions[p].file, role});
  }
  WriteWhitePlane(raster.setting.underbase, recipe, sources, width, height, out);
}

GeneratedUnderbase::~GeneratedUnderbase() {
  if (!file_.empty()) DeleteFile(file_);
}

std::optional<std::size_t> GeneratedUnderbase::Plan(const PrintRaster& raster) {
  const ActiveSetting& s = raster.setting;
  if (!raster.underbase || !s.underbase.Generates()) return std::nullopt;
  if (const std::string why = UnderbaseNotPrinted(s.underbase, s.PRNSequence, s.PdfSpotColorName); !why.empty()) {
    raster.host.Warn(why);
    return std::nullopt;
  }
  at_ = FindUnderbasePositions(raster);
  if (at_.white) raster.host.Log("white underbase generated for position " + std::to_string(*at_.white));
  return at_.white;
}

void GeneratedUnderbase::Write(const PrintRaster& raster, const PlaneRecipe& recipe, std::vector<Position>& positions,
                               uint32_t width, uint32_t height) {
  if (!at_.white) return;
  file_ = raster.working / ".underbase.tiff";
  WriteUnderbase(raster, recipe, positions, at_, width, height, file_);
  positions[*at_.white].file = file_;
  positions[*at_.white].present = true;
}

std::optional<std::size_t> GeneratedUnderbase::Make(const PrintRaster& raster, const PlaneRecipe& recipe,
                                                    std::vector<Position>& positions, uint32_t width,
                                                    uint32_t height) {
  const auto white = Plan(raster);
  if (white) Write(raster, recipe, positions, width, height);
  return white;
}

}  // namespace qm::raster
