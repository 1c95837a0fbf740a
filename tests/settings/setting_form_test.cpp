#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "settings/setting_form.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

SettingForm Select(const test::ScratchAppDir& app, const std::string& preset, RecordingSink& sink,
                   SettingForm form = {}) {
  RefillPresetCombo(form, app.path());
  form.preset.SelectText(preset);
  EXPECT_TRUE(SelectPreset(form, app.path(), sink)) << preset;
  return form;
}

// Selection refills the profile combos from the preset's folders and adds
// the fixed entries; a key the file lacks keeps the value shown before, and a
// value no entry matches leaves its combo without a selection.
TEST(PresetSelection, FillsTheCombosAndKeepsWhatTheFileLacks) {
  test::ScratchAppDir app;
  RecordingSink sink;
  test::WriteFileBytes(app / "Configuration/Sparse.cfg",
                       "UseLc=true\r\nUseLm=0\r\nRenderIntent=Relative\r\ndefaultCMYKProfile=DEFAULT_CMYK.ICC\r\n");
  fs::create_directories(app / "Configuration/Sparse/CMYK");
  fs::copy(app / "Configuration/Default/CMYK/default_cmyk.icc", app / "Configuration/Sparse/CMYK/");
  SettingForm form = Select(app, "default.CFG", sink);
  EXPECT_EQ(form.RGBProfile.entries, (Strings{"default_rgb.icc", "srgb.icc"}));
  EXPECT_EQ(form.RenderIntent.entries, (Strings{"Absolute Colorimetric", "Colorimetric", "Perceptual", "Saturation"}));
  EXPECT_EQ(form.Bits.entries, (Strings{"1", "2"}));
  EXPECT_EQ(form.DitherMethod.entries, (Strings{"0", "1", "2", "3"}));
  EXPECT_EQ(form.PRNHeader.entries, Strings{"HS"});
  EXPECT_TRUE(form.UseLc && form.UseLm && !form.UseLk);
  form = Select(app, "Sparse.cfg", sink, form);
  EXPECT_EQ(form.Bits.Text(), "2");
  EXPECT_TRUE(form.UseLc);  // "true" leaves the box
  EXPECT_FALSE(form.UseLm);
  EXPECT_EQ(form.RenderIntent.selected, -1);
  EXPECT_EQ(form.CMYKProfile.Text(), "default_cmyk.icc");  // matched ignoring case
  EXPECT_EQ(form.RGBProfile.selected, -1);                 // refilled from an empty folder
  EXPECT_TRUE(sink.messages.empty());
  form.preset.entries = {"Gone.cfg"};
  form.preset.selected = 0;
  EXPECT_FALSE(SelectPreset(form, app.path(), sink));
  EXPECT_EQ(sink.messages, Strings{"Fail to open preset file!"});
}

// "save as" outside Configuration leaves the combo; the ".cfg" rule; each
// failure shows its message and leaves an older file whole.
TEST(SaveAs, TargetsAndFailures) {
  test::ScratchAppDir app;
  test::TempDir elsewhere;
  RecordingSink sink;
  SettingForm form = Select(app, "Default.cfg", sink);
  form.xResolution = "1440";
  ASSERT_TRUE(SavePresetAs(form, app.path(), elsewhere / "new.preset.txt", sink));
  EXPECT_EQ(test::ReadFileBytes(elsewhere / "new.preset.cfg"), FormatPreset(form.ToPresetValues()));
  EXPECT_TRUE(fs::exists(elsewhere / "new.preset/CMYK/default_cmyk.icc"));
  EXPECT_EQ(form.preset.Text(), "Default.cfg");
  EXPECT_EQ(PresetTargetPath("/a.b/c"), fs::path("/a.b/c.cfg"));
  fs::create_directories(app / "Configuration/Busy.cfg/inside");
  EXPECT_FALSE(SavePresetAs(form, app.path(), app / "Configuration/Busy.cfg", sink));
  EXPECT_TRUE(fs::is_directory(app / "Configuration/Busy.cfg/inside"));
  form.preset.entries = {"NoFolder.cfg"};
  EXPECT_FALSE(SavePresetAs(form, app.path(), app / "Configuration/X", sink));
  EXPECT_FALSE(fs::exists(app / "Configuration/X.cfg"));
  form.preset.selected = -1;
  EXPECT_FALSE(SavePresetAs(form, app.path(), app / "Configuration/X", sink));
  EXPECT_EQ(sink.messages, (Strings{"Saved!", "Fail to save as the preset file!", "Fail to save preset file!",
                                    "Choose a preset file to save as."}));
}

}  // namespace
}  // namespace qm
