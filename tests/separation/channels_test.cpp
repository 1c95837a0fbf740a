#include "separation/channels.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(ChannelIndexFromName, GivesTheIndexOfTheCodeAfterTheLastUnderscore) {
  EXPECT_EQ(ChannelIndexFromName("00_L2.tiff"), 6);
  EXPECT_EQ(ChannelIndexFromName("00_S5.tiff"), 17);
  EXPECT_EQ(ChannelIndexFromName("00_3.tiff"), 3);
  EXPECT_EQ(ChannelIndexFromName("picture_M1.tiff"), 9);
  EXPECT_EQ(ChannelIndexFromName("my_photo_v2_S0.tif"), 12);
}

TEST(ChannelIndexFromName, UnknownCodesGiveCyan) {
  EXPECT_EQ(ChannelIndexFromName("00_X.tiff"), 0);
  EXPECT_EQ(ChannelIndexFromName("00_l0.tiff"), 0);  // codes are case-sensitive
  EXPECT_EQ(ChannelIndexFromName("00_s1.tif"), 0);
  EXPECT_EQ(ChannelIndexFromName("00_S6.tif"), 0);
  EXPECT_EQ(ChannelIndexFromName(""), 0);
}

TEST(ChannelIndexFromName, NameWithoutUnderscoreIsComparedWholeUpToItsLastDot) {
  EXPECT_EQ(ChannelIndexFromName("L3.tiff"), 7);
  EXPECT_EQ(ChannelIndexFromName("M3.tif"), 11);
}

TEST(ChannelIndexFromName, NameWithoutDotIsCutToNothing) {
  EXPECT_EQ(ChannelIndexFromName("00_L2"), 0);
  EXPECT_EQ(ChannelIndexFromName("S1"), 0);
}

TEST(ChannelIndexFromName, TifAndTiffMapToTheSameIndex) {
  for (int i = 0; i < 18; ++i) {
    const std::string tiff = SlotFileName(i);
    const std::string tif = tiff.substr(0, tiff.size() - 1);
    EXPECT_EQ(ChannelIndexFromName(tiff), i) << tiff;
    EXPECT_EQ(ChannelIndexFromName(tif), i) << tif;
  }
}

TEST(ChannelIndexFromName, FolderPartIsIgnored) {
  EXPECT_EQ(ChannelIndexFromName("/app/RipIn/Working/00_L1.tiff"), 5);
  // An underscore in a folder name does not cut the file name.
  EXPECT_EQ(ChannelIndexFromName("/tmp/my_dir/S2.tif"), 14);
}

TEST(SlotFileName, NamesEverySlotWithTheFourLetterExtension) {
  const char* expected[18] = {"00_0.tiff",  "00_1.tiff",  "00_2.tiff",  "00_3.tiff",  "00_L0.tiff", "00_L1.tiff",
                              "00_L2.tiff", "00_L3.tiff", "00_M0.tiff", "00_M1.tiff", "00_M2.tiff", "00_M3.tiff",
                              "00_S0.tiff", "00_S1.tiff", "00_S2.tiff", "00_S3.tiff", "00_S4.tiff", "00_S5.tiff"};
  for (int i = 0; i < 18; ++i) EXPECT_EQ(SlotFileName(i), expected[i]);
}

TEST(PlaneNames, ChannelAndSeparatorPlanes) {
  EXPECT_EQ(ChannelPlaneName("L0"), "00_L0.tif");
  EXPECT_EQ(SeparatorPlaneName("Cyan"), "00_(Cyan).tif");
  EXPECT_EQ(SeparatorPlaneName("TCL RED"), "00_(TCL RED).tif");
}

TEST(SequenceCodes, SplitsEighteenPositionsAndLeavesMissingOnesEmpty) {
  const auto codes = SequenceCodes("0,1,2,3,L0,L1");
  EXPECT_EQ(codes[0], "0");
  EXPECT_EQ(codes[5], "L1");
  for (int k = 6; k < 18; ++k) EXPECT_EQ(codes[k], "") << k;
  const auto full = SequenceCodes("3,2,1,0,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1,S2,S3,S4,S5,extra");
  EXPECT_EQ(full[0], "3");
  EXPECT_EQ(full[17], "S5");
}

}  // namespace
}  // namespace qm
