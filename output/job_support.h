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
#include "settings/active_setting.h"

namespace qm {

inline constexpr const char* kChooseImageItem = "Choose an item from Image List!";
inline constexpr const char* kChooseSeparationItem = "Choose an item from Separation List!";
inline constexpr const char* kSomethingWrongInSetting = "Something is wrong in Setting !";
inline constexpr const char* kApplySettingFirst = "Apply the Setting first!";
inline constexpr const char* kFailRip = "Fail to Rip the files !";
inline constexpr const char* kFailCompose = "Fail to Compose the files !";
inline constexpr const char* kFailPrint = "Fail to Print !";
inline constexpr const char* kNone = "None";

// Slot file of slot k (0..17) in the Working folder: "00_" + code + ".tiff".
std::string SlotFile(int slot);

// The slot index of a plane file name: the text between its last '_' and its
// last '.', compared case-sensitively with the 18 codes; 0 when none matches
// (with no '.', the text is empty and gives 0).
int SlotIndexOfFile(std::string_view name);

// The 18 comma-separated fields of PRNSequence as they stand (missing ones empty).
std::array<std::string, kPrnSlotCount> SequenceFields(std::string_view prnSequence);

// The dot levels and flags every writer of a job codes with: derived from the
// preset's levels, Bits and UseDots exactly as the halftoner derives them.
DotLevels JobDotLevels(const ActiveSetting& setting);

// Whether `name` is one of the Image List's items (a folder of CustomFiles).
bool IsImageListItem(const std::string& item);

}  // namespace qm
