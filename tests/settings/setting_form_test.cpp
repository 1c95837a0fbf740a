#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "settings/apply.h"
#include "settings/setting_form.h"
#include "settings/startup.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

SettingForm SelectDefault(const test::ScratchAppDir& app, RecordingSink& sink) {
  SettingForm form;
  RefillPresetCombo(form, app.path());
  form.preset.SelectText("default.CFG");
  EXPECT_TRUE(SelectPreset(form, app.path(), sink));
  return form;
}

TEST(PresetSelection, FillsProfilesFixedEntriesAndValues) {
  test::ScratchAppDir app;
  RecordingSink sink;
  const SettingForm form = SelectDefault(app, sink);
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_EQ(form.CMYKProfile.Text(), "default_cmyk.icc");
  EXPECT_EQ(form.RGBProfile.entries, (std::vector<std::string>{"default_rgb.icc", "srgb.icc"}));
  EXPECT_EQ(form.RenderIntent.entries.size(), 4u);
  EXPECT_EQ(form.RenderIntent.Text(), "Perceptual");
  EXPECT_EQ(form.Bits.Text(), "2");
  EXPECT_EQ(form.PRNHeader.Text(), "HS");
  EXPECT_TRUE(form.UseLc && form.UseLm && !form.UseLk);
  EXPECT_EQ(form.PRNSequence, "0,1,2,3,L0,L1");
}

TEST(PresetSelection, AbsentKeysKeepTheValuesShownBefore) {
  test::ScratchAppDir app;
  RecordingSink sink;
  test::WriteFileBytes(app / "Configuration/Sparse.cfg",
                       "UseLc=true\r\nUseLm=0\r\nRenderIntent=Relative\r\ndefaultCMYKProfile=DEFAULT_CMYK.ICC\r\n");
  std::filesystem::create_directories(app / "Configuration/Sparse/CMYK");
  std::filesystem::copy(app / "Configuration/Default/CMYK/default_cmyk.icc", app / "Configuration/Sparse/CMYK/");
  SettingForm form = SelectDefault(app, sink);
  RefillPresetCombo(form, app.path());
  form.preset.SelectText("Sparse.cfg");
  ASSERT_TRUE(SelectPreset(form, app.path(), sink));
  EXPECT_EQ(form.Bits.Text(), "2");       // no Bits line
  EXPECT_TRUE(form.UseLc);                // "true" leaves the box
  EXPECT_FALSE(form.UseLm);
  EXPECT_EQ(form.RenderIntent.selected, -1);  // no entry equals "Relative"
  EXPECT_EQ(form.CMYKProfile.Text(), "default_cmyk.icc");  // matched ignoring case
  EXPECT_EQ(form.RGBProfile.selected, -1);    // refilled from an empty folder
  ActiveSetting s;
  EXPECT_FALSE(ApplyWrapper(form, app.path(), s, sink));
}

TEST(PresetSelection, UnreadableFileShowsItsMessage) {
  test::ScratchAppDir app;
  RecordingSink sink;
  SettingForm form;
  form.preset.entries = {"Gone.cfg"};
  form.preset.selected = 0;
  EXPECT_FALSE(SelectPreset(form, app.path(), sink));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Fail to open preset file!"}));
  SettingForm none;
  EXPECT_FALSE(SelectPreset(none, app.path(), sink));  // no selection: nothing happens
  EXPECT_EQ(sink.messages.size(), 1u);
}

TEST(SaveAs, InsideConfigurationRefillsTheComboWithoutSelection) {
  test::ScratchAppDir app;
  RecordingSink sink;
  SettingForm form = SelectDefault(app, sink);
  form.xResolution = "1440";
  ASSERT_TRUE(SavePresetAs(form, app.path(), app / "Configuration/NewPreset", sink));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Saved!"}));
  EXPECT_TRUE(std::filesystem::exists(app / "Configuration/NewPreset/linear.txt"));
  EXPECT_TRUE(std::filesystem::exists(app / "Configuration/NewPreset/CMYK/default_cmyk.icc"));
  EXPECT_EQ(test::ReadFileBytes(app / "Configuration/NewPreset.cfg"), FormatPreset(form.ToPresetValues()));
  EXPECT_EQ(form.preset.entries, (std::vector<std::string>{"Default.cfg", "NewPreset.cfg"}));
  EXPECT_EQ(form.preset.selected, -1);
  ActiveSetting s;
  sink.messages.clear();
  EXPECT_FALSE(ApplyWrapper(form, app.path(), s, sink));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Fail to Apply the Preset file!"}));
}

TEST(SaveAs, OutsideConfigurationAndTheCfgRule) {
  test::ScratchAppDir app;
  test::TempDir elsewhere;
  RecordingSink sink;
  SettingForm form = SelectDefault(app, sink);
  ASSERT_TRUE(SavePresetAs(form, app.path(), elsewhere / "new.preset.txt", sink));
  EXPECT_TRUE(std::filesystem::exists(elsewhere / "new.preset.cfg"));
  EXPECT_TRUE(std::filesystem::is_directory(elsewhere / "new.preset"));
  EXPECT_EQ(form.preset.Text(), "Default.cfg");  // the combo is left as it was
  EXPECT_EQ(PresetTargetPath("/a.b/c"), std::filesystem::path("/a.b/c.cfg"));
}

TEST(SaveAs, FailuresShowTheirMessages) {
  test::ScratchAppDir app;
  RecordingSink sink;
  SettingForm form;
  EXPECT_FALSE(SavePresetAs(form, app.path(), app / "Configuration/X", sink));
  EXPECT_EQ(sink.messages.back(), "Choose a preset file to save as.");
  form.preset.entries = {"NoFolder.cfg"};
  form.preset.selected = 0;
  EXPECT_FALSE(SavePresetAs(form, app.path(), app / "Configuration/X", sink));
  EXPECT_EQ(sink.messages.back(), "Fail to save preset file!");
  EXPECT_FALSE(std::filesystem::exists(app / "Configuration/X.cfg"));
  // The folder copies but the file cannot be created: an older file stays whole.
  form = SelectDefault(app, sink);
  std::filesystem::create_directories(app / "Configuration/Busy.cfg/inside");
  EXPECT_FALSE(SavePresetAs(form, app.path(), app / "Configuration/Busy.cfg", sink));
  EXPECT_EQ(sink.messages.back(), "Fail to save as the preset file!");
  EXPECT_TRUE(std::filesystem::is_directory(app / "Configuration/Busy.cfg/inside"));
}

TEST(HeadlessStartup, FindsThePresetIgnoringCaseAndReportsEachFailure) {
  test::ScratchAppDir app;
  RecordingSink sink;
  std::filesystem::rename(app / "Configuration/Default.cfg", app / "Configuration/mypreset.cfg");
  std::filesystem::rename(app / "Configuration/Default", app / "Configuration/mypreset");
  test::WriteFileBytes(app / "Configuration/initiation.ini", "dfPreset=MyPreset.cfg\r\n");
  Session ok;
  EXPECT_TRUE(RunHeadlessStartup(app.path(), ok, {}, std::nullopt, sink));
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_EQ(ok.setting.presetName, "mypreset");

  Session unknown;
  EXPECT_FALSE(RunHeadlessStartup(app.path(), unknown, {}, std::string("Other.cfg"), sink));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Fail to find the right preset file!"}));

  std::filesystem::remove(app / "Configuration/initiation.ini");
  Session missing;
  sink.messages.clear();
  EXPECT_FALSE(RunHeadlessStartup(app.path(), missing, {{"dfTurboMd", "1"}}, std::nullopt, sink));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Fail to open initiation.ini!"}));
  EXPECT_EQ(missing.setting.settingApplied, 0);
}

}  // namespace
}  // namespace qm
