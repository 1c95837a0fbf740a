// The ink figures of a printed job for the server's web page: the ml of
// each ink of its PRN file (and the cost where inks.txt prices the ink), as
// prn-info gives them for the preset the job printed with.
//
// Error policy: ReportInks returns StatusOr<the figures>; nothing throws.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"
#include "settings/active_setting.h"

namespace qm::server {

struct InkLine {
  std::string ink;  // ink code of the position (PRNSequence's field)
  double ml = 0.0;
  std::optional<double> cost;
};

struct InkReport {
  std::vector<InkLine> inks;
  double totalMl = 0.0;
  std::optional<double> totalCost;
};

// The figures of `prn` made with `setting` (the preset of Configuration/
// `setting.presetName`.cfg); fails with the cause when the file cannot be
// read or its layout is not sound.
StatusOr<InkReport> ReportInks(const std::filesystem::path& prn, const ActiveSetting& setting);

}  // namespace qm::server
