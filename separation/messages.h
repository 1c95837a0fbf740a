// Message texts shared by the jobs and their callers (the window, the
// command line). Every text is the system's own, character for character.
#pragma once

namespace qm {

inline constexpr const char* kFailImport = "Fail to import files!";
inline constexpr const char* kChooseImageItem = "Choose an item from Image List!";
inline constexpr const char* kChooseSeparationItem = "Choose an item from Separation List!";
inline constexpr const char* kFailSeparate = "Fail to Separate !";
inline constexpr const char* kSettingWrong = "Something is wrong in Setting !";
inline constexpr const char* kNone = "None";  // status text of an idle status line

}  // namespace qm
