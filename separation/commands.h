// The engine commands of the main window that the separation layer owns.
// Each returns true when it completed without showing a failure message.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "separation/job_context.h"

namespace qm {

// Import: one folder per stem under RipIn/CustomFiles/; a copy of an existing
// name is renamed "name (2).ext", "name (3).ext", ... Shows "Fail to import
// files!" per failed file. Returns the stems imported, in order.
std::vector<std::string> ImportFiles(const std::vector<std::filesystem::path>& files,
                                     MessageSink& sink, bool* allOk = nullptr);

// The three lists of the main window.
std::vector<std::string> ImageList();                          // RipIn/CustomFiles/*
std::vector<std::string> SeparationList(const std::string& item);  // RipIn/Separation/item/*.tif?
std::vector<std::string> PrnList();                            // RipIn/UserPrn/*.pr?

// The Separate command on an Image List item (already checked to exist).
bool SeparateCommand(JobContext& ctx, const std::string& item);

}  // namespace qm
