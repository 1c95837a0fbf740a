// The Print command and job end to end on small samples (TIF/JPG route
// through our magick tool, PDF route through Ghostscript).
#include "output/print_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "output/commands.h"
#include "output/job_support.h"
#include "output/prn_reader.h"
#include "separation/commands.h"
#include "separation/split_render.h"
#include "tests/output_jobs/jobs_test_support.h"

namespace qm {
namespace {

struct PrintJobTest : test::JobFixture, ::testing::Test {
  PrintJobTest() {
    setting = test::AppliedSetting(72);
    setting.UseICC = "0";
  }
  fs::path Item(const std::string& item) {
    const fs::path folder = CustomFilesDir() / item;
    CreateFolder(folder);
    return folder;
  }
  std::optional<PrnFileHeader> Header(const fs::path& prn) {
    auto reader = PrnReader::Open(prn);
    if (!reader || !reader->layoutOk()) return std::nullopt;
    return reader->header();
  }
};

TEST_F(PrintJobTest, EveryFileOfTheItemUntilTheFirstFailure) {
  const fs::path folder = Item("three");
  fs::copy_file(test::SamplesDir() / "flowers_rgb.jpg", folder / "a.jpg");
  test::WriteFileBytes(folder / "b.jpg", "not a picture");
  fs::copy_file(test::SamplesDir() / "flowers_rgb.jpg", folder / "c.jpg");
  init.dfPreserveCF = true;
  EXPECT_FALSE(PrintCommand(ctx, "three"));
  EXPECT_EQ(host.messages, std::vector<std::string>{kFailPrint});
  EXPECT_TRUE(Header(UserPrnDir() / "a.prn"));
  EXPECT_FALSE(fs::exists(UserPrnDir() / "b.prn"));
  EXPECT_FALSE(fs::exists(UserPrnDir() / "c.prn")) << "the third file is not printed";
  EXPECT_EQ(host.refreshes, 0);

  // With a sound second file all three print, each under its own name.
  DeleteFile(folder / "b.jpg");
  fs::copy_file(test::SamplesDir() / "PHOTO.JPG", folder / "b.JPG");
  host.messages.clear();
  ASSERT_TRUE(PrintCommand(ctx, "three")) << ::testing::PrintToString(host.logs);
  for (const char* name : {"a.prn", "b.prn", "c.prn"}) {
    const auto header = Header(UserPrnDir() / name);
    ASSERT_TRUE(header) << name;
    EXPECT_EQ(header->channels, 4u);
  }
  // PHOTO.JPG: 341 columns at 96 dpi, resampled to 72 dpi.
  EXPECT_EQ(Header(UserPrnDir() / "b.prn")->width, 256u);
  EXPECT_EQ(host.refreshes, 1);
  EXPECT_EQ(host.statuses.back(), "1047:None");
}

TEST_F(PrintJobTest, PreservedKeepsTheImportedFile) {
  for (bool preserve : {true, false}) {
    const fs::path folder = Item("photo");
    fs::copy_file(test::SamplesDir() / "flowers_rgb.jpg", folder / "photo.jpg", fs::copy_options::overwrite_existing);
    init.dfPreserveCF = preserve;
    ASSERT_TRUE(PrintCommand(ctx, "photo")) << ::testing::PrintToString(host.logs);
    EXPECT_EQ(fs::exists(folder / "photo.jpg"), preserve);
    EXPECT_TRUE(Header(UserPrnDir() / "photo.prn"));
  }
}

TEST_F(PrintJobTest, NoProcessSlotFilesFailsInsteadOfAnEmptyFile) {
  const fs::path folder = Item("photo");
  fs::copy_file(test::SamplesDir() / "flowers_rgb.jpg", folder / "photo.jpg");
  setting.PRNSequence = ",,,,,,,,,,,,S0";
  EXPECT_FALSE(PrintCommand(ctx, "photo"));
  EXPECT_EQ(host.messages, std::vector<std::string>{kFailPrint});
  EXPECT_TRUE(ListFolder(UserPrnDir(), "*.*").empty());
}

// A job that fails after staging gives the artwork back byte for byte, also
// when its stages replace the staged name (a TIF is staged as 00.tif, the
// name of the CMYK work image); a printed file leaves the folder.
TEST_F(PrintJobTest, AFailedJobGivesItsArtworkBack) {
  const fs::path art = Item("art") / "art.tif";
  imaging::WritePlane(art, test::TonePlane(30, 20, 72), 16);
  const std::string bytes = test::ReadFileBytes(art);
  init.dfPreserveCF = false;
  setting.PRNSequence = ",,,,,,,,,,,,S0";
  EXPECT_FALSE(PrintCommand(ctx, "art"));
  EXPECT_EQ(test::ReadFileBytes(art), bytes);
  setting.PRNSequence = "0,1,2,3";
  EXPECT_TRUE(PrintCommand(ctx, "art")) << ::testing::PrintToString(host.causes);
  EXPECT_FALSE(fs::exists(art));
}

TEST_F(PrintJobTest, SettingNotApplied) {
  const fs::path folder = Item("photo");
  fs::copy_file(test::SamplesDir() / "flowers_rgb.jpg", folder / "photo.jpg");
  setting.settingApplied = 0;
  EXPECT_FALSE(PrintCommand(ctx, "photo"));
  EXPECT_EQ(host.messages, (std::vector<std::string>{kSettingWrong, kFailPrint}));
  EXPECT_TRUE(fs::exists(folder / "photo.jpg"));
}

TEST_F(PrintJobTest, NotAnImageListItem) {
  EXPECT_FALSE(PrintCommand(ctx, "nothing"));
  EXPECT_EQ(host.messages, std::vector<std::string>{kChooseImageItem});
}

TEST_F(PrintJobTest, LargeImageModeWinsOverTurbo) {
  InitiationSettings i;
  EXPECT_EQ(ChosenRasterMode(i), RasterMode::Sequential);
  i.dfTurboMd = true;
  EXPECT_EQ(ChosenRasterMode(i), RasterMode::Turbo);
  i.dfLargeImageMd = true;
  EXPECT_EQ(ChosenRasterMode(i), RasterMode::LargeImage);
}

// A PDF is measured on its separated cyan plane: the Tcl logo is 1.66 inches
// wide, so a limit of 1 inch turns it and a limit of 2 does not.
TEST_F(PrintJobTest, PdfRotationTestOnTheCyanPlane) {
  const fs::path folder = Item("logo");
  init.dfPreserveCF = true;
  init.dfImageRt = true;
  setting.PdfSpotColorName = "TCL RED";
  fs::copy_file(test::SamplesDir() / "tcl_logo.pdf", folder / "logo.pdf");
  for (const char* limit : {"1", "2"}) {
    init.dfRotLimit = limit;
    ASSERT_TRUE(PrintCommand(ctx, "logo")) << ::testing::PrintToString(host.logs);
    const auto header = Header(UserPrnDir() / "logo.prn");
    ASSERT_TRUE(header);
    EXPECT_EQ(header->channels, 5u);
    const bool turned = std::string(limit) == "1";
    EXPECT_EQ(header->width > header->height, turned) << header->width << " x " << header->height;
  }
}

// A page split into Ghostscript bands by a small test plan (300 x 225 pixels
// at 150 dpi, 3 bands): every raster mode and the Separate job take the same
// planes, so sequential and turbo write one file, large-image mode its
// layout, and a Compose of the dithered Separate the Print's bytes.
TEST_F(PrintJobTest, EveryModeTakesTheSamePlanesOfASplitPage) {
  SetBandPlanForTests(25000, 64);
  setting = test::AppliedSetting(150);
  setting.UseICC = "0";
  setting.PdfSpotColorName = "White,Varnish";
  init.dfPreserveCF = true;
  fs::copy_file(test::SamplesDir() / "spot_white_varnish.pdf", Item("label") / "label.pdf");
  std::map<std::string, std::string> prn;
  for (auto [mode, turbo, large] : {std::tuple{"sequential", false, false}, {"turbo", true, false},
                                    {"large-image", false, true}}) {
    init.dfTurboMd = turbo;
    init.dfLargeImageMd = large;
    ASSERT_TRUE(PrintCommand(ctx, "label")) << ::testing::PrintToString(host.logs);
    prn[mode] = test::ReadFileBytes(UserPrnDir() / "label.prn");
  }
  EXPECT_NE(std::find_if(host.logs.begin(), host.logs.end(),
                         [](const std::string& l) { return l.find("in 3 bands") != std::string::npos; }),
            host.logs.end());
  EXPECT_EQ(test::FirstDifference(prn["sequential"], prn["turbo"]), "");
  EXPECT_EQ(prn["large-image"].size(), prn["sequential"].size());
  EXPECT_EQ(prn["large-image"].substr(0, 48), prn["sequential"].substr(0, 48));
  init.dfDitheredCk = true;
  ASSERT_TRUE(SeparateCommand(ctx, "label")) << ::testing::PrintToString(host.logs);
  ASSERT_TRUE(ComposeCommand(ctx, "label", "label_0.tiff")) << ::testing::PrintToString(host.logs);
  EXPECT_EQ(test::FirstDifference(prn["sequential"], test::ReadFileBytes(UserPrnDir() / "label.prn")), "");
  SetBandPlanForTests(0, 0);
}

}  // namespace
}  // namespace qm
