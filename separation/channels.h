// The channel set and the plane file names of every stage. Codes are
// case-sensitive ASCII: "0".."3" (C, M, Y, K), "L0".."L3" (light inks),
// "M0".."M3" (multicolor inks), "S0".."S5" (spot colours): indices 0..17.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace qm {

// Plane of a channel code: "00_" + code + ".tif".
std::string ChannelPlaneName(const std::string& code);
// Plane of a separator colorant: "00_(" + colorant + ").tif".
std::string SeparatorPlaneName(const std::string& colorant);

// Slot file of index k in the Working folder: "00_" + code + ".tiff".
std::string SlotFileName(int index);

// The index 0..17 of a plane file name: the text between the last '_' and the
// last '.'; 0 (cyan) when it matches no code.
int ChannelIndexFromName(const std::string& name);

// The 18 codes of PRNSequence, positions 0..17 (missing fields are empty).
std::array<std::string, 18> SequenceCodes(const std::string& prnSequence);

// Slot assignment in `working`: for each position k of PRNSequence whose
// field is a channel code, the plane "00_" + code + ".tif" becomes the slot
// file of k (a code named twice fills only its first position). Returns the
// channel indices whose planes no position names: they stay as they were.
std::vector<int> AssignSlots(const std::filesystem::path& working, const std::string& prnSequence);

// An ink for the operator: "cyan (0)", "light black (L2)", "spot S1
// (Varnish)", "multicolor M0" when `name` is empty.
std::string InkLabel(int index, const std::string& name = {});

// The warning for an ink that no position of PRNSequence names.
std::string UnplacedInkWarning(int index, const std::string& name = {});

}  // namespace qm
