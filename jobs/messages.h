// Every message-box text of the jobs and their callers (the window, the
// command line), in one place. The cause of a failure follows the text.
#pragma once

namespace qm {

inline constexpr const char* kFailImport = "Fail to import files!";
inline constexpr const char* kChooseImageItem = "Choose an item from Image List!";
inline constexpr const char* kChooseSeparationItem = "Choose an item from Separation List!";
inline constexpr const char* kFailSeparate = "Fail to Separate !";
inline constexpr const char* kSettingWrong = "Something is wrong in Setting !";
inline constexpr const char* kApplySettingFirst = "Apply the Setting first!";
inline constexpr const char* kFailRip = "Fail to Rip the files !";
inline constexpr const char* kFailCompose = "Fail to Compose the files !";
inline constexpr const char* kFailPrint = "Fail to Print !";
inline constexpr const char* kAnotherJobMessage = "Another job is using the working folder!";
inline constexpr const char* kNone = "None";  // status text of an idle status line

}  // namespace qm
