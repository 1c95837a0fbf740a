// The engine commands of the printer output layer. Each returns true when it
// completed without showing a failure message.
#pragma once

#include <string>

#include "platform/status.h"
#include "separation/job_context.h"

namespace qm {

// The Compose command on a Separation List entry of an Image List item.
bool ComposeCommand(JobContext& ctx, const std::string& item, const std::string& entry);

// The Print command: the Print job on every file of the item folder, in
// listing order; stops with "Fail to Print !" at the first failure. When a
// file's job failed (not the preset or the job lock), *failure names the
// file and the cause; its file is still in the item folder.
bool PrintCommand(JobContext& ctx, const std::string& item, FileFailure* failure = nullptr);

}  // namespace qm
