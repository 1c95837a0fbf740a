// Helpers of the separation tests: a low-resolution test preset in a scratch
// AppDir and a runner for the command-line program.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/process.h"
#include "tests/support/test_support.h"

namespace qm::test {

// Writes Configuration/<name>.cfg from the Default preset with `values`
// replaced (or added), and gives it a copy of the Default preset's folder.
// Resolution 72 x 72 unless `values` says otherwise.
void WriteTestPreset(const fs::path& appDir, const std::map<std::string, std::string>& values,
                     const std::string& name = "Test");

// Runs build/app/quillmark-cli --app-dir appDir --progress none ARGS.
ProcessResult RunCli(const fs::path& appDir, const std::vector<std::string>& args);

// Runs `separate` with the test preset and the given --set pairs (verbose).
ProcessResult RunSeparate(const fs::path& appDir, const std::string& item,
                          const std::vector<std::string>& sets);

// Names of the files in RipIn/Separation/<item>/.
std::vector<std::string> Filed(const fs::path& appDir, const std::string& item);

// Copies a sample into RipIn/CustomFiles/<stem>/ (as Import does).
void ImportSample(const fs::path& appDir, const std::string& sample, const std::string& as = "");

}  // namespace qm::test
