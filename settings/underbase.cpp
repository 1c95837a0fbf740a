#include "settings/underbase.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "platform/platform.h"

namespace qm {

namespace {

constexpr std::size_t kUnderbaseLines = 100;

constexpr std::array<const char*, 7> kKeys = {"Underbase", "UnderbaseInk",     "Choke", "Density", "UnderBlack",
                                              "Knockout",  "KnockoutTolerance"};

// The whole text as a finite number, blanks around it allowed.
bool Number(std::string_view text, double& out) {
  const std::string s(text);
  const char* begin = s.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  if (*begin == '\0') return false;
  char* end = nullptr;
  const double v = std::strtod(begin, &end);
  if (end == begin) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || !std::isfinite(v)) return false;
  out = v;
  return true;
}

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

Status Bad(std::string_view key, std::string_view value, const std::string& takes) {
  return Status::Fail(std::string(key) + " '" + std::string(value) + "': " + std::string(key) + " takes " + takes);
}

}  // namespace

bool IsUnderbaseKey(std::string_view key) {
  for (const char* k : kKeys) {
    if (key == k) return true;
  }
  return false;
}

Status SetUnderbaseValue(UnderbaseSettings& s, std::string_view key, std::string_view value) {
  const std::string word = ToLower(Trimmed(value));
  double number = 0.0;
  if (key == "Underbase") {
    if (word == "off")
      s.mode = UnderbaseMode::kOff;
    else if (word == "artwork")
      s.mode = UnderbaseMode::kArtwork;
    else if (word == "generate")
      s.mode = UnderbaseMode::kGenerate;
    else if (word == "both")
      s.mode = UnderbaseMode::kBoth;
    else
      return Bad(key, value, "off, artwork, generate or both");
  } else if (key == "UnderbaseInk") {
    if (word.size() != 2 || word[0] != 's' || word[1] < '0' || word[1] > '5') {
      return Bad(key, value, "a spot code S0 .. S5");
    }
    s.inkSpot = word[1] - '0';
  } else if (key == "Choke") {
    if (!Number(value, number) || number != std::floor(number) || number < 0 || number > kMaxChoke) {
      return Bad(key, value, "a whole number of pixels from 0 to " + std::to_string(kMaxChoke));
    }
    s.choke = static_cast<int>(number);
  } else if (key == "Density" || key == "UnderBlack" || key == "KnockoutTolerance") {
    if (!Number(value, number) || number < 0 || number > 100) return Bad(key, value, "a percentage from 0 to 100");
    (key == "Density" ? s.density : key == "UnderBlack" ? s.underBlack : s.knockoutTolerance) = number;
  } else if (key == "Knockout") {
    if (word == "none")
      s.knockoutWhite = false;
    else if (word == "white")
      s.knockoutWhite = true;
    else
      return Bad(key, value, "none or white");
  } else {
    return Status::Fail("unknown underbase key '" + std::string(key) + "'");
  }
  return Status::Ok();
}

Status ReadUnderbaseSettings(const std::filesystem::path& file, UnderbaseSettings& settings) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return Status::Ok();
  const auto lines = ReadLines(file, kUnderbaseLines);
  if (!lines) return Status::Fail(OpenFailure(file));
  for (std::size_t i = 0; i < lines->size(); ++i) {
    const KeyValue kv = SplitKeyValue((*lines)[i]);
    if (!IsUnderbaseKey(kv.key)) continue;
    if (const Status set = SetUnderbaseValue(settings, kv.key, kv.value); !set) {
      return Status::Fail(file.string() + " line " + std::to_string(i + 1) + ": " + set.cause());
    }
  }
  return Status::Ok();
}

std::filesystem::path UnderbaseFileOf(const std::filesystem::path& presetFolder) {
  return ResolveCaseInsensitive(presetFolder, kUnderbaseFile);
}

}  // namespace qm
