#include "server/ink_report.h"

#include "output/ink_figures.h"
#include "output/prn_reader.h"
#include "platform/platform.h"

namespace qm::server {

StatusOr<InkReport> ReportInks(const std::filesystem::path& prn, const ActiveSetting& setting) {
  auto reader = PrnReader::Open(prn);
  if (!reader) return reader.status();
  if (!reader->layoutOk()) return Status::Fail(prn.string() + ": its size does not match its header");
  const PrnFileHeader& header = reader->header();
  const std::array<int, 4> light = {setting.UseLc, setting.UseLm, setting.UseLk, setting.UseLlk};
  const std::vector<int> slots =
      PositionSlotsFromPreset(header.channels, light, setting.PRNSequence, setting.ICCOutputColors);
  const std::vector<std::string> inks = InksForSlots(slots, std::string_view(setting.PRNSequence));
  const auto counts = CountPrnDots(*reader);
  if (!counts) return counts.status();
  const InkSettings prices =
      InkSettingsOfPreset(ResolveCaseInsensitive(ConfigurationDir(), setting.presetName + ".cfg"));
  InkReport report;
  std::vector<InkFigures> figures;
  for (uint32_t p = 0; p < header.channels; ++p) {
    const std::string ink = p < inks.size() ? inks[p] : std::to_string(p);
    const InkFigures f = FiguresOf((*counts)[p], header.bits, uint64_t{header.width} * header.height, prices, ink);
    figures.push_back(f);
    report.inks.push_back({ink, f.inkMl, f.cost});
  }
  const InkFigures total = TotalOf(figures);
  report.totalMl = total.inkMl;
  report.totalCost = total.cost;
  return report;
}

}  // namespace qm::server
