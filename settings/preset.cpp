#include "settings/preset.h"

#include "platform/platform.h"

namespace qm {

namespace {
constexpr std::size_t kPresetLines = 1000;
}

const std::vector<PresetKey>& PresetKeys() {
  using P = PresetValues;
  using K = PresetKind;
  static const char* kPrinter = "[Printer Setting]";
  static const char* kSeparation = "[Separation Setting]";
  static const char* kColor = "[Color Management Setting]";
  static const char* kPrn = "[Prn Setting]";
  static const std::vector<PresetKey> keys = {
      {"xResolution", kPrinter, K::Edit, &P::xResolution},
      {"yResolution", kPrinter, K::Edit, &P::yResolution},
      {"LinearProfile", kPrinter, K::Edit, &P::LinearProfile},
      {"UseLc", kPrinter, K::Flag, &P::UseLc},
      {"UseLm", kPrinter, K::Flag, &P::UseLm},
      {"UseLk", kPrinter, K::Flag, &P::UseLk},
      {"UseLlk", kPrinter, K::Flag, &P::UseLlk},
      {"PdfSpotColorName", kSeparation, K::Edit, &P::PdfSpotColorName},
      {"ICCOutputColors", kSeparation, K::Edit, &P::ICCOutputColors},
      {"UseDots", kSeparation, K::Edit, &P::UseDots},
      {"MiddleDotStart", kSeparation, K::Edit, &P::MiddleDotStart},
      {"LargeDotStart", kSeparation, K::Edit, &P::LargeDotStart},
      {"MiddleDotDilution", kSeparation, K::Edit, &P::MiddleDotDilution},
      {"LargeDotDilution", kSeparation, K::Edit, &P::LargeDotDilution},
      {"Bits", kSeparation, K::Combo, &P::Bits},
      {"DitherMethod", kSeparation, K::Combo, &P::DitherMethod},
      {"UseICC", kColor, K::Flag, &P::UseICC},
      {"defaultRGBProfile", kColor, K::Combo, &P::defaultRGBProfile},
      {"defaultCMYKProfile", kColor, K::Combo, &P::defaultCMYKProfile},
      {"defaultGrayProfile", kColor, K::Combo, &P::defaultGrayProfile},
      {"defaultOutputProfile", kColor, K::Combo, &P::defaultOutputProfile},
      {"RenderIntent", kColor, K::Combo, &P::RenderIntent},
      {"OverrideICC", kColor, K::Flag, &P::OverrideICC},
      {"BlackPtComp", kColor, K::Flag, &P::BlackPtComp},
      {"KPreserve", kColor, K::Flag, &P::KPreserve},
      {"PRNSequence", kPrn, K::Edit, &P::PRNSequence},
      {"PRNHeader", kPrn, K::Combo, &P::PRNHeader},
      {"Suffix", kPrn, K::Edit, &P::Suffix},
  };
  return keys;
}

const PresetKey* FindPresetKey(std::string_view key) {
  for (const PresetKey& k : PresetKeys()) {
    if (key == k.key) return &k;
  }
  return nullptr;
}

bool SetPresetValue(PresetValues& values, std::string_view key, std::string_view value) {
  const PresetKey* k = FindPresetKey(key);
  if (!k) return false;
  values.*k->field = std::string(value);
  return true;
}

std::optional<PresetValues> ReadPreset(const std::filesystem::path& path) {
  const auto lines = ReadLines(path, kPresetLines);
  if (!lines) return std::nullopt;
  PresetValues values;
  for (const std::string& line : *lines) {
    const KeyValue kv = SplitKeyValue(line);
    for (const PresetKey& k : PresetKeys()) {
      if (kv.key == k.key) {
        values.*k.field = kv.value;
        break;
      }
    }
  }
  return values;
}

std::string FormatPreset(const PresetValues& values) {
  // Sections are separated by an empty line; the last line has no line end.
  std::string out;
  const char* section = nullptr;
  for (const PresetKey& k : PresetKeys()) {
    if (section != k.section) {
      if (section) out += "\r\n";
      out += k.section;
      out += "\r\n";
      section = k.section;
    }
    out += k.key;
    out += '=';
    out += (values.*k.field).value_or("");
    out += "\r\n";
  }
  out.resize(out.size() - 2);
  return out;
}

}  // namespace qm
