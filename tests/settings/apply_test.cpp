#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "platform/message_sink.h"
#include "settings/apply.h"
#include "settings/setting_form.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

// A valid form on the Default preset of a scratch AppDir; each case breaks one thing.
class ApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RefillPresetCombo(form, app.path());
    form.preset.SelectText("Default.cfg");
    ASSERT_TRUE(SelectPreset(form, app.path(), sink));
  }
  bool Run() { return Apply(form, app.path(), setting, sink).ok(); }
  void WriteLinear(const std::string& text) {
    test::WriteFileBytes(app / "Configuration/Default/linear.txt", text);
  }

  test::ScratchAppDir app;
  RecordingSink sink;
  SettingForm form;
  ActiveSetting setting;
};

TEST_F(ApplyTest, TheDefaultPresetApplies) {
  ASSERT_TRUE(Run());
  EXPECT_EQ(setting.xResolutionValue, 720);
  EXPECT_EQ(setting.presetName, "Default");
  EXPECT_EQ(setting.middleDotLevel, 16384);
  EXPECT_EQ(setting.largeDotLevel, 32768);
  EXPECT_EQ(setting.Bits, 2);
  EXPECT_EQ(setting.intentName, "Perceptual");
  EXPECT_EQ(setting.gsRenderIntent, "0");
  EXPECT_EQ(setting.OverrideICC, "false");
  EXPECT_FLOAT_EQ(setting.linearIn[4][1], 16383.75f);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ApplyTest, DotStartsAndLevels) {
  form.MiddleDotStart = "0.6";
  form.LargeDotStart = "0.6";
  EXPECT_TRUE(Run());
  form.MiddleDotStart = "0.61";
  EXPECT_FALSE(Run());
  form.MiddleDotStart = "0.5";
  form.LargeDotStart = "1";
  ASSERT_TRUE(Run());
  EXPECT_EQ(setting.middleDotLevel, 32768);
  EXPECT_EQ(setting.largeDotLevel, 65536);
  for (const char* bad : {"-0.1", "1.01", "nan"}) {
    form.MiddleDotStart = "0";
    form.MiddleDotDilution = bad;
    EXPECT_FALSE(Run()) << bad;
  }
  form.MiddleDotDilution = "abc";  // no number reads as 0, which passes
  EXPECT_TRUE(Run());
  EXPECT_EQ(setting.MiddleDotDilution, 0.0f);
}

TEST_F(ApplyTest, DotsCodes) {
  form.UseDots = "111.9";
  EXPECT_TRUE(Run());
  EXPECT_EQ(setting.UseDots, 111);
  for (const char* bad : {"12", "0", "", "1000"}) {
    form.UseDots = bad;
    EXPECT_FALSE(Run()) << bad;
  }
}

TEST_F(ApplyTest, IntentsMapToBothTools) {
  const std::pair<const char*, std::pair<const char*, const char*>> cases[] = {
      {"Absolute Colorimetric", {"Absolute", "3"}},
      {"Colorimetric", {"Relative", "1"}},
      {"Saturation", {"Saturation", "2"}},
      {"Perceptual", {"Perceptual", "0"}}};
  for (const auto& [combo, expected] : cases) {
    form.RenderIntent.SelectText(combo);
    ASSERT_TRUE(Run());
    EXPECT_EQ(setting.intentName, expected.first);
    EXPECT_EQ(setting.gsRenderIntent, expected.second);
  }
  form.RenderIntent.selected = -1;
  EXPECT_FALSE(Run());
}

TEST_F(ApplyTest, EmptySequenceShowsItsOwnMessageFirst) {
  form.PRNSequence.clear();
  EXPECT_FALSE(ApplyWrapper(form, app.path(), setting, sink));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Fail to  read prn color sequence!",
                                                     "Fail to Apply the Preset file!"}));
  EXPECT_EQ(setting.settingApplied, 0);
}

TEST_F(ApplyTest, FailureKeepsTheFieldsAssignedSoFar) {
  ASSERT_TRUE(Run());
  form.xResolution = "360";
  form.Suffix = "";  // fails at the very end
  form.UseDots = "101";
  EXPECT_FALSE(Run());
  EXPECT_EQ(setting.xResolutionValue, 360);
  EXPECT_EQ(setting.UseDots, 101);
  form.xResolution = "";
  form.yResolution = "1";
  EXPECT_FALSE(Run());
  EXPECT_EQ(setting.yResolution, "720");  // not reached
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ApplyTest, EmptyTextsAndSelectionsFail) {
  const std::vector<std::function<void(SettingForm&)>> breaks = {
      [](SettingForm& f) { f.yResolution.clear(); },
      [](SettingForm& f) { f.preset.selected = -1; },
      [](SettingForm& f) { f.CMYKProfile.selected = -1; },
      [](SettingForm& f) { f.OutputProfile.selected = -1; },
      [](SettingForm& f) { f.PdfSpotColorName.clear(); },
      [](SettingForm& f) { f.ICCOutputColors.clear(); },
      [](SettingForm& f) { f.Bits.selected = -1; },
      [](SettingForm& f) { f.DitherMethod.selected = -1; },
      [](SettingForm& f) { f.LinearProfile.clear(); },
      [](SettingForm& f) { f.PRNHeader.selected = -1; },
      [](SettingForm& f) { f.LinearProfile = "missing.txt"; },
  };
  for (std::size_t i = 0; i < breaks.size(); ++i) {
    SettingForm saved = form;
    breaks[i](form);
    EXPECT_FALSE(Run()) << "case " << i;
    form = saved;
  }
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ApplyTest, ResolutionsReadTheLeadingNumber) {
  form.xResolution = "600.9dpi";
  form.yResolution = "x";
  ASSERT_TRUE(Run());
  EXPECT_EQ(setting.xResolutionValue, 600);
  EXPECT_EQ(setting.yResolutionValue, 0);
  EXPECT_EQ(setting.xResolution, "600.9dpi");
}

TEST_F(ApplyTest, SlotsTakeTheCurvesOfTheirChannels) {
  std::string text = "header\r\n";
  for (int channel = 0; channel < 18; ++channel) {
    const double out1 = 0.01 * channel;
    text += "c" + std::to_string(channel) + "\t0\t0\t0.25\t" + std::to_string(out1) +
            "\t0.5\t0.45\t0.75\t0.7\t1\t1\textra\r\n";
  }
  WriteLinear(text);
  setting.linearIn[5][2] = 123.0f;  // slots without a channel keep their curves
  form.PRNSequence = "3,3,l0, 2,S5";
  ASSERT_TRUE(Run());
  EXPECT_FLOAT_EQ(setting.linearOut[0][1], static_cast<float>(0.03 * 65535));
  EXPECT_FLOAT_EQ(setting.linearOut[1][1], static_cast<float>(0.03 * 65535));
  EXPECT_FLOAT_EQ(setting.linearOut[4][1], static_cast<float>(0.17 * 65535));
  EXPECT_EQ(setting.linearIn[2], (std::array<float, 5>{}));  // "l0": no channel
  EXPECT_EQ(setting.linearIn[3], (std::array<float, 5>{}));  // " 2": no channel
  EXPECT_EQ(setting.linearIn[5][2], 123.0f);
  EXPECT_FLOAT_EQ(setting.linearIn[0][1], 16383.75f);
  EXPECT_FLOAT_EQ(setting.linearOut[0][2], 29490.75f);
}

TEST_F(ApplyTest, NodeValuesAreStoredAsFloatProducts) {
  WriteLinear("h\r\nC\t0\t0\t0.25\t0.2\t0.5\t0.45\t0.75\t0.7\t1\t1\r\n");
  form.PRNSequence = "0,1";
  ASSERT_TRUE(Run());
  EXPECT_EQ(setting.linearIn[0][1], 16383.75f);
  EXPECT_EQ(setting.linearOut[0][1], static_cast<float>(0.2 * 65535.0));
  EXPECT_EQ(setting.linearOut[0][1], 13107.0f);
  // Line 3 (magenta) is missing: every node of its slot is 0.
  EXPECT_EQ(setting.linearIn[1], (std::array<float, 5>{}));
  EXPECT_EQ(setting.linearOut[1], (std::array<float, 5>{}));
}

// Fields strtod would read as numbers but that are no decimals read as 0.
TEST_F(ApplyTest, NanInfAndHexFieldsReadAsZero) {
  form.PRNSequence = "0";
  for (const char* field : {"nan", "NAN(1)", "inf", "-Infinity", "1e999", "0x1p4", "abc"}) {
    WriteLinear(std::string("h\r\nC\t0.5\t") + field + "\t1\t1\t1\t1\t1\t1\t1\t1\r\n");
    ASSERT_TRUE(Run()) << field;
    EXPECT_EQ(setting.linearOut[0][0], 0.0f) << field;
    EXPECT_EQ(setting.linearIn[0][0], 32767.5f) << field;
  }
}

TEST_F(ApplyTest, BinaryLinearisationFileGivesZerosNotACrash) {
  std::string junk(4096, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 37);
  WriteLinear(junk);
  ASSERT_TRUE(Run());
  for (const auto& slot : setting.linearIn) {
    for (float v : slot) EXPECT_TRUE(std::isfinite(v));
  }
}

}  // namespace
}  // namespace qm
