// The limits every job runs under, from the optional file
// Configuration/limits.txt: 8-bit text, KEY=VALUE lines read like the preset
// file (first 100 lines, keys case-sensitive, unknown keys ignored).
//
//   ToolTimeLimit=SECONDS   the longest an external tool run (a Ghostscript
//                           render or size probe, our magick) may take before
//                           it is killed with everything it started; 0 = no
//                           limit. Default 900.
//
// `--set ToolTimeLimit=N` of quillmark-cli puts a value over the file's for
// one run. A value that is not a whole number of 0 to 604800 keeps the
// default, and the reader says so.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qm {

inline constexpr const char* kLimitsFile = "limits.txt";
inline constexpr const char* kToolTimeLimitKey = "ToolTimeLimit";
inline constexpr int kDefaultToolTimeLimit = 900;

struct JobLimits {
  int toolTimeLimit = kDefaultToolTimeLimit;  // seconds; 0: none
};

// SECONDS of ToolTimeLimit: digits only, at most 604800 (a week).
std::optional<int> ParseToolTimeLimit(const std::string& text);

// Reads `file` (a missing file gives the defaults). A line with a bad value
// keeps the default and puts its reason into `problem` when given.
JobLimits ReadJobLimits(const std::filesystem::path& file, std::string* problem = nullptr);

// Configuration/limits.txt of the AppDir, the name matched case-insensitively.
JobLimits ReadAppDirLimits(std::string* problem = nullptr);

}  // namespace qm
