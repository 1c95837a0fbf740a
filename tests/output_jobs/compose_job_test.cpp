// The Compose job: moves, slot assignment, rip step, counts and packing.
#include "output/compose_job.h"

#include <gtest/gtest.h>

#include "halftone/halftone.h"
#include "output/commands.h"
#include "output/job_support.h"
#include "output/prn_file.h"
#include "output/print_raster.h"
#include "output/prn_reader.h"
#include "tests/output_jobs/jobs_test_support.h"

namespace qm {
namespace {

using test::JobFixture;

struct ComposeTest : JobFixture, ::testing::Test {
  fs::path Folder(const std::string& item) {
    CreateFolder(CustomFilesDir() / item);
    const fs::path folder = SeparationDir() / item;
    CreateFolder(folder);
    return folder;
  }
  // Dots per position of a PRN file: counts of codes 00, 01, 10, 11.
  std::vector<PrnDotCounts> Dots(const fs::path& prn) {
    auto reader = PrnReader::Open(prn);
    EXPECT_TRUE(reader);
    if (!reader) return {};
    auto counts = CountPrnDots(*reader);
    EXPECT_TRUE(counts);
    return counts ? *counts : std::vector<PrnDotCounts>{};
  }
};

// Undithered planes hold 0 for full ink, as the separator writes them.
constexpr float kFullInkStored = 0.0f, kNoInkStored = 65535.0f;

TEST_F(ComposeTest, SequenceThreeTwoOneZeroPutsBlackAtPositionZero) {
  const fs::path folder = Folder("my_photo");
  for (int k = 0; k < 4; ++k) {
    imaging::WritePlane(folder / ("my_photo_" + std::to_string(k) + ".tif"),
                        test::SolidPlane(20, 10, 100, k == 3 ? kFullInkStored : kNoInkStored), 16);
  }
  setting.PRNSequence = "3,2,1,0";
  ASSERT_TRUE(ComposeCommand(ctx, "my_photo", "my_photo_2.tif")) << ::testing::PrintToString(host.logs);
  EXPECT_TRUE(host.messages.empty());
  const fs::path prn = UserPrnDir() / "my_photo.prn";
  const auto dots = Dots(prn);
  ASSERT_EQ(dots.size(), 4u);
  EXPECT_EQ(dots[0][0], 0u) << "black is solid at position 0";
  EXPECT_EQ(dots[3][0], 200u) << "cyan is blank at position 3";
  // The planes left the separation folder and stay halftoned in the Working folder.
  EXPECT_TRUE(ListFolder(folder, "*.*").empty());
  EXPECT_TRUE(fs::exists(WorkingDir() / "00_0.tiff"));
  EXPECT_EQ(host.refreshes, 1);
  EXPECT_EQ(host.statuses.back(), "1047:None");
  EXPECT_EQ(host.progress.back(), "1043:0");
}

// Multicolour and spot channels reach up to the last slot that holds a
// plane, as in the Print job: a slot without a plane before it is a channel
// without dots (a Varnish listed second prints as S1 after a blank S0).
TEST_F(ComposeTest, GapsInTheMulticolourAndSpotSlotsAreBlankChannels) {
  const fs::path folder = Folder("photo");
  init.dfDitheredCk = true;
  for (const char* code : {"0", "1", "2", "3", "M1", "S1"}) {
    imaging::WritePlane(folder / ("photo_" + std::string(code) + ".tiff"), test::SolidPlane(8, 4, 100, 0), 16);
  }
  ASSERT_TRUE(ComposeCommand(ctx, "photo", "photo_0.tiff")) << ::testing::PrintToString(host.causes);
  const auto dots = Dots(UserPrnDir() / "photo.prn");
  ASSERT_EQ(dots.size(), 8u);  // 0..3, M0, M1, S0, S1
  for (std::size_t p = 0; p < dots.size(); ++p) EXPECT_EQ(dots[p][0] == 32u, p == 4 || p == 6) << p;
}

// The planes of "ph_x" also begin with "ph_": composing ph takes none of them.
TEST_F(ComposeTest, TakesOnlyThePlanesOfItsOwnBase) {
  const fs::path folder = Folder("ph");
  init.dfDitheredCk = true;
  for (const std::string base : {"ph", "ph_x"}) {
    for (int k = 0; k < 4; ++k) {
      imaging::WritePlane(folder / (base + "_" + std::to_string(k) + ".tiff"),
                          test::SolidPlane(8, 4, 100, base == "ph" ? 65535 : 0), 16);
    }
  }
  test::WriteFileBytes(folder / "ph_(Gold).tiff", "a plane of no channel");
  ASSERT_TRUE(ComposeCommand(ctx, "ph", "ph_0.tiff")) << ::testing::PrintToString(host.causes);
  for (const auto& d : Dots(UserPrnDir() / "ph.prn")) EXPECT_EQ(d[0], 32u) << "ph's own planes are blank";
  EXPECT_EQ(ListFolder(folder, "*.*"), (std::vector<std::string>{"ph_(Gold).tiff", "ph_x_0.tiff", "ph_x_1.tiff",
                                                                 "ph_x_2.tiff", "ph_x_3.tiff"}));
  EXPECT_EQ(host.warnings, std::vector<std::string>{"ph_(Gold).tiff is no channel plane of ph: it is not printed"});
}

TEST_F(ComposeTest, PlanesOfDifferentSizesFail) {
  const fs::path folder = Folder("photo");
  init.dfDitheredCk = true;
  for (int k = 0; k < 4; ++k) {
    imaging::WritePlane(folder / ("photo_" + std::to_string(k) + ".tiff"),
                        test::SolidPlane(k == 2 ? 7 : 8, 4, 100, 65535), 16);
  }
  EXPECT_FALSE(ComposeCommand(ctx, "photo", "photo_0.tiff"));
  EXPECT_EQ(host.messages, std::vector<std::string>{kFailCompose});
  EXPECT_FALSE(fs::exists(UserPrnDir() / "photo.prn"));
}

TEST_F(ComposeTest, SettingNotAppliedFailsTheRip) {
  const fs::path folder = Folder("photo");
  imaging::WritePlane(folder / "photo_0.tif", test::SolidPlane(8, 4, 100, 0), 16);
  setting.settingApplied = 0;
  EXPECT_FALSE(ComposeCommand(ctx, "photo", "photo_0.tif"));
  EXPECT_EQ(host.messages, (std::vector<std::string>{kSettingWrong, kFailRip}));
  EXPECT_EQ(host.statuses.back(), "1047:None");
  EXPECT_TRUE(fs::exists(WorkingDir() / "00_0.tiff")) << "nothing is moved back";
}

TEST_F(ComposeTest, SettingNotAppliedWhenDitheredAsksToApply) {
  const fs::path folder = Folder("photo");
  init.dfDitheredCk = true;
  imaging::WritePlane(folder / "photo_0.tiff", test::SolidPlane(8, 4, 100, 0), 16);
  setting.settingApplied = 0;
  EXPECT_FALSE(ComposeCommand(ctx, "photo", "photo_0.tiff"));
  EXPECT_EQ(host.messages, (std::vector<std::string>{kApplySettingFirst, kFailCompose}));
}

TEST_F(ComposeTest, ZeroResolutionFailsTheRip) {
  const fs::path folder = Folder("photo");
  imaging::WritePlane(folder / "photo_0.tif", test::SolidPlane(8, 4, 100, 0), 16);
  setting.xResolutionValue = 0;
  setting.xResolution = "x";
  EXPECT_FALSE(ComposeCommand(ctx, "photo", "photo_0.tif"));
  EXPECT_EQ(host.messages, std::vector<std::string>{kFailRip});
}

TEST_F(ComposeTest, SelectionMustBeListed) {
  Folder("photo");
  EXPECT_FALSE(ComposeCommand(ctx, "photo", "photo_0.tif"));
  EXPECT_EQ(host.messages, std::vector<std::string>{kChooseSeparationItem});
  host.messages.clear();
  EXPECT_FALSE(ComposeCommand(ctx, "nothing", "photo_0.tif"));
  EXPECT_EQ(host.messages, std::vector<std::string>{kChooseImageItem});
}

TEST_F(ComposeTest, RipTurnsByWholeInchesAtThePrinterResolution) {
  // 250 columns at xResolution 100 is 2 whole inches: turned with limit 1.9,
  // not with limit 2.
  init.dfImageRt = true;
  for (const char* limit : {"1.9", "2"}) {
    const fs::path file = WorkingDir() / "00_0.tiff";
    imaging::WritePlane(file, test::SolidPlane(250, 20, 100, 65535), 16);
    init.dfRotLimit = limit;
    ASSERT_TRUE(RipSlotFile(ctx, file, "photo"));
    const auto info = imaging::ReadPlaneInfo(file);
    EXPECT_EQ(info.width, std::string(limit) == "2" ? 250u : 20u) << limit;
    EXPECT_EQ(info.depth, 16);
  }
}

// A Compose of dithered planes and a Print of the same planes give the same
// bytes: both code with the level set derived from the preset, and every
// plane value stays in 0..65535, also where LargeDotStart 1 (and
// MiddleDotStart 1) make the preset's levels 65536.
TEST_F(ComposeTest, DitheredComposeMatchesPrintForEveryDotsCode) {
  struct Levels {
    int useDots;
    int32_t middle, large;
  };
  for (const Levels l : {Levels{111, 16384, 32768}, Levels{100, 16384, 32768}, Levels{11, 16384, 32768},
                         Levels{1, 16384, 32768}, Levels{111, 16384, 65536}, Levels{110, 16384, 65536},
                         Levels{111, 65536, 65536}}) {
    const int useDots = l.useDots;
    SCOPED_TRACE(std::to_string(useDots) + " " + std::to_string(l.middle) + " " + std::to_string(l.large));
    setting.UseDots = useDots;
    setting.middleDotLevel = l.middle;
    setting.largeDotLevel = l.large;
    const fs::path folder = Folder("photo");
    init.dfDitheredCk = true;
    for (int k = 0; k < 4; ++k) {
      // The tones as a 16-bit file holds them, for both sides.
      const fs::path tones = WorkingDir() / SlotFileName(k);
      imaging::WritePlane(tones, test::TonePlane(37, 23, 100, 5000.0f * k, k + 1), 16);
      imaging::Plane plane = imaging::ReadPlane(tones);
      HalftoneParams params = HalftoneParams::Of(setting);
      params.middleDotDilution = params.largeDotDilution = 1.0f;
      params.ditherMethod = 0;
      HalftonePlane(params, plane.pixels.data(), plane.width, plane.height, k);
      for (float v : plane.pixels) ASSERT_TRUE(v >= 0.0f && v <= 65535.0f) << v;
      imaging::Negate(plane);
      imaging::WritePlane(folder / ("photo_" + std::string(ChannelCode(k)) + ".tiff"), plane, 16);
    }
    // The Print side: the same tones through the sequential raster mode.
    PrintRaster raster{setting, host, WorkingDir(), {0, 1, 2, 3}};
    auto file = PrnFile::Create(UserPrnDir() / "printed.prn");
    ASSERT_TRUE(file);
    ASSERT_TRUE(RenderSequential(raster, *file).ok);
    ASSERT_TRUE(file->Commit());

    ASSERT_TRUE(ComposeCommand(ctx, "photo", "photo_1.tiff"));
    const std::string composed = test::ReadFileBytes(UserPrnDir() / "photo.prn");
    const std::string printed = test::ReadFileBytes(UserPrnDir() / "printed.prn");
    EXPECT_EQ(test::FirstDifference(printed, composed), "");
  }
}

}  // namespace
}  // namespace qm
