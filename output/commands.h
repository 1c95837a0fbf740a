// The engine commands of the printer output layer. Each returns true when it
// completed without showing a failure message.
#pragma once

#include <string>

#include "platform/status.h"
#include "separation/job_context.h"
#include "settings/active_setting.h"

namespace qm {

// The four light-ink check boxes Compose packs by (a light slot is a channel
// when its box is checked or it holds a plane): the window passes its
// Setting dialog's boxes as they stand, other callers the applied preset's.
struct LightInkBoxes {
  bool lc = false, lm = false, lk = false, llk = false;
  static LightInkBoxes Of(const ActiveSetting& setting) {
    return {setting.UseLc != 0, setting.UseLm != 0, setting.UseLk != 0, setting.UseLlk != 0};
  }
};

// The Compose command on a Separation List entry of an Image List item.
bool ComposeCommand(JobContext& ctx, const std::string& item, const std::string& entry, const LightInkBoxes& boxes);

// The Print command: the Print job on every file of the item folder, in
// listing order; stops with "Fail to Print !" at the first failure. When a
// file's job failed (not the preset or the job lock), *failure names the
// file and the cause; its file is still in the item folder.
bool PrintCommand(JobContext& ctx, const std::string& item, FileFailure* failure = nullptr);

}  // namespace qm
