#include <algorithm>
#include <system_error>
#include <utility>

#include "platform/platform.h"

namespace qm {

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows rules: '*' any run, '?' exactly one character, or none when only
// '?' and '*' remain in the pattern at the end of the name.
bool Match(std::string_view p, std::string_view n) {
  std::size_t pi = 0, ni = 0, starP = std::string_view::npos, starN = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || Lower(p[pi]) == Lower(n[ni]))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      starP = pi++;
      starN = ni;
    } else if (starP != std::string_view::npos) {
      pi = starP + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && (p[pi] == '*' || p[pi] == '?')) ++pi;
  return pi == p.size();
}
}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;
  return Match(pattern, name);
}

std::vector<std::string> ListFolder(const fs::path& folder, std::string_view pattern, EntryKind kind) {
  std::vector<std::pair<std::string, std::string>> keyed;  // (lower-cased, name)
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  if (ec) return {};
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    std::error_code kec;
    const bool isDir = it->is_directory(kec);
    if (kind == EntryKind::Files && isDir) continue;
    if (kind == EntryKind::Folders && !isDir) continue;
    std::string name = it->path().filename().string();
    if (WildcardMatch(pattern, name)) keyed.emplace_back(ToLower(name), std::move(name));
  }
  // Case-insensitive order, ties by bytes: the lower-cased key is made once
  // per name, not once per comparison.
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::string> names;
  names.reserve(keyed.size());
  for (auto& entry : keyed) names.push_back(std::move(entry.second));
  return names;
}

}  // namespace qm
