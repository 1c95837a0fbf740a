#include "settings/limits.h"

#include "platform/platform.h"

namespace qm {

std::optional<int> ParseToolTimeLimit(const std::string& text) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const int value = std::stoi(text);
  if (value > 604800) return std::nullopt;
  return value;
}

JobLimits ReadJobLimits(const std::filesystem::path& file, std::string* problem) {
  JobLimits limits;
  const auto lines = ReadLines(file, 100);
  if (!lines) return limits;
  for (const std::string& line : *lines) {
    const KeyValue kv = SplitKeyValue(line);
    if (kv.key != kToolTimeLimitKey) continue;
    if (const auto seconds = ParseToolTimeLimit(kv.value)) {
      limits.toolTimeLimit = *seconds;
    } else if (problem) {
      *problem = file.string() + ": " + kToolTimeLimitKey + " takes a whole number of seconds (0 to 604800), got '" +
                 kv.value + "'; the limit stays " + std::to_string(limits.toolTimeLimit) + " s";
    }
  }
  return limits;
}

JobLimits ReadAppDirLimits(std::string* problem) {
  return ReadJobLimits(ResolveCaseInsensitive(ConfigurationDir(), kLimitsFile), problem);
}

}  // namespace qm
