#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "settings/initiation.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

InitiationSettings ReadText(const std::string& text) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "initiation.ini", text);
  InitiationSettings s;
  EXPECT_TRUE(ReadInitiation(dir / "initiation.ini", s));
  return s;
}

TEST(ReadInitiation, LineRules) {
  std::string text =
      "DFPRESET=Upper.cfg\r\ndfPreset=Default.cfg\r\ndfTurboMd=yes\r\ndfLargeImageMd=1\r\n"
      "dfImageUp=1\r\ndfImageUp=0\r\ndfPAPPPath=/opt/a=b/printer\r\ndfVectorX=300\n";
  for (int line = 9; line <= 120; ++line) text += line == 100 ? "dfVectorY=100\r\n" : line == 101 ? "dfRotLimit=9\r\n" : "\r\n";
  const auto s = ReadText(text);
  EXPECT_EQ(s.dfPreset, "Default.cfg");  // keys are case-sensitive
  EXPECT_FALSE(s.dfTurboMd);             // "yes" leaves the flag as it was
  EXPECT_TRUE(s.dfLargeImageMd);
  EXPECT_FALSE(s.dfImageUp);             // the last occurrence wins
  EXPECT_EQ(s.dfPAPPPath, "/opt/a");     // cut at the second '='
  EXPECT_EQ(s.dfVectorX, "300");         // LF alone is accepted
  EXPECT_EQ(s.dfVectorY, "100");         // line 100 is read, line 101 not
  EXPECT_EQ(s.dfRotLimit, "");
  InitiationSettings kept;
  kept.dfPreset = "before";
  EXPECT_FALSE(ReadInitiation("/nonexistent/initiation.ini", kept));
  EXPECT_EQ(kept.dfPreset, "before");
}

TEST(FormatInitiation, RoundTripsTheShippedFileByteForByte) {
  const auto shipped = test::ReadFileBytes(test::SourceDir() / "share/Configuration/initiation.ini");
  const InitiationSettings s = ReadText(shipped);
  EXPECT_EQ(test::FirstDifference(shipped, FormatInitiation(s)), "");
  EXPECT_TRUE(s.dfPreserveCF && s.dfDitheredCk && s.dfEnableSep);
  EXPECT_FALSE(s.dfTurboMd || s.dfLargeImageMd || s.dfActiveHF || s.dfLaunchPAPP);
  InitiationSettings empty;
  EXPECT_NE(FormatInitiation(empty).find("\r\n\r\n[Rotate Condition]\r\ndfRotLimit=0\r\n"), std::string::npos);
}

// dfMirror is read and set as a flag is, and written last, after the printer
// application's path.
TEST(Initiation, MirrorIsAFlagWrittenAfterTheOtherKeys) {
  EXPECT_TRUE(ReadText("dfMirror=1\r\n").dfMirror);
  EXPECT_FALSE(ReadText("dfMirror=1\r\ndfMirror=0\r\n").dfMirror);
  EXPECT_TRUE(ReadText("dfMirror=1\r\ndfMirror=yes\r\n").dfMirror);
  InitiationSettings s;
  EXPECT_FALSE(SetInitiationValue(s, "dfMirror", "2"));
  EXPECT_FALSE(s.dfMirror);
  ASSERT_TRUE(SetInitiationValue(s, "dfMirror", "1"));
  s.dfPAPPPath = "/usr/bin/app";
  const std::string text = FormatInitiation(s);
  const std::string tail = "[Printer App Path]\r\ndfPAPPPath=/usr/bin/app\r\n\r\n[Print Mirror]\r\ndfMirror=1\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_TRUE(ReadText(text).dfMirror);
}

// "Save to Default" needs a preset, and a file it cannot write keeps the old one.
TEST(SaveToDefault, NeedsAPresetAndKeepsTheOldFileOnFailure) {
  test::TempDir app;
  const auto path = InitiationPath(app.path());
  test::WriteFileBytes(path, "dfPreset=Old.cfg\r\n");
  RecordingSink sink;
  InitiationSettings s;
  s.dfPreset = "New.cfg";
  EXPECT_FALSE(SaveToDefault(app.path(), s, false, sink));
  EXPECT_EQ(test::ReadFileBytes(path), "dfPreset=Old.cfg\r\n");
  ASSERT_TRUE(SaveToDefault(app.path(), s, true, sink));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Choose a preset file to save.", "Saved!"}));
  EXPECT_EQ(test::ReadFileBytes(path), FormatInitiation(s));
  test::TempDir other;
  std::filesystem::create_directories(InitiationPath(other.path()));  // a folder in its place
  EXPECT_FALSE(SaveToDefault(other.path(), s, true, sink));
  EXPECT_EQ(sink.messages.size(), 2u);
  EXPECT_TRUE(std::filesystem::is_directory(InitiationPath(other.path())));
}

}  // namespace
}  // namespace qm
