// The Image List item of a network job: named after the job, safe as a file
// name, never the name of another item or of a PRN file already there.
#pragma once

#include <string>

namespace qm::server {

// The item name of a job: its name (PAPPL's job name: job-name, else the
// document's name; "Untitled" when it had neither) without a document
// extension (.pdf, .jpg, .jpeg, .tif, .tiff), each character unsafe in a file
// name (control characters, / \ : * ? " < > |) and leading dots replaced by
// '_', cut to 200 bytes at a character's start; "job-<id>" when nothing is
// left or the job had no name.
std::string ItemNameOf(const std::string& jobName, int jobId);

// `name` when no item of the Image List and no file of RipIn/UserPrn takes
// it (letter case ignored), else the first free of name-2, name-3, ...
std::string FreeItemName(const std::string& name);

}  // namespace qm::server
