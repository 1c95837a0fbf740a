#include "settings/apply.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "platform/message_sink.h"
#include "platform/platform.h"

namespace qm {

namespace {
constexpr std::size_t kLinearLines = 21;

// A decimal as a 32-bit float: the longest leading number, 0 when none.
float ReadFloat(const std::string& text) {
  char* end = nullptr;
  const float v = std::strtof(text.c_str(), &end);
  return end == text.c_str() ? 0.0f : v;
}

// A field of the linearisation file as a double: a leading decimal number
// (digits, a point, an exponent); anything else, also "nan", "inf" and hex
// numbers, which strtod would take, reads as 0.
double ReadDouble(const std::string& text) {
  std::size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos) return 0.0;
  if (text[i] == '+' || text[i] == '-') ++i;
  if (i < text.size() && text[i] == '.') ++i;
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return 0.0;
  if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) return 0.0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  return end == text.c_str() || !std::isfinite(v) ? 0.0 : v;
}

// The rendering intents in the order of RenderIntent's entries: the name the
// ICC conversion takes (empty: the entry's own text) and Ghostscript's number.
struct Intent {
  const char* name;
  const char* ghostscript;
};
constexpr std::array<Intent, 4> kIntents{{{"Absolute", "3"}, {"Relative", "1"}, {"", "0"}, {"", "2"}}};

bool OutOfUnitRange(float v) { return std::isnan(v) || v > 1.0f || v < 0.0f; }

bool ValidDotsCode(DotsCode code) {
  switch (code) {
    case DotsCode::kSmall: case DotsCode::kMiddle: case DotsCode::kSmallMiddle: case DotsCode::kLarge:
    case DotsCode::kSmallLarge: case DotsCode::kMiddleLarge: case DotsCode::kAll: return true;
  }
  return false;
}

// The name of a preset key, for a message.
std::string Key(std::optional<std::string> PresetValues::*field) { return PresetKeyName(field); }

Status Empty(std::optional<std::string> PresetValues::*field) { return Status::Fail(Key(field) + " is empty"); }

Status NotAFraction(std::optional<std::string> PresetValues::*field, const std::string& text) {
  return Status::Fail(Key(field) + " '" + text + "' is not a number from 0 to 1");
}

// Truncation toward zero into 32 bits; out-of-range values saturate instead of
// being undefined.
int32_t TruncateToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(v);
}
}  // namespace

std::filesystem::path LinearisationPath(const std::filesystem::path& appDir,
                                        const ActiveSetting& setting) {
  return ResolveCaseInsensitive(appDir / "Configuration" / setting.presetName, setting.LinearProfile);
}

Status Apply(const SettingForm& form, const std::filesystem::path& appDir, ActiveSetting& s,
             MessageSink& sink) {
  using P = PresetValues;
  // Each field is checked as it is assigned: a failure returns at once and
  // leaves the fields assigned before it with their new values, the rest as
  // they were.
  s.largeDotEnabled = 1;
  s.middleDotEnabled = 1;

  s.xResolution = form.xResolution;
  if (s.xResolution.empty()) return Empty(&P::xResolution);
  s.yResolution = form.yResolution;
  if (s.yResolution.empty()) return Empty(&P::yResolution);
  s.xResolutionValue = TruncateToInt(ReadFloat(s.xResolution));
  s.yResolutionValue = TruncateToInt(ReadFloat(s.yResolution));

  s.presetName = form.preset.Text();
  if (s.presetName.empty()) return Status::Fail("no preset is selected");
  if (const std::size_t dot = s.presetName.rfind('.'); dot != std::string::npos) {
    s.presetName.erase(dot, 4);
  }

  s.UseICC = form.UseICC ? "1" : "0";

  // A profile combo without a selection: the preset names no file of its folder.
  auto noProfile = [&](std::optional<std::string> P::*key, const char* folder) {
    const std::filesystem::path presetFolder = appDir / "Configuration" / s.presetName;
    std::error_code ec;
    if (!std::filesystem::is_directory(presetFolder, ec)) {
      return Status::Fail("the preset folder " + presetFolder.string() + " is missing");
    }
    return Status::Fail(Key(key) + ": no profile of " + (presetFolder / folder).string() + " is selected");
  };
  s.defaultCMYKProfile = form.CMYKProfile.Text();
  if (s.defaultCMYKProfile.empty()) return noProfile(&P::defaultCMYKProfile, "CMYK");
  s.defaultRGBProfile = form.RGBProfile.Text();
  if (s.defaultRGBProfile.empty()) return noProfile(&P::defaultRGBProfile, "RGB");
  s.defaultGrayProfile = form.GrayProfile.Text();
  if (s.defaultGrayProfile.empty()) return noProfile(&P::defaultGrayProfile, "Gray");
  s.defaultOutputProfile = form.OutputProfile.Text();
  if (s.defaultOutputProfile.empty()) return noProfile(&P::defaultOutputProfile, "Output");

  s.intentName = form.RenderIntent.Text();
  if (s.intentName.empty()) return Status::Fail(Key(&P::RenderIntent) + ": no rendering intent is selected");
  const std::vector<std::string>& intents = PresetKeyOf(&P::RenderIntent)->entries;
  for (std::size_t i = 0; i < intents.size() && i < kIntents.size(); ++i) {
    if (s.intentName != intents[i]) continue;
    if (*kIntents[i].name) s.intentName = kIntents[i].name;
    s.gsRenderIntent = kIntents[i].ghostscript;
    break;
  }

  s.OverrideICC = form.OverrideICC ? "true" : "false";
  s.BlackPtComp = form.BlackPtComp ? "1" : "0";
  s.KPreserve = form.KPreserve ? "1" : "0";

  s.PdfSpotColorName = form.PdfSpotColorName;
  if (s.PdfSpotColorName.empty()) return Empty(&P::PdfSpotColorName);
  s.ICCOutputColors = form.ICCOutputColors;
  if (s.ICCOutputColors.empty()) return Empty(&P::ICCOutputColors);

  s.UseLc = form.UseLc ? 1 : 0;
  s.UseLm = form.UseLm ? 1 : 0;
  s.UseLk = form.UseLk ? 1 : 0;
  s.UseLlk = form.UseLlk ? 1 : 0;

  const float middleStart = ReadFloat(form.MiddleDotStart);
  const float largeStart = ReadFloat(form.LargeDotStart);
  if (OutOfUnitRange(middleStart)) return NotAFraction(&P::MiddleDotStart, form.MiddleDotStart);
  if (OutOfUnitRange(largeStart)) return NotAFraction(&P::LargeDotStart, form.LargeDotStart);
  if (middleStart > largeStart) {
    return Status::Fail(Key(&P::MiddleDotStart) + " " + form.MiddleDotStart + " is above " + Key(&P::LargeDotStart) + " " +
                        form.LargeDotStart);
  }
  s.MiddleDotDilution = ReadFloat(form.MiddleDotDilution);
  if (OutOfUnitRange(s.MiddleDotDilution)) return NotAFraction(&P::MiddleDotDilution, form.MiddleDotDilution);
  s.LargeDotDilution = ReadFloat(form.LargeDotDilution);
  if (OutOfUnitRange(s.LargeDotDilution)) return NotAFraction(&P::LargeDotDilution, form.LargeDotDilution);

  s.UseDots = TruncateToInt(ReadFloat(form.UseDots));
  if (!ValidDotsCode(s.Dots())) {
    return Status::Fail(Key(&P::UseDots) + " '" + form.UseDots + "' is not one of 1, 10, 11, 100, 101, 110, 111");
  }

  s.Bits = form.Bits.selected + 1;
  if (s.Bits < 1) return Status::Fail(Key(&P::Bits) + ": no dither bits (1 or 2) are selected");
  s.DitherMethod = form.DitherMethod.selected;
  if (s.DitherMethod < 0) return Status::Fail(Key(&P::DitherMethod) + ": no method (0 to 3) is selected");

  s.LinearProfile = form.LinearProfile;
  if (s.LinearProfile.empty()) return Empty(&P::LinearProfile);

  s.PRNSequence = form.PRNSequence;
  if (s.PRNSequence.empty()) {
    sink.ShowMessage(kFailReadSequence, Key(&P::PRNSequence) + " is empty");
    return Empty(&P::PRNSequence);
  }

  s.prnHeaderIndex = form.PRNHeader.selected;
  const std::string& header = PresetKeyOf(&P::PRNHeader)->entries.front();  // the one header there is
  if (form.PRNHeader.Text() != header) {
    return Status::Fail(Key(&P::PRNHeader) + " '" + form.PRNHeader.Text() + "' is not " + header);
  }

  s.Suffix = form.Suffix;
  if (s.Suffix.empty()) return Empty(&P::Suffix);

  int slotChannel[kSlotCount];
  for (int k = 0; k < kSlotCount; ++k) {
    slotChannel[k] = ChannelIndexOfCode(Field(s.PRNSequence, ',', static_cast<std::size_t>(k)));
  }

  const std::filesystem::path linearisation = LinearisationPath(appDir, s);
  const auto lines = ReadLines(linearisation, kLinearLines);
  if (!lines) return Status::Fail(Key(&P::LinearProfile) + ": " + OpenFailure(linearisation));
  for (int channel = 0; channel < kSlotCount; ++channel) {
    const std::string& line = (*lines)[static_cast<std::size_t>(channel) + 1];
    const std::vector<std::string> fields = SplitFields(line, '\t');
    auto field = [&](std::size_t i) { return i < fields.size() ? ReadDouble(fields[i]) : 0.0; };
    for (int k = 0; k < kSlotCount; ++k) {
      if (slotChannel[k] != channel) continue;
      for (int j = 0; j < kNodeCount; ++j) {
        s.linearIn[k][j] = static_cast<float>(field(2 * j + 1) * 65535.0);
        s.linearOut[k][j] = static_cast<float>(field(2 * j + 2) * 65535.0);
      }
    }
  }

  s.largeDotLevel = TruncateToInt(largeStart * 65536.0f);
  s.middleDotLevel = TruncateToInt(middleStart * 65536.0f);

  s.underbase = UnderbaseSettings{};
  const std::filesystem::path folder = ResolveCaseInsensitive(appDir / "Configuration", s.presetName);
  if (const Status underbase = ReadUnderbaseSettings(UnderbaseFileOf(folder), s.underbase); !underbase) {
    return underbase;
  }
  return Status::Ok();
}

bool ApplyWrapper(const SettingForm& form, const std::filesystem::path& appDir,
                  ActiveSetting& setting, MessageSink& sink) {
  const Status applied = Apply(form, appDir, setting, sink);
  if (applied) {
    setting.settingApplied = 1;
    return true;
  }
  setting.settingApplied = 0;
  sink.ShowMessage(kFailApply, applied.cause());
  return false;
}

}  // namespace qm
