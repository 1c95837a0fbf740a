// The tool command lines against their quoted forms, and the argument vectors
// that are really executed (no quote characters inside an argument).
#include "separation/tool_commands.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

const std::filesystem::path kApp = "/app/";

ActiveSetting IccSetting() {
  ActiveSetting s;
  s.presetName = "Default";
  s.xResolution = "720";
  s.yResolution = "360";
  s.UseICC = "1";
  s.OverrideICC = "false";
  s.BlackPtComp = "1";
  s.KPreserve = "0";
  s.intentName = "Perceptual";
  s.gsRenderIntent = "0";
  s.defaultRGBProfile = "rgb.icc";
  s.defaultCMYKProfile = "cmyk.icc";
  s.defaultGrayProfile = "gray.icc";
  s.defaultOutputProfile = "out.icc";
  s.ICCOutputColors = "Cyan,Magenta,Yellow,Black,Orange,Green";
  return s;
}

TEST(IccConversionCommand, QuotedForm) {
  const ActiveSetting s = IccSetting();
  EXPECT_EQ(IccConversionCommand(s, kApp).CommandLine(),
            "\"/app/magick\" \"/app/RipIn/Working/00.tif\" -profile \"/app/Configuration/Default/CMYK/cmyk.icc\" "
            "-intent Perceptual -black-point-compensation -profile \"/app/Configuration/Default/Output/out.icc\" "
            "\"/app/RipIn/Working/00.tif\"");
}

TEST(IccConversionCommand, OverrideRemovesTheEmbeddedProfileFirstAndNoBlackPointWithoutTheFlag) {
  ActiveSetting s = IccSetting();
  s.OverrideICC = "true";
  s.BlackPtComp = "0";
  s.intentName = "Relative";
  const std::vector<std::string> expected = {"/app/magick",
                                             "/app/RipIn/Working/00.tif",
                                             "+profile",
                                             "icm",
                                             "-profile",
                                             "/app/Configuration/Default/CMYK/cmyk.icc",
                                             "-intent",
                                             "Relative",
                                             "-profile",
                                             "/app/Configuration/Default/Output/out.icc",
                                             "/app/RipIn/Working/00.tif"};
  EXPECT_EQ(IccConversionCommand(s, kApp).Argv(), expected);
}

TEST(ChannelExtractionCommand, ListsForZeroToSixExtraChannels) {
  EXPECT_EQ(ChannelList(0), "0;1;2;3");
  EXPECT_EQ(ChannelList(1), "0;1;2;3;Meta0");
  EXPECT_EQ(ChannelList(3), "0;1;2;3;Meta0;Meta1;Meta2");
  EXPECT_EQ(ChannelList(6), "0;1;2;3;Meta0;Meta1;Meta2;Meta3;Meta4;Meta5");
  EXPECT_FALSE(ChannelExtractionCommand(kApp, 7, false).has_value());
  EXPECT_FALSE(ChannelExtractionCommand(kApp, -1, false).has_value());
}

TEST(ChannelExtractionCommand, QuotedFormWithAndWithoutNegate) {
  EXPECT_EQ(ChannelExtractionCommand(kApp, 0, true)->CommandLine(),
            "\"/app/magick\" \"/app/RipIn/Working/00.tif\" -negate -channel-fx \"0;1;2;3\" "
            "\"/app/RipIn/Working/00_%d.tif\"");
  EXPECT_EQ(ChannelExtractionCommand(kApp, 2, false)->CommandLine(),
            "\"/app/magick\" \"/app/RipIn/Working/00.tif\" -channel-fx \"0;1;2;3;Meta0;Meta1\" "
            "\"/app/RipIn/Working/00_%d.tif\"");
  const std::vector<std::string> argv = {"/app/magick", "/app/RipIn/Working/00.tif", "-channel-fx",
                                         "0;1;2;3;Meta0;Meta1", "/app/RipIn/Working/00_%d.tif"};
  EXPECT_EQ(ChannelExtractionCommand(kApp, 2, false)->Argv(), argv);
}

TEST(SpotExtractionCommand, OneToSixSpotsOnly) {
  EXPECT_FALSE(SpotExtractionCommand(kApp, 0).has_value());
  EXPECT_FALSE(SpotExtractionCommand(kApp, 7).has_value());
  EXPECT_EQ(SpotList(1), "Meta0");
  EXPECT_EQ(SpotList(5), "Meta0;Meta1;Meta2;Meta3;Meta4");
  EXPECT_EQ(SpotExtractionCommand(kApp, 6)->CommandLine(),
            "\"/app/magick\" \"/app/RipIn/Working/00.tif\" -channel-fx "
            "\"Meta0;Meta1;Meta2;Meta3;Meta4;Meta5\" \"/app/RipIn/Working/00_S%d.tif\"");
}

TEST(GhostscriptCommand, QuotedFormWithIcc) {
  const ActiveSetting s = IccSetting();
  EXPECT_EQ(GhostscriptCommand(s, kApp, PresetResolution(s), false).CommandLine(),
            "\"/app/bin/gs\" -r720x360 -sDefaultRGBProfile=\"/app/Configuration/Default/RGB/rgb.icc\" "
            "-sDefaultCMYKProfile=\"/app/Configuration/Default/CMYK/cmyk.icc\" "
            "-sDefaultGrayProfile=\"/app/Configuration/Default/Gray/gray.icc\" "
            "-sICCOutputColors=\"Cyan,Magenta,Yellow,Black,Orange,Green\" "
            "-sOutputICCProfile=\"/app/Configuration/Default/Output/out.icc\" -dRenderIntent=0 "
            "-dOverrideICC=false -dBlackPtComp=1 -dKPreserve=0 -q -sDEVICE=tiffsep -o "
            "\"/app/RipIn/Working/00_.tif\" \"/app/RipIn/Working/00.pdf\"");
}

TEST(GhostscriptCommand, ArgumentsCarryNoQuoteCharacters) {
  const ActiveSetting s = IccSetting();
  for (const std::string& a : GhostscriptCommand(s, kApp, "720x360", false).Argv()) {
    EXPECT_EQ(a.find('"'), std::string::npos) << a;
  }
  EXPECT_EQ(GhostscriptCommand(s, kApp, "720x360", false).Argv()[2],
            "-sDefaultRGBProfile=/app/Configuration/Default/RGB/rgb.icc");
}

TEST(GhostscriptCommand, OptimizedForPdfTakesTheSheetfedProfileForRgb) {
  ActiveSetting s = IccSetting();
  s.OverrideICC = "true";
  const auto argv = GhostscriptCommand(s, kApp, "720x360", true).Argv();
  EXPECT_EQ(argv[2], "-sDefaultRGBProfile=/app/ICC/CMYK/USSheetfedYellow.icc");
  EXPECT_EQ(argv[8], "-dOverrideICC=true");
}

TEST(GhostscriptCommand, WithoutIccNoProfileOptionsAtAll) {
  ActiveSetting s = IccSetting();
  s.UseICC = "0";
  EXPECT_EQ(GhostscriptCommand(s, kApp, PresetResolution(s), false).CommandLine(),
            "\"/app/bin/gs\" -r720x360 -q -sDEVICE=tiffsep -o \"/app/RipIn/Working/00_.tif\" "
            "\"/app/RipIn/Working/00.pdf\"");
}

TEST(GhostscriptCommand, ResolutionGoesAsTyped) {
  ActiveSetting s = IccSetting();
  s.xResolution = "600.5";
  EXPECT_EQ(PresetResolution(s), "600.5x360");
  EXPECT_EQ(GhostscriptCommand(s, kApp, PresetResolution(s), false).Argv()[1], "-r600.5x360");
}

TEST(VectorResolution, PrintJobTakesTheVectorFieldsWithFallback) {
  const ActiveSetting s = IccSetting();
  EXPECT_EQ(VectorResolution(s, "300", "150"), "300x150");
  EXPECT_EQ(VectorResolution(s, "", "150"), "720x150");
  EXPECT_EQ(VectorResolution(s, "300", ""), "300x360");
  EXPECT_EQ(VectorResolution(s, "", ""), "720x360");
}

TEST(RunTool, LogsTheCommandLineAndTheExitStatus) {
  struct LogHost : NullJobHost {
    std::vector<std::string> lines;
    void Log(std::string_view line) override { lines.emplace_back(line); }
  } host;
  ToolCommand c;
  c.arguments = {{"/bin/sh", ToolArgument::Quote::Whole}, {"-c"}, {"echo; echo ' bad input ' >&2; echo more; exit 3"}};
  const Status status = RunTool(c, host);
  ASSERT_GE(host.lines.size(), 2u);
  EXPECT_EQ(host.lines[0], "\"/bin/sh\" -c echo; echo ' bad input ' >&2; echo more; exit 3");
  EXPECT_EQ(host.lines[1], "exit status 3");
  // The cause names the tool, its status and its first line of output.
  EXPECT_EQ(status.cause(), "sh exited with status 3: bad input");
  c.arguments = {{"/nonexistent/gs"}};
  EXPECT_EQ(RunTool(c, host).cause(), "cannot start /nonexistent/gs: No such file or directory");
}

}  // namespace
}  // namespace qm
