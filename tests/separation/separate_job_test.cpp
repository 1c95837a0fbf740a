// The Separate command end to end: the command-line program on a scratch
// AppDir, real Ghostscript and our magick, the sample artwork at 72 dpi.
#include <gtest/gtest.h>

#include <algorithm>

#include "halftone/levels.h"
#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"
#include "platform/job_lock.h"
#include "platform/platform.h"
#include "tests/separation/separation_test_support.h"

namespace qm::test {
namespace {

using Names = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool HaveMagick() { return fs::exists(BuiltAppDir() / "magick"); }

// Fraction of a plane's pixels at 0 (full ink in a continuous-tone plane).
double FullInkShare(const fs::path& path) {
  const imaging::Plane p = imaging::ReadPlane(path);
  const auto n = std::count_if(p.pixels.begin(), p.pixels.end(), [](float v) { return v < 1.0f; });
  return static_cast<double>(n) / static_cast<double>(p.pixels.size());
}

class SeparateJob : public ::testing::Test {
 protected:
  void SetUp() override { WriteTestPreset(app.path(), {}); }
  ScratchAppDir app;
};

TEST_F(SeparateJob, NamedSpotColoursBecomeS0AndS1) {
  ImportSample(app.path(), "spot_white_varnish.pdf");
  const ProcessResult r = RunSeparate(app.path(), "spot_white_varnish", {"dfDitheredCk=0"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "spot 2")) << r.output;
  EXPECT_EQ(Filed(app.path(), "spot_white_varnish"),
            (Names{"spot_white_varnish_0.tif", "spot_white_varnish_1.tif", "spot_white_varnish_2.tif",
                   "spot_white_varnish_3.tif", "spot_white_varnish_L0.tif", "spot_white_varnish_L1.tif",
                   "spot_white_varnish_S0.tif", "spot_white_varnish_S1.tif"}));
  // Light-ink copies are the process planes they come from.
  const fs::path dir = app / "RipIn/Separation/spot_white_varnish";
  EXPECT_EQ(ReadFileBytes(dir / "spot_white_varnish_L0.tif"), ReadFileBytes(dir / "spot_white_varnish_0.tif"));
  EXPECT_EQ(ReadFileBytes(dir / "spot_white_varnish_L1.tif"), ReadFileBytes(dir / "spot_white_varnish_1.tif"));
  // The Ghostscript command as quoted, with the preset's resolution as typed.
  EXPECT_TRUE(Contains(r.output, "log: \"" + (app / "bin/gs").string() + "\" -r72x72 -sDefaultRGBProfile=\"" +
                                     (app / "Configuration/Test/RGB/default_rgb.icc").string() + "\""))
      << r.output;
  // The source stays where it was ("Preserved" is on in the default start-up file).
  EXPECT_TRUE(fs::exists(app / "RipIn/CustomFiles/spot_white_varnish/spot_white_varnish.pdf"));
}

// A spot the list does not name has no spot channel: it is filed under its
// separator's name and the job says that it is not printed.
TEST_F(SeparateJob, UnnamedSpotKeepsItsSeparatorNameAndIsWarned) {
  ImportSample(app.path(), "tcl_logo.pdf");
  const ProcessResult r = RunSeparate(app.path(), "tcl_logo", {"dfDitheredCk=0"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "multicolor 0, spot 0")) << r.output;
  EXPECT_TRUE(Contains(r.output, "Warning: spot colour \"TCL RED\" is not printed: PdfSpotColorName does not name it\n"))
      << r.output;
  const Names filed = Filed(app.path(), "tcl_logo");
  EXPECT_NE(std::find(filed.begin(), filed.end(), "tcl_logo_(TCL RED).tif"), filed.end());
  EXPECT_EQ(std::find(filed.begin(), filed.end(), "tcl_logo_S0.tif"), filed.end());
}

TEST_F(SeparateJob, SixInkOutputProfileGivesTwoMulticolorPlanes) {
  WriteTestPreset(app.path(), {{"defaultOutputProfile", "cmykog_6clr.icc"},
                               {"ICCOutputColors", "Cyan,Magenta,Yellow,Black,Orange,Green"},
                               {"PRNSequence", "0,1,2,3,L0,L1,L2,L3,M0,M1"}});
  fs::copy_file(SamplesDir() / "cmykog_6clr.icc", app / "Configuration/Test/Output/cmykog_6clr.icc");
  ImportSample(app.path(), "gs9cm_mixed_rgb_cmyk.pdf");
  const ProcessResult r = RunSeparate(app.path(), "gs9cm_mixed_rgb_cmyk", {});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "multicolor 2, spot 0")) << r.output;
  EXPECT_TRUE(Contains(r.output, "-sICCOutputColors=\"Cyan,Magenta,Yellow,Black,Orange,Green\"")) << r.output;
  const Names filed = Filed(app.path(), "gs9cm_mixed_rgb_cmyk");
  EXPECT_EQ(filed, (Names{"gs9cm_mixed_rgb_cmyk_0.tiff", "gs9cm_mixed_rgb_cmyk_1.tiff",
                          "gs9cm_mixed_rgb_cmyk_2.tiff", "gs9cm_mixed_rgb_cmyk_3.tiff",
                          "gs9cm_mixed_rgb_cmyk_L0.tiff", "gs9cm_mixed_rgb_cmyk_L1.tiff",
                          "gs9cm_mixed_rgb_cmyk_M0.tiff", "gs9cm_mixed_rgb_cmyk_M1.tiff"}));
}

TEST_F(SeparateJob, JpegTakesTheTifRouteWithNoExtraChannels) {
  if (!HaveMagick()) GTEST_SKIP() << "magick not built";
  ImportSample(app.path(), "flowers_rgb.jpg");
  const ProcessResult r = RunSeparate(app.path(), "flowers_rgb", {"dfDitheredCk=0"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  const std::string w = (app / "RipIn/Working/").string();
  EXPECT_TRUE(Contains(r.output, "log: \"" + (app / "magick").string() + "\" \"" + w +
                                     "00.tif\" -negate -channel-fx \"0;1;2;3\" \"" + w + "00_%d.tif\""))
      << r.output;
  EXPECT_TRUE(Contains(r.output, "-profile")) << "UseICC converts the work image first";
  EXPECT_FALSE(Contains(r.output, "bin/gs")) << r.output;
  EXPECT_EQ(Filed(app.path(), "flowers_rgb"),
            (Names{"flowers_rgb_0.tif", "flowers_rgb_1.tif", "flowers_rgb_2.tif", "flowers_rgb_3.tif",
                   "flowers_rgb_L0.tif", "flowers_rgb_L1.tif"}));
}

TEST_F(SeparateJob, CmykTiffWithTwoExtraChannelsGivesTwoSpotPlanes) {
  if (!HaveMagick()) GTEST_SKIP() << "magick not built";
  ImportSample(app.path(), "tcl_logo_cmyk_2extra.tif");
  const ProcessResult r = RunSeparate(app.path(), "tcl_logo_cmyk_2extra", {"dfDitheredCk=0"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "-negate -channel-fx \"0;1;2;3;Meta0;Meta1\"")) << r.output;
  const fs::path dir = app / "RipIn/Separation/tcl_logo_cmyk_2extra";
  ASSERT_TRUE(fs::exists(dir / "tcl_logo_cmyk_2extra_S0.tif"));
  ASSERT_TRUE(fs::exists(dir / "tcl_logo_cmyk_2extra_S1.tif"));
  // The white underbase covers 89 % of the image; like the process planes,
  // an undithered spot plane holds 0 where the ink is full.
  EXPECT_NEAR(FullInkShare(dir / "tcl_logo_cmyk_2extra_S0.tif"), 0.89, 0.02);
}

TEST_F(SeparateJob, DitheredSpotPlanesOfATiffPrintWhereTheirInkIs) {
  if (!HaveMagick()) GTEST_SKIP() << "magick not built";
  WriteTestPreset(app.path(), {{"PRNSequence", "0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1"}});
  ImportSample(app.path(), "tcl_logo_cmyk_2extra.tif");
  const ProcessResult r = RunSeparate(app.path(), "tcl_logo_cmyk_2extra", {"dfDitheredCk=1"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "00.tif\" -channel-fx \"0;1;2;3;Meta0;Meta1\"")) << r.output;
  const fs::path dir = app / "RipIn/Separation/tcl_logo_cmyk_2extra";
  // The underbase is full ink on 89 % of the pixels: a full dot there (0 in
  // the written slot file), none elsewhere.
  EXPECT_NEAR(FullInkShare(dir / "tcl_logo_cmyk_2extra_S0.tiff"), 0.89, 0.02);
  EXPECT_NEAR(FullInkShare(dir / "tcl_logo_cmyk_2extra_S1.tiff"), 0.80, 0.03);
}

TEST_F(SeparateJob, AlphaIsNoSpotInk) {
  if (!HaveMagick()) GTEST_SKIP() << "magick not built";
  imaging::TiffRaster raster;
  raster.width = raster.height = 4;
  raster.photometric = 2;  // RGB
  raster.samplesPerPixel = 4;
  raster.extraSamples = {2};  // unassociated alpha
  raster.data.assign(raster.RowBytes() * raster.height, 128);
  fs::create_directories(app / "RipIn/CustomFiles/rgba");
  imaging::WriteTiffRaster(app / "RipIn/CustomFiles/rgba/rgba.tif", raster);
  const ProcessResult r = RunSeparate(app.path(), "rgba", {"dfDitheredCk=0"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "-channel-fx \"0;1;2;3\"")) << r.output;
  EXPECT_TRUE(Contains(r.output, "spot 0")) << r.output;
  EXPECT_EQ(Filed(app.path(), "rgba").size(), 6u);  // 0..3, L0, L1
}

TEST_F(SeparateJob, PdfForMulticolorSendsATiffThroughGhostscript) {
  if (!HaveMagick()) GTEST_SKIP() << "magick not built";
  ImportSample(app.path(), "tcl_logo_cmyk_2extra.tif");
  const ProcessResult r = RunSeparate(app.path(), "tcl_logo_cmyk_2extra", {"dfDitheredCk=0", "dfTifToPdf=1"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  const std::string w = (app / "RipIn/Working/").string();
  EXPECT_TRUE(Contains(r.output, "-sDEVICE=tiffsep -o \"" + w + "00_.tif\" \"" + w + "00.pdf\"")) << r.output;
  EXPECT_TRUE(Contains(r.output, "00.tif\" -channel-fx \"Meta0;Meta1\" \"" + w + "00_S%d.tif\"")) << r.output;
  EXPECT_TRUE(Contains(r.output, "spot 2")) << r.output;
  const fs::path dir = app / "RipIn/Separation/tcl_logo_cmyk_2extra";
  ASSERT_TRUE(fs::exists(dir / "tcl_logo_cmyk_2extra_0.tif"));
  // Same polarity as Ghostscript's planes.
  EXPECT_NEAR(FullInkShare(dir / "tcl_logo_cmyk_2extra_S0.tif"), 0.89, 0.02);
}

TEST_F(SeparateJob, LightAndLightLightBlackAreBothCopiesOfBlack) {
  WriteTestPreset(app.path(), {{"UseLk", "1"}, {"UseLlk", "1"}});
  ImportSample(app.path(), "tcl_logo.pdf");
  const ProcessResult r = RunSeparate(app.path(), "tcl_logo", {"dfDitheredCk=0"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  const fs::path dir = app / "RipIn/Separation/tcl_logo";
  const std::string black = ReadFileBytes(dir / "tcl_logo_3.tif");
  ASSERT_FALSE(black.empty());
  EXPECT_EQ(ReadFileBytes(dir / "tcl_logo_L2.tif"), black);
  EXPECT_EQ(ReadFileBytes(dir / "tcl_logo_L3.tif"), black);
}

TEST_F(SeparateJob, DitheredPlanesAreSixteenBitSlotFilesHoldingExactDotLevels) {
  ImportSample(app.path(), "spot_white_varnish.pdf");
  const ProcessResult r = RunSeparate(app.path(), "spot_white_varnish", {"dfDitheredCk=1"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  // PRNSequence 0,1,2,3,L0,L1: the spot planes have no slot and are not filed.
  const Names filed = Filed(app.path(), "spot_white_varnish");
  EXPECT_EQ(filed, (Names{"spot_white_varnish_0.tiff", "spot_white_varnish_1.tiff", "spot_white_varnish_2.tiff",
                          "spot_white_varnish_3.tiff", "spot_white_varnish_L0.tiff",
                          "spot_white_varnish_L1.tiff"}));
  const DotLevels levels = DeriveDotLevels(16384, 32768, 2, 111);
  const std::vector<float> allowed = {0.0f, static_cast<float>(65535 - levels.middle),
                                      static_cast<float>(65535 - levels.large), 65535.0f};
  for (const std::string& name : filed) {
    const imaging::Plane p = imaging::ReadPlane(app / "RipIn/Separation/spot_white_varnish" / name);
    EXPECT_EQ(p.depth, 16) << name;
    EXPECT_EQ(p.width, 144u) << name;  // 2 in at 72 dpi
    for (float v : p.pixels) {
      ASSERT_NE(std::find(allowed.begin(), allowed.end(), v), allowed.end()) << name << ": " << v;
    }
  }
}

TEST_F(SeparateJob, OneAndEighteenThreadsWriteTheSameBytes) {
  WriteTestPreset(app.path(), {{"PRNSequence", "0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1"}});
  ImportSample(app.path(), "spot_white_varnish.pdf");
  ASSERT_EQ(RunSeparate(app.path(), "spot_white_varnish", {"dfDitheredCk=1", "dfTurboMd=0"}).exitStatus, 0);
  const fs::path dir = app / "RipIn/Separation/spot_white_varnish";
  const Names single = Filed(app.path(), "spot_white_varnish");
  std::vector<std::string> bytes;
  for (const std::string& n : single) bytes.push_back(ReadFileBytes(dir / n));
  fs::remove_all(dir);

  const ProcessResult r = RunSeparate(app.path(), "spot_white_varnish", {"dfDitheredCk=1", "dfTurboMd=1"});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "per-plane processing: 18 thread(s)")) << r.output;
  ASSERT_EQ(Filed(app.path(), "spot_white_varnish"), single);
  EXPECT_EQ(single.size(), 8u);  // 0..3, L0, L1, S0, S1
  for (std::size_t i = 0; i < single.size(); ++i) {
    EXPECT_EQ(FirstDifference(bytes[i], ReadFileBytes(dir / single[i])), "") << single[i];
  }
}

TEST_F(SeparateJob, WithoutPreservedTheSourceLeavesTheItemFolder) {
  ImportSample(app.path(), "tcl_logo.pdf");
  ASSERT_EQ(RunSeparate(app.path(), "tcl_logo", {"dfDitheredCk=0", "dfPreserveCF=0"}).exitStatus, 0);
  EXPECT_FALSE(fs::exists(app / "RipIn/CustomFiles/tcl_logo/tcl_logo.pdf"));
  EXPECT_FALSE(Filed(app.path(), "tcl_logo").empty());
}

TEST_F(SeparateJob, CorruptFileFailsCleanlyAndEarlierImagesStayFiled) {
  ImportSample(app.path(), "tcl_logo.pdf", "mix.pdf");
  WriteFileBytes(app / "RipIn/CustomFiles/mix/mix2.tif", "II*\0garbage that is no TIFF");
  const ProcessResult r = RunSeparate(app.path(), "mix", {"dfDitheredCk=0"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(Contains(r.output, "Fail to Separate !\n")) << r.output;
  const Names filed = Filed(app.path(), "mix");
  EXPECT_NE(std::find(filed.begin(), filed.end(), "mix_0.tif"), filed.end());
  EXPECT_TRUE(std::none_of(filed.begin(), filed.end(), [](const std::string& n) { return n.rfind("mix2", 0) == 0; }));
}

TEST_F(SeparateJob, CorruptPdfProducesNoProcessPlanesAndFails) {
  WriteFileBytes(app / "RipIn/CustomFiles/broken/broken.pdf", "%PDF-1.4\nthis is not a PDF body\n");
  const ProcessResult r = RunSeparate(app.path(), "broken", {"dfDitheredCk=1"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(Contains(r.output, "Fail to Separate !")) << r.output;
  EXPECT_TRUE(Filed(app.path(), "broken").empty());
}

TEST_F(SeparateJob, MoreThanSixExtraChannelsFail) {
  imaging::TiffRaster raster;
  raster.width = raster.height = 4;
  raster.photometric = 5;  // separated
  raster.samplesPerPixel = 11;
  raster.extraSamples.assign(7, 0);
  raster.data.assign(raster.RowBytes() * raster.height, 0);
  fs::create_directories(app / "RipIn/CustomFiles/seven");
  imaging::WriteTiffRaster(app / "RipIn/CustomFiles/seven/seven.tif", raster);
  const ProcessResult r = RunSeparate(app.path(), "seven", {"dfDitheredCk=0"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(Contains(r.output, "Fail to Separate !")) << r.output;
  EXPECT_TRUE(Contains(r.output, "7 extra channels")) << r.output;
}

TEST_F(SeparateJob, UnknownItemAsksForAnImageListItem) {
  const ProcessResult r = RunSeparate(app.path(), "nothing", {});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.output, "Choose an item from Image List!\n");
}

TEST_F(SeparateJob, UnappliedPresetFailsWithBothMessages) {
  ImportSample(app.path(), "tcl_logo.pdf");
  WriteTestPreset(app.path(), {{"PRNSequence", ""}});
  const ProcessResult r = RunSeparate(app.path(), "tcl_logo", {});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(Contains(r.output, "Something is wrong in Setting !\nFail to Separate !\n")) << r.output;
}

TEST_F(SeparateJob, SecondJobOnTheSameAppDirIsRefused) {
  ImportSample(app.path(), "tcl_logo.pdf");
  SetAppDirOverride(app.path());
  JobLock held;
  ASSERT_TRUE(held.Held());
  const ProcessResult r = RunSeparate(app.path(), "tcl_logo", {});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(Contains(r.output, "Another job is using the working folder!\n")) << r.output;
  EXPECT_TRUE(!fs::exists(app / "RipIn/Working") || fs::is_empty(app / "RipIn/Working"));
}

}  // namespace
}  // namespace qm::test
