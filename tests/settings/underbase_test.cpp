// underbase.txt and the underbase keys of --set: one row per value, what it
// sets or the cause it fails with; the file read by Apply from the preset's
// folder.
#include "settings/underbase.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/message_sink.h"
#include "settings/apply.h"
#include "settings/setting_form.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

struct ValueCase {
  const char* key;
  const char* value;
  const char* cause;  // empty: accepted
  std::function<bool(const UnderbaseSettings&)> holds;
};

TEST(Underbase, EachValue) {
  const ValueCase cases[] = {
      {"Underbase", "generate", "", [](const auto& s) { return s.mode == UnderbaseMode::kGenerate && s.Generates(); }},
      {"Underbase", "Both", "", [](const auto& s) { return s.mode == UnderbaseMode::kBoth && s.Generates(); }},
      {"Underbase", "artwork", "", [](const auto& s) { return s.mode == UnderbaseMode::kArtwork && !s.Generates(); }},
      {"Underbase", " off ", "", [](const auto& s) { return s.mode == UnderbaseMode::kOff; }},
      {"Underbase", "on", "Underbase 'on': Underbase takes off, artwork, generate or both", nullptr},
      {"UnderbaseInk", "S5", "", [](const auto& s) { return s.inkSpot == 5; }},
      {"UnderbaseInk", "s1", "", [](const auto& s) { return s.inkSpot == 1; }},
      {"UnderbaseInk", "S6", "UnderbaseInk 'S6': UnderbaseInk takes a spot code S0 .. S5", nullptr},
      {"UnderbaseInk", "White", "UnderbaseInk 'White': UnderbaseInk takes a spot code S0 .. S5", nullptr},
      {"Choke", "0", "", [](const auto& s) { return s.choke == 0; }},
      {"Choke", "64", "", [](const auto& s) { return s.choke == 64; }},
      {"Choke", "65", "Choke '65': Choke takes a whole number of pixels from 0 to 64", nullptr},
      {"Choke", "-1", "Choke '-1': Choke takes a whole number of pixels from 0 to 64", nullptr},
      {"Choke", "1.5", "Choke '1.5': Choke takes a whole number of pixels from 0 to 64", nullptr},
      {"Density", "50", "", [](const auto& s) { return s.density == 50.0; }},
      {"Density", "100.5", "Density '100.5': Density takes a percentage from 0 to 100", nullptr},
      {"Density", "nan", "Density 'nan': Density takes a percentage from 0 to 100", nullptr},
      {"UnderBlack", "0", "", [](const auto& s) { return s.underBlack == 0.0; }},
      {"UnderBlack", "50%", "UnderBlack '50%': UnderBlack takes a percentage from 0 to 100", nullptr},
      {"Knockout", "white", "", [](const auto& s) { return s.knockoutWhite; }},
      {"Knockout", "none", "", [](const auto& s) { return !s.knockoutWhite; }},
      {"Knockout", "black", "Knockout 'black': Knockout takes none or white", nullptr},
      {"KnockoutTolerance", "0", "", [](const auto& s) { return s.knockoutTolerance == 0.0; }},
      {"KnockoutTolerance", "-2", "KnockoutTolerance '-2': KnockoutTolerance takes a percentage from 0 to 100",
       nullptr},
      {"Underbasex", "off", "unknown underbase key 'Underbasex'", nullptr},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    UnderbaseSettings s;
    s.knockoutWhite = std::string(c.value) == "none";  // so that "none" has to clear it
    const Status set = SetUnderbaseValue(s, c.key, c.value);
    EXPECT_EQ(set.cause(), c.cause);
    EXPECT_EQ(IsUnderbaseKey(c.key), std::string(c.key) != "Underbasex");
    if (c.holds) {
      EXPECT_TRUE(c.holds(s));
    }
  }
  const UnderbaseSettings defaults;
  EXPECT_TRUE(defaults.mode == UnderbaseMode::kOff && defaults.inkSpot == 0 && defaults.choke == 2 &&
              defaults.density == 100.0 && defaults.underBlack == 100.0 && !defaults.knockoutWhite &&
              defaults.knockoutTolerance == 5.0);
}

// Apply reads the preset folder's underbase.txt (its name in any case); a bad
// line fails Apply naming the file and the line; no file is the defaults.
TEST(Underbase, AppliedFromThePresetFolder) {
  struct FileCase {
    const char* name;
    std::string text;
    bool ok;
    std::string cause;
    int choke;
  };
  const FileCase cases[] = {
      {"", "", true, "", 2},
      {"underbase.txt", "[Underbase]\r\nUnderbase=generate\r\nChoke=3\r\nOther=1\r\nChoke=4\n", true, "", 4},
      {"UNDERBASE.TXT", "Choke=5\r\n", true, "", 5},
      {"underbase.txt", "Underbase=generate\r\n\r\nChoke=x\r\n", false,
       "Configuration/Default/underbase.txt line 3: Choke 'x': Choke takes a whole number of pixels from 0 to 64", 2},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.text);
    test::ScratchAppDir app;
    if (*c.name) test::WriteFileBytes(app / "Configuration/Default" / c.name, c.text);
    RecordingSink sink;
    SettingForm form;
    RefillPresetCombo(form, app.path());
    form.preset.SelectText("Default.cfg");
    ASSERT_TRUE(SelectPreset(form, app.path(), sink));
    ActiveSetting setting;
    setting.underbase.choke = 9;  // a value left from an earlier preset goes
    const Status applied = Apply(form, app.path(), setting, sink);
    EXPECT_EQ(applied.ok(), c.ok);
    if (!c.ok) {
      const std::string prefix = (app / "").string();
      ASSERT_EQ(applied.cause().rfind(prefix, 0), 0u) << applied.cause();
      EXPECT_EQ(applied.cause().substr(prefix.size()), c.cause);
    } else {
      EXPECT_EQ(setting.underbase.choke, c.choke);
    }
  }
}

}  // namespace
}  // namespace qm
