#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "settings/initiation.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

InitiationSettings ReadText(const std::string& text, bool* ok = nullptr) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "initiation.ini", text);
  InitiationSettings s;
  const bool read = ReadInitiation(dir / "initiation.ini", s);
  if (ok) *ok = read;
  return s;
}

TEST(ReadInitiation, KeysAreCaseSensitiveAndFlagsTakeOnlyZeroOrOne) {
  const auto s = ReadText(
      "DFPRESET=Upper.cfg\r\ndfPreset=Default.cfg\r\n"
      "dfTurboMd=yes\r\ndfLargeImageMd=1\r\ndfImageUp=1\r\ndfImageUp=0\r\n"
      "dfPAPPPath=/opt/a=b/printer\r\ndfRotLimit=\r\ndfVectorX=300\n");
  EXPECT_EQ(s.dfPreset, "Default.cfg");
  EXPECT_FALSE(s.dfTurboMd);       // "yes" leaves the flag as it was
  EXPECT_TRUE(s.dfLargeImageMd);
  EXPECT_FALSE(s.dfImageUp);       // the last occurrence wins
  EXPECT_EQ(s.dfPAPPPath, "/opt/a");  // cut at the second '='
  EXPECT_EQ(s.dfRotLimit, "");
  EXPECT_EQ(s.dfVectorX, "300");   // LF alone is accepted
}

TEST(ReadInitiation, OnlyTheFirstHundredLinesCount) {
  std::string text;
  for (int line = 1; line <= 120; ++line) {
    text += line == 100 ? "dfPreset=Kept.cfg\r\n" : line == 110 ? "dfPAPPPath=/late\r\n" : "\r\n";
  }
  const auto s = ReadText(text);
  EXPECT_EQ(s.dfPreset, "Kept.cfg");
  EXPECT_EQ(s.dfPAPPPath, "");
}

TEST(ReadInitiation, MissingOrBinaryFilesNeverCrash) {
  InitiationSettings s;
  s.dfPreset = "before";
  EXPECT_FALSE(ReadInitiation("/nonexistent/initiation.ini", s));
  EXPECT_EQ(s.dfPreset, "before");
  bool ok = false;
  std::string binary(1 << 20, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 131) & 0xFF);
  const auto b = ReadText(binary, &ok);
  EXPECT_TRUE(ok);
}

TEST(FormatInitiation, RoundTripsTheShippedFileByteForByte) {
  const auto shipped = test::ReadFileBytes(test::SourceDir() / "share/Configuration/initiation.ini");
  InitiationSettings s;
  test::TempDir dir;
  test::WriteFileBytes(dir / "i.ini", shipped);
  ASSERT_TRUE(ReadInitiation(dir / "i.ini", s));
  EXPECT_EQ(test::FirstDifference(shipped, FormatInitiation(s)), "");
  EXPECT_TRUE(s.dfPreserveCF && s.dfDitheredCk && s.dfEnableSep);
  EXPECT_FALSE(s.dfTurboMd || s.dfLargeImageMd || s.dfActiveHF || s.dfLaunchPAPP);
}

TEST(FormatInitiation, LayoutOfTheSeventeenSections) {
  InitiationSettings s;
  s.dfPreset = "P.cfg";
  s.dfPAPPPath = "/a=b";
  const std::string text = FormatInitiation(s);
  EXPECT_EQ(text.substr(0, 37), "[Default Preset]\r\ndfPreset=P.cfg\r\n\r\n[");
  EXPECT_NE(text.find("\r\n\r\n[Rotate Condition]\r\ndfRotLimit=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Vector X]\r\ndfVectorX=\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Auto Acitve Hotfolder]\r\ndfActiveHF=0\r\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("[Printer App Path]\r\ndfPAPPPath=/a=b\r\n"));
  // Saved whole, read back up to the '=' of the path.
  test::TempDir dir;
  test::WriteFileBytes(dir / "i.ini", text);
  InitiationSettings back;
  ReadInitiation(dir / "i.ini", back);
  EXPECT_EQ(back.dfPAPPPath, "/a");
  EXPECT_EQ(back.dfRotLimit, "0");
}

TEST(SaveToDefault, NeedsAPresetAndKeepsTheOldFileOnFailure) {
  test::TempDir app;
  std::filesystem::create_directories(app / "Configuration");
  const auto path = InitiationPath(app.path());
  test::WriteFileBytes(path, "dfPreset=Old.cfg\r\n");
  RecordingSink sink;
  InitiationSettings s;
  s.dfPreset = "New.cfg";
  EXPECT_FALSE(SaveToDefault(app.path(), s, false, sink));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Choose a preset file to save."}));
  EXPECT_EQ(test::ReadFileBytes(path), "dfPreset=Old.cfg\r\n");

  sink.messages.clear();
  ASSERT_TRUE(SaveToDefault(app.path(), s, true, sink));
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Saved!"}));
  EXPECT_EQ(test::ReadFileBytes(path), FormatInitiation(s));

  // A file that cannot be written keeps the old one and shows nothing.
  test::TempDir other;
  std::filesystem::create_directories(InitiationPath(other.path()));  // a folder in its place
  sink.messages.clear();
  EXPECT_FALSE(SaveToDefault(other.path(), s, true, sink));
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_TRUE(std::filesystem::is_directory(InitiationPath(other.path())));
}

}  // namespace
}  // namespace qm
