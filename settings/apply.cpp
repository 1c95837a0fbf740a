#include "settings/apply.h"

#include <cmath>
#include <cstdlib>

#include "platform/message_sink.h"
#include "platform/platform.h"

namespace qm {

namespace {
constexpr const char* kCodes[kSlotCount] = {"0",  "1",  "2",  "3",  "L0", "L1", "L2", "L3", "M0",
                                            "M1", "M2", "M3", "S0", "S1", "S2", "S3", "S4", "S5"};
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

bool OutOfUnitRange(float v) { return std::isnan(v) || v > 1.0f || v < 0.0f; }

bool ValidDotsCode(int32_t code) {
  switch (code) {
    case 1: case 10: case 11: case 100: case 101: case 110: case 111: return true;
    default: return false;
  }
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

int ChannelIndexOfCode(const std::string& code) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (code == kCodes[i]) return i;
  }
  return -1;
}

const char* ChannelCode(int index) {
  return (index >= 0 && index < kSlotCount) ? kCodes[index] : "";
}

std::filesystem::path LinearisationPath(const std::filesystem::path& appDir,
                                        const ActiveSetting& setting) {
  return ResolveCaseInsensitive(appDir / "Configuration" / setting.presetName, setting.LinearProfile);
}

bool Apply(const SettingForm& form, const std::filesystem::path& appDir, ActiveSetting& s,
           MessageSink& sink) {
  s.largeDotEnabled = 1;
  s.middleDotEnabled = 1;

  s.xResolution = form.xResolution;
  if (s.xResolution.empty()) return false;
  s.yResolution = form.yResolution;
  if (s.yResolution.empty()) return false;
  s.xResolutionValue = TruncateToInt(ReadFloat(s.xResolution));
  s.yResolutionValue = TruncateToInt(ReadFloat(s.yResolution));

  s.presetName = form.preset.Text();
  if (s.presetName.empty()) return false;
  if (const std::size_t dot = s.presetName.rfind('.'); dot != std::string::npos) {
    s.presetName.erase(dot, 4);
  }

  s.UseICC = form.UseICC ? "1" : "0";

  s.defaultCMYKProfile = form.CMYKProfile.Text();
  if (s.defaultCMYKProfile.empty()) return false;
  s.defaultRGBProfile = form.RGBProfile.Text();
  if (s.defaultRGBProfile.empty()) return false;
  s.defaultGrayProfile = form.GrayProfile.Text();
  if (s.defaultGrayProfile.empty()) return false;
  s.defaultOutputProfile = form.OutputProfile.Text();
  if (s.defaultOutputProfile.empty()) return false;

  s.intentName = form.RenderIntent.Text();
  if (s.intentName.empty()) return false;
  if (s.intentName == "Absolute Colorimetric") {
    s.intentName = "Absolute";
    s.gsRenderIntent = "3";
  } else if (s.intentName == "Saturation") {
    s.gsRenderIntent = "2";
  } else if (s.intentName == "Colorimetric") {
    s.intentName = "Relative";
    s.gsRenderIntent = "1";
  } else if (s.intentName == "Perceptual") {
    s.gsRenderIntent = "0";
  }

  s.OverrideICC = form.OverrideICC ? "true" : "false";
  s.BlackPtComp = form.BlackPtComp ? "1" : "0";
  s.KPreserve = form.KPreserve ? "1" : "0";

  s.PdfSpotColorName = form.PdfSpotColorName;
  if (s.PdfSpotColorName.empty()) return false;
  s.ICCOutputColors = form.ICCOutputColors;
  if (s.ICCOutputColors.empty()) return false;

  s.UseLc = form.UseLc ? 1 : 0;
  s.UseLm = form.UseLm ? 1 : 0;
  s.UseLk = form.UseLk ? 1 : 0;
  s.UseLlk = form.UseLlk ? 1 : 0;

  const float middleStart = ReadFloat(form.MiddleDotStart);
  const float largeStart = ReadFloat(form.LargeDotStart);
  if (OutOfUnitRange(middleStart)) return false;
  if (OutOfUnitRange(largeStart) || middleStart > largeStart) return false;
  s.MiddleDotDilution = ReadFloat(form.MiddleDotDilution);
  if (OutOfUnitRange(s.MiddleDotDilution)) return false;
  s.LargeDotDilution = ReadFloat(form.LargeDotDilution);
  if (OutOfUnitRange(s.LargeDotDilution)) return false;

  s.UseDots = TruncateToInt(ReadFloat(form.UseDots));
  if (!ValidDotsCode(s.UseDots)) return false;

  s.Bits = form.Bits.selected + 1;
  if (s.Bits < 1) return false;
  s.DitherMethod = form.DitherMethod.selected;
  if (s.DitherMethod < 0) return false;

  s.LinearProfile = form.LinearProfile;
  if (s.LinearProfile.empty()) return false;

  s.PRNSequence = form.PRNSequence;
  if (s.PRNSequence.empty()) {
    sink.ShowMessage(kFailReadSequence);
    return false;
  }

  s.prnHeaderIndex = form.PRNHeader.selected;
  if (form.PRNHeader.Text() != "HS") return false;

  s.Suffix = form.Suffix;
  if (s.Suffix.empty()) return false;

  int slotChannel[kSlotCount];
  for (int k = 0; k < kSlotCount; ++k) {
    slotChannel[k] = ChannelIndexOfCode(Field(s.PRNSequence, ',', static_cast<std::size_t>(k)));
  }

  const auto lines = ReadLines(LinearisationPath(appDir, s), kLinearLines);
  if (!lines) return false;
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
  return true;
}

bool ApplyWrapper(const SettingForm& form, const std::filesystem::path& appDir,
                  ActiveSetting& setting, MessageSink& sink) {
  if (Apply(form, appDir, setting, sink)) {
    setting.settingApplied = 1;
    return true;
  }
  setting.settingApplied = 0;
  sink.ShowMessage(kFailApply);
  return false;
}

}  // namespace qm
