#include <gtest/gtest.h>

#include "settings/preset.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

std::optional<PresetValues> ReadText(const std::string& text) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "p.cfg", text);
  return ReadPreset(dir / "p.cfg");
}

// The shipped preset comes back byte for byte (35 lines, the last without a
// line end), and every key reads back the value written for it.
TEST(FormatPreset, RoundTrips) {
  const auto shipped = test::ReadFileBytes(test::SourceDir() / "share/Configuration/Default.cfg");
  const auto values = ReadText(shipped);
  ASSERT_TRUE(values);
  EXPECT_EQ(test::FirstDifference(shipped, FormatPreset(*values)), "");
  PresetValues v;
  int n = 0;
  for (const PresetKey& k : PresetKeys()) v.*k.field = "value" + std::to_string(n++) + "\xE9";
  const auto back = ReadText(FormatPreset(v));
  for (const PresetKey& k : PresetKeys()) EXPECT_EQ(*back.*k.field, v.*k.field) << k.key;
}

TEST(ReadPreset, LineRules) {
  std::string text = "UseLc=true\nBits=2\nBits=1\ndefaultRGBProfile=a=b.icc\nxResolution =360\n[Elsewhere]\nSuffix=prn\n";
  for (int i = 8; i <= 1000; ++i) text += "\n";
  text += "yResolution=999\n";  // line 1001
  const auto v = ReadText(text);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->UseLc, "true");           // read as text; the form decides
  EXPECT_EQ(v->Bits, "1");               // a later occurrence replaces an earlier one
  EXPECT_EQ(v->defaultRGBProfile, "a");  // cut at the second '='
  EXPECT_FALSE(v->xResolution);          // a blank before '=' makes another key
  EXPECT_EQ(v->Suffix, "prn");           // sections carry no meaning
  EXPECT_FALSE(v->yResolution);          // line 1001 is not read
  EXPECT_FALSE(ReadPreset("/nonexistent.cfg"));
}

}  // namespace
}  // namespace qm
