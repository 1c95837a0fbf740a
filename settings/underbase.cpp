#include "settings/underbase.h"

#include <cmath>
#include <cstdlib>

#include "platform/platform.h"

namespace qm {

namespace {

constexpr std::size_t kUnderbaseLines = 100;

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

const UnderbaseKey* FindUnderbaseKey(std::string_view key) {
  for (const UnderbaseKey& k : UnderbaseKeys()) {
    if (key == k.key) return &k;
  }
  return nullptr;
}

}  // namespace

const std::vector<UnderbaseKey>& UnderbaseKeys() {
  using K = SettingKind;
  using F = UnderbaseField;
  static const std::vector<UnderbaseKey> keys = {
      {"Underbase", K::kChoice, F::kMode, {"off", "artwork", "generate", "both"}},
      {"UnderbaseInk", K::kText, F::kInk, {}},
      {"Choke", K::kNumber, F::kChoke, {}},
      {"Density", K::kNumber, F::kDensity, {}},
      {"UnderBlack", K::kNumber, F::kUnderBlack, {}},
      {"Knockout", K::kChoice, F::kKnockout, {"none", "white"}},
      {"KnockoutTolerance", K::kNumber, F::kKnockoutTolerance, {}},
  };
  return keys;
}

bool IsUnderbaseKey(std::string_view key) { return FindUnderbaseKey(key) != nullptr; }

Status SetUnderbaseValue(UnderbaseSettings& s, std::string_view key, std::string_view value) {
  const UnderbaseKey* k = FindUnderbaseKey(key);
  if (!k) return Status::Fail("unknown underbase key '" + std::string(key) + "'");
  const std::string word = ToLower(Trimmed(value));
  int entry = -1;
  for (std::size_t i = 0; i < k->entries.size(); ++i) {
    if (word == k->entries[i]) entry = static_cast<int>(i);
  }
  double number = 0.0;
  switch (k->field) {
    case UnderbaseField::kMode:
      if (entry < 0) return Bad(key, value, Alternatives(k->entries));
      s.mode = static_cast<UnderbaseMode>(entry);
      break;
    case UnderbaseField::kInk:
      if (word.size() != 2 || word[0] != 's' || word[1] < '0' || word[1] > '5') {
        return Bad(key, value, "a spot code S0 .. S5");
      }
      s.inkSpot = word[1] - '0';
      break;
    case UnderbaseField::kChoke:
      if (!Number(value, number) || number != std::floor(number) || number < 0 || number > kMaxChoke) {
        return Bad(key, value, "a whole number of pixels from 0 to " + std::to_string(kMaxChoke));
      }
      s.choke = static_cast<int>(number);
      break;
    case UnderbaseField::kDensity:
    case UnderbaseField::kUnderBlack:
    case UnderbaseField::kKnockoutTolerance:
      if (!Number(value, number) || number < 0 || number > 100) return Bad(key, value, "a percentage from 0 to 100");
      (k->field == UnderbaseField::kDensity      ? s.density
       : k->field == UnderbaseField::kUnderBlack ? s.underBlack
                                                 : s.knockoutTolerance) = number;
      break;
    case UnderbaseField::kKnockout:
      if (entry < 0) return Bad(key, value, Alternatives(k->entries));
      s.knockoutWhite = entry == 1;
      break;
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
