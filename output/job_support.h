// What the Compose and Print jobs share: their messages (separation/messages.h),
// the slot files of the Working folder and the channel positions.
//
// Error policy: nothing here shows a message or throws; the jobs decide.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "halftone/levels.h"
#include "output/prn_format.h"
#include "separation/channels.h"
#include "separation/messages.h"
#include "settings/active_setting.h"

namespace qm {

// Whether `name` is one of the Image List's items (a folder of CustomFiles).
bool IsImageListItem(const std::string& item);

}  // namespace qm
