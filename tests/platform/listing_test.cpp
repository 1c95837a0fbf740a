#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

TEST(WildcardMatch, FollowsWindowsRules) {
  EXPECT_TRUE(WildcardMatch("*.tif?", "photo_0.tif"));
  EXPECT_TRUE(WildcardMatch("*.tif?", "photo_0.tiff"));
  EXPECT_TRUE(WildcardMatch("*.tif?", "PHOTO_0.TIFF"));
  EXPECT_FALSE(WildcardMatch("*.tif?", "photo_0.tiffx"));
  EXPECT_TRUE(WildcardMatch("*.pr?", "photo.prn"));
  EXPECT_TRUE(WildcardMatch("*.pr?", "photo.pr"));
  EXPECT_FALSE(WildcardMatch("*.pr?", "photo.prn.tmp"));
  EXPECT_TRUE(WildcardMatch("*.*", "README"));
  EXPECT_TRUE(WildcardMatch("*.cfg", "Default.CFG"));
  EXPECT_FALSE(WildcardMatch("*.cfg", "Default.cfg.bak"));
  EXPECT_TRUE(WildcardMatch("00_*.tiff", "00_L0.tiff"));
  EXPECT_FALSE(WildcardMatch("00_*.tiff", "00_L0.tif"));
  EXPECT_TRUE(WildcardMatch("*.ic?", "a.icc"));
  EXPECT_TRUE(WildcardMatch("*.ic?", "a.icm"));
  EXPECT_FALSE(WildcardMatch("*.ic?", "a.txt"));
  // '?' in the middle needs exactly one character.
  EXPECT_FALSE(WildcardMatch("a?c", "ac"));
  EXPECT_TRUE(WildcardMatch("a?c", "abc"));
}

TEST(ListFolder, SortsCaseInsensitivelyWithTiesByBytes) {
  test::TempDir dir;
  for (const char* name : {"b.tif", "A.tif", "a.tif", "C.tiff", "d.txt"}) {
    test::WriteFileBytes(dir / name, "x");
  }
  std::filesystem::create_directory(dir / "sub.tif");
  EXPECT_EQ(ListFolder(dir.path(), "*.tif?", EntryKind::Files),
            (std::vector<std::string>{"A.tif", "a.tif", "b.tif", "C.tiff"}));
  EXPECT_EQ(ListFolder(dir.path(), "*", EntryKind::Folders), (std::vector<std::string>{"sub.tif"}));
  EXPECT_TRUE(ListFolder(dir / "missing", "*.*").empty());
}

}  // namespace
}  // namespace qm
