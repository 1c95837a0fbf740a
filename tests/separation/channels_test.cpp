// The channel of a plane file from its name: the code after the last
// underscore, up to the last dot; anything else is cyan.
#include "separation/channels.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(ChannelIndexFromName, CodesOfEveryKindOfName) {
  const struct {
    const char* name;
    int index;
  } cases[] = {{"00_L2.tiff", 6}, {"00_S5.tiff", 17}, {"picture_M1.tiff", 9}, {"my_photo_v2_S0.tif", 12},
               {"L3.tiff", 7},    {"M3.tif", 11},     {"00_X.tiff", 0},       {"00_l0.tiff", 0},
               {"00_S6.tif", 0},  {"", 0},            {"00_L2", 0},           {"/app/RipIn/Working/00_L1.tiff", 5},
               {"/tmp/my_dir/S2.tif", 14}};
  for (const auto& c : cases) EXPECT_EQ(ChannelIndexFromName(c.name), c.index) << c.name;
  const char* codes[18] = {"0", "1", "2", "3", "L0", "L1", "L2", "L3", "M0", "M1", "M2", "M3",
                           "S0", "S1", "S2", "S3", "S4", "S5"};
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(SlotFileName(i), std::string("00_") + codes[i] + ".tiff");
    EXPECT_EQ(ChannelIndexFromName(std::string("00_") + codes[i] + ".tif"), i) << codes[i];
  }
}

}  // namespace
}  // namespace qm
