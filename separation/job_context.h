// What every job reads and drives: the applied settings, the live start-up
// defaults (read at the moment of use), the Setting dialog's state (the
// Compose job packs by its light-ink boxes) and the window.
#pragma once

#include <filesystem>

#include "platform/job_host.h"
#include "settings/active_setting.h"
#include "settings/initiation.h"
#include "settings/setting_form.h"

namespace qm {

struct JobContext {
  ActiveSetting& setting;
  InitiationSettings& init;
  const SettingForm& form;
  JobHost& host;
};

}  // namespace qm
