#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/platform.h"

namespace qm {

std::optional<std::vector<std::string>> ReadLines(const fs::path& path, std::size_t count) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> lines(count);
  std::string line;
  for (std::size_t i = 0; i < count && std::getline(in, line); ++i) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines[i] = std::move(line);
    line.clear();
  }
  return lines;
}

KeyValue SplitKeyValue(std::string_view line) {
  KeyValue kv;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    kv.key = std::string(line);
    return kv;
  }
  kv.key = std::string(line.substr(0, eq));
  std::string_view rest = line.substr(eq + 1);
  kv.value = std::string(rest.substr(0, rest.find('=')));
  return kv;
}

std::vector<std::string> SplitFields(std::string_view text, char sep) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t pos = text.find(sep, start);
    if (pos == std::string_view::npos) {
      fields.emplace_back(text.substr(start));
      return fields;
    }
    fields.emplace_back(text.substr(start, pos - start));
    start = pos + 1;
  }
}

std::string Field(std::string_view text, char sep, std::size_t k) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < k; ++i) {
    const std::size_t pos = text.find(sep, start);
    if (pos == std::string_view::npos) return {};
    start = pos + 1;
  }
  return std::string(text.substr(start, text.find(sep, start) - start));
}

std::string ToLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ToLower(a) == ToLower(b);
}

double ParseLeadingDouble(std::string_view s) {
  const std::string text(s);  // strtod needs a terminated string
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  return end == text.c_str() ? 0.0 : v;
}

std::string FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string StemOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string ExtensionLower(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : ToLower(name.substr(dot + 1));
}

}  // namespace qm
