// Apply on the Default preset of a scratch AppDir, one row per change: the
// preset keys set (as a preset file would set them), the linearisation file,
// whether Apply passes and what it leaves in the ActiveSetting.
#include <gtest/gtest.h>

#include <functional>

#include "platform/message_sink.h"
#include "settings/apply.h"
#include "settings/setting_form.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

using Check = std::function<void(const ActiveSetting&)>;
using Nodes = std::array<float, 5>;

// 18 curves, channel c's second output node at 0.01 c, and an extra field.
std::string EighteenCurves() {
  std::string text = "header\r\n";
  for (int c = 0; c < 18; ++c) {
    text += "c" + std::to_string(c) + "\t0\t0\t0.25\t" + std::to_string(0.01 * c) + "\t0.5\t0.45\t0.75\t0.7\t1\t1\textra\r\n";
  }
  return text;
}

struct ApplyCase {
  std::vector<std::pair<const char*, std::string>> set;
  std::string linear;  // linear.txt, empty: the shipped one
  bool ok;
  Check check;
};

const ApplyCase kCases[] = {
    {{}, "", true, [](const ActiveSetting& s) {
       EXPECT_EQ(s.xResolutionValue, 720);
       EXPECT_EQ(s.presetName, "Default");
       EXPECT_EQ(s.middleDotLevel, 16384);
       EXPECT_EQ(s.largeDotLevel, 32768);
       EXPECT_EQ(s.Bits, 2);
       EXPECT_EQ(s.OverrideICC, "false");
       EXPECT_FLOAT_EQ(s.linearIn[4][1], 16383.75f);
     }},
    {{{"MiddleDotStart", "0.6"}, {"LargeDotStart", "0.6"}}, "", true, nullptr},
    {{{"MiddleDotStart", "0.61"}, {"LargeDotStart", "0.6"}}, "", false, nullptr},
    {{{"MiddleDotStart", "0.5"}, {"LargeDotStart", "1"}}, "", true, [](const ActiveSetting& s) {
       EXPECT_EQ(s.middleDotLevel, 32768);
       EXPECT_EQ(s.largeDotLevel, 65536);
     }},
    {{{"MiddleDotDilution", "-0.1"}}, "", false, nullptr},
    {{{"MiddleDotDilution", "1.01"}}, "", false, nullptr},
    {{{"MiddleDotDilution", "nan"}}, "", false, nullptr},
    {{{"MiddleDotDilution", "abc"}}, "", true, [](const ActiveSetting& s) { EXPECT_EQ(s.MiddleDotDilution, 0.0f); }},
    {{{"UseDots", "111.9"}}, "", true, [](const ActiveSetting& s) { EXPECT_EQ(s.UseDots, 111); }},
    {{{"UseDots", "12"}}, "", false, nullptr},
    {{{"UseDots", "0"}}, "", false, nullptr},
    {{{"UseDots", ""}}, "", false, nullptr},
    {{{"UseDots", "1000"}}, "", false, nullptr},
    {{{"RenderIntent", "Absolute Colorimetric"}}, "", true,
     [](const ActiveSetting& s) { EXPECT_EQ(s.intentName + s.gsRenderIntent, "Absolute3"); }},
    {{{"RenderIntent", "Colorimetric"}}, "", true,
     [](const ActiveSetting& s) { EXPECT_EQ(s.intentName + s.gsRenderIntent, "Relative1"); }},
    {{{"RenderIntent", "Saturation"}}, "", true,
     [](const ActiveSetting& s) { EXPECT_EQ(s.intentName + s.gsRenderIntent, "Saturation2"); }},
    {{{"RenderIntent", "Perceptual"}}, "", true,
     [](const ActiveSetting& s) { EXPECT_EQ(s.intentName + s.gsRenderIntent, "Perceptual0"); }},
    {{{"RenderIntent", "none"}}, "", false, nullptr},
    {{{"defaultCMYKProfile", "none"}}, "", false, nullptr},
    {{{"defaultOutputProfile", "none"}}, "", false, nullptr},
    {{{"PRNHeader", "none"}}, "", false, nullptr},
    {{{"yResolution", ""}}, "", false, nullptr},
    {{{"PdfSpotColorName", ""}}, "", false, nullptr},
    {{{"ICCOutputColors", ""}}, "", false, nullptr},
    {{{"LinearProfile", ""}}, "", false, nullptr},
    {{{"LinearProfile", "missing.txt"}}, "", false, nullptr},
    // A failure keeps the fields assigned before it.
    {{{"xResolution", "360"}, {"UseDots", "101"}, {"Suffix", ""}}, "", false, [](const ActiveSetting& s) {
       EXPECT_EQ(s.xResolutionValue, 360);
       EXPECT_EQ(s.UseDots, 101);
     }},
    {{{"xResolution", "600.9dpi"}, {"yResolution", "x"}}, "", true, [](const ActiveSetting& s) {
       EXPECT_EQ(s.xResolutionValue, 600);
       EXPECT_EQ(s.yResolutionValue, 0);
       EXPECT_EQ(s.xResolution, "600.9dpi");
     }},
    // Each slot takes the curve of its channel's line; "l0" and " 2" name none.
    {{{"PRNSequence", "3,3,l0, 2,S5"}}, EighteenCurves(), true, [](const ActiveSetting& s) {
       EXPECT_FLOAT_EQ(s.linearOut[0][1], static_cast<float>(0.03 * 65535));
       EXPECT_FLOAT_EQ(s.linearOut[1][1], static_cast<float>(0.03 * 65535));
       EXPECT_FLOAT_EQ(s.linearOut[4][1], static_cast<float>(0.17 * 65535));
       EXPECT_EQ(s.linearIn[2], Nodes{});
       EXPECT_EQ(s.linearIn[3], Nodes{});
       EXPECT_EQ(s.linearIn[5][2], 123.0f);  // slots past the sequence keep their curves
       EXPECT_FLOAT_EQ(s.linearOut[0][2], 29490.75f);
     }},
    // Node values are float products; a missing line gives zeros.
    {{{"PRNSequence", "0,1"}}, "h\r\nC\t0\t0\t0.25\t0.2\t0.5\t0.45\t0.75\t0.7\t1\t1\r\n", true,
     [](const ActiveSetting& s) {
       EXPECT_EQ(s.linearIn[0][1], 16383.75f);
       EXPECT_EQ(s.linearOut[0][1], 13107.0f);
       EXPECT_EQ(s.linearOut[1], Nodes{});
     }},
    // Fields strtod would read but that are no decimals read as 0.
    {{{"PRNSequence", "0"}}, "h\r\nC\t0.5\tnan\t1\t-Infinity\t1\t1e999\t1\t0x1p4\t1\tabc\r\n", true,
     [](const ActiveSetting& s) {
       EXPECT_EQ(s.linearOut[0], Nodes{});
       EXPECT_EQ(s.linearIn[0], (Nodes{32767.5f, 65535, 65535, 65535, 65535}));
     }},
};

TEST(Apply, EachRow) {
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const ApplyCase& c = kCases[i];
    SCOPED_TRACE("row " + std::to_string(i));
    test::ScratchAppDir app;
    if (!c.linear.empty()) test::WriteFileBytes(app / "Configuration/Default/linear.txt", c.linear);
    RecordingSink sink;
    SettingForm form;
    RefillPresetCombo(form, app.path());
    form.preset.SelectText("Default.cfg");
    ASSERT_TRUE(SelectPreset(form, app.path(), sink));
    PresetValues values;
    for (const auto& [key, value] : c.set) ASSERT_TRUE(SetPresetValue(values, key, value)) << key;
    form.ApplyPresetValues(values);
    ActiveSetting setting;
    setting.linearIn[5][2] = 123.0f;
    EXPECT_EQ(Apply(form, app.path(), setting, sink).ok(), c.ok);
    EXPECT_TRUE(sink.messages.empty());
    if (c.check) c.check(setting);
  }
}

}  // namespace
}  // namespace qm
