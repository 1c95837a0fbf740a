// The plane file names of every stage and the slot assignment, over the
// channels of inks/ink_model.h.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/job_host.h"
#include "inks/ink_model.h"

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

// Slot assignment in `working`, the one every job runs: for each position k
// of PRNSequence whose field is a channel code, the plane "00_" + code +
// ".tif" becomes the slot file of k (a code named twice fills only its first
// position). A plane no position names stays as it was, and the host is
// warned that its ink is not printed (with the artwork's name of the ink,
// when `inkName` gives one).
void AssignSlots(const std::filesystem::path& working, const std::string& prnSequence, JobHost& host,
                 const std::function<std::string(int)>& inkName = {});

// An ink for the operator: "cyan (0)", "light black (L2)", "spot S1
// (Varnish)", "multicolor M0" when `name` is empty.
std::string InkLabel(int index, const std::string& name = {});

// The warning for an ink that no position of PRNSequence names.
std::string UnplacedInkWarning(int index, const std::string& name = {});

}  // namespace qm
