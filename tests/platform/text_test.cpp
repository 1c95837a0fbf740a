#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

TEST(ReadLines, ReadsAFixedCountAcceptingCrLfAndLf) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "t.txt", "one\r\ntwo\nthree\r\n\r\nfive");
  const auto lines = ReadLines(dir / "t.txt", 7);
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (std::vector<std::string>{"one", "two", "three", "", "five", "", ""}));
  const auto two = ReadLines(dir / "t.txt", 2);
  EXPECT_EQ(two->size(), 2u);
  EXPECT_FALSE(ReadLines(dir / "missing.txt", 3));
  EXPECT_FALSE(ReadLines(dir.path(), 3));  // a folder is not a text file
}

TEST(ReadLines, KeepsBytesAboveAsciiAndNuls) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "b.txt", std::string("k=\xE9\x00z\r\n", 7));
  const auto lines = ReadLines(dir / "b.txt", 1);
  EXPECT_EQ((*lines)[0], std::string("k=\xE9\x00z", 5));
}

TEST(SplitKeyValue, CutsTheValueAtTheSecondEquals) {
  EXPECT_EQ(SplitKeyValue("dfPAPPPath=C:\\a=b").value, "C:\\a");
  EXPECT_EQ(SplitKeyValue("dfPAPPPath=C:\\a=b").key, "dfPAPPPath");
  EXPECT_EQ(SplitKeyValue("[Section]").key, "[Section]");
  EXPECT_EQ(SplitKeyValue("[Section]").value, "");
  EXPECT_EQ(SplitKeyValue("key =v").key, "key ");
}

TEST(Fields, EmptyPastTheEnd) {
  EXPECT_EQ(Field("0,1,2,3,L0", ',', 4), "L0");
  EXPECT_EQ(Field("0,1,2,3,L0", ',', 5), "");
  EXPECT_EQ(Field("0,, 2", ',', 1), "");
  EXPECT_EQ(Field("0,, 2", ',', 2), " 2");
  EXPECT_EQ(SplitFields("a\tb\t", '\t'), (std::vector<std::string>{"a", "b", ""}));
}

TEST(Names, StemsAndExtensions) {
  EXPECT_EQ(StemOf("report.v2.pdf"), "report.v2");
  EXPECT_EQ(StemOf("README"), "README");
  EXPECT_EQ(ExtensionLower("PHOTO.JPG"), "jpg");
  EXPECT_EQ(ExtensionLower("noext"), "");
  EXPECT_EQ(FileNameOf("/a/b/c.tif"), "c.tif");
  EXPECT_DOUBLE_EQ(ParseLeadingDouble("  12.5inch"), 12.5);
  EXPECT_DOUBLE_EQ(ParseLeadingDouble("inch"), 0.0);
  EXPECT_DOUBLE_EQ(ParseLeadingDouble(""), 0.0);
}

}  // namespace
}  // namespace qm
