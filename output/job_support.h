// What the Compose and Print jobs share: their messages, the slot files of
// the Working folder, the level set of a job and the channel positions.
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

inline constexpr const char* kApplySettingFirst = "Apply the Setting first!";
inline constexpr const char* kFailRip = "Fail to Rip the files !";
inline constexpr const char* kFailCompose = "Fail to Compose the files !";
inline constexpr const char* kFailPrint = "Fail to Print !";

// Whether `name` is one of the Image List's items (a folder of CustomFiles).
bool IsImageListItem(const std::string& item);

}  // namespace qm
