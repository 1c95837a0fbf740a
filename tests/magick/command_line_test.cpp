// The argument parser of our `magick`: one valid command line of each form,
// broken one way per row.
#include <gtest/gtest.h>

#include "tools/magick/command_line.h"

namespace qm::magick {
namespace {

using Args = std::vector<std::string>;

const Args kIcc = {"W/00.tif", "+profile", "icm", "-profile", "P/CMYK/a.icc", "-intent", "Relative",
                   "-black-point-compensation", "-profile", "P/Output/b.icc", "W/00.tif"};

bool IsUsageError(const Args& args) { return std::holds_alternative<UsageError>(Parse(args)); }

TEST(CommandLine, IccForms) {
  const auto c = std::get<IccCommand>(Parse(kIcc));
  EXPECT_EQ(c.input, "W/00.tif");
  EXPECT_TRUE(c.dropEmbeddedProfile && c.blackPointCompensation);
  EXPECT_EQ(c.sourceProfile, "P/CMYK/a.icc");
  EXPECT_EQ(c.outputProfile, "P/Output/b.icc");
  EXPECT_EQ(c.output, "W/00.tif");
  const Args a = {"in.tif", "-profile", "a.icc", "-intent", "Absolute", "-profile", "b.icc", "out.tif"};
  const auto s = std::get<IccCommand>(Parse(a));
  EXPECT_FALSE(s.dropEmbeddedProfile || s.blackPointCompensation);
  for (const auto& [name, intent] : {std::pair{"Absolute", Intent::Absolute}, {"Perceptual", Intent::Perceptual},
                                     {"Saturation", Intent::Saturation}, {"relative", Intent::Relative}}) {
    Args b = a;
    b[4] = name;
    EXPECT_EQ(std::get<IccCommand>(Parse(b)).intent, intent) << name;
  }
  const std::pair<std::size_t, const char*> broken[] = {
      {2, "icc"}, {6, "Colorimetric"}, {5, "-rendering"}, {7, "-bpc"}, {8, "-profiles"}};
  for (const auto& [index, value] : broken) {
    Args b = kIcc;
    b[index] = value;
    EXPECT_TRUE(IsUsageError(b)) << value;
  }
  Args extra = kIcc;
  extra.push_back("more.tif");
  EXPECT_TRUE(IsUsageError(extra));
  EXPECT_TRUE(IsUsageError(Args(kIcc.begin(), kIcc.end() - 1)));
  // The intent comes before the compensation, not after.
  EXPECT_TRUE(IsUsageError({"in.tif", "-profile", "a.icc", "-black-point-compensation", "-intent", "Relative",
                            "-profile", "b.icc", "out.tif"}));
}

TEST(CommandLine, ChannelForms) {
  EXPECT_EQ(ParseChannelList("0;1;2;3;Meta0;Meta1;Meta2"), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(ParseChannelList("0;1;2;3;Meta0;Meta1;Meta2;Meta3;Meta4;Meta5").size(), 10u);
  EXPECT_EQ(ParseChannelList("Meta0;Meta1;Meta2;Meta3;Meta4;Meta5").front(), 4);
  for (const char* bad : {"", "0;1;2", "0;1;2;3;", "0;1;3;2", "0;1;2;3;Meta1", "Meta1", "meta0",
                          "Meta0;Meta1;Meta2;Meta3;Meta4;Meta5;Meta6", "0;1;2;3;Meta0;;Meta1", "Meta0;0"}) {
    EXPECT_TRUE(ParseChannelList(bad).empty()) << bad;
  }
  const auto c = std::get<ChannelCommand>(Parse({"00.tif", "-negate", "-channel-fx", "0;1;2;3;Meta0", "00_%d.tif"}));
  EXPECT_TRUE(c.negate);
  EXPECT_EQ(c.samples.size(), 5u);
  EXPECT_EQ(OutputName(c.outputPattern, 4), "00_4.tif");
  const auto s = std::get<ChannelCommand>(Parse({"00.tif", "-channel-fx", "Meta0;Meta1", "W/00_S%d.tif"}));
  EXPECT_FALSE(s.negate);
  EXPECT_EQ(OutputName(s.outputPattern, 1), "W/00_S1.tif");
  for (const Args& bad : std::vector<Args>{{"00.tif", "-negate", "-channel-fx", "Meta0", "00_S%d.tif"},
                                           {"00.tif", "-channel-fx", "0;1;2;3", "00_0.tif"},
                                           {"00.tif", "-channel-fx", "0;1;2;3", "00_%d_%d.tif"},
                                           {"00.tif", "-channel-fx", "0;1;2;3", "00_%s.tif"},
                                           {"00.tif", "-channel-fx", "0;1;2;3"},
                                           {"00.tif", "-separate", "00_%d.tif"},
                                           {"00.tif", "-negate", "-negate", "-channel-fx", "0;1;2;3", "00_%d.tif"},
                                           {}}) {
    EXPECT_TRUE(IsUsageError(bad)) << ::testing::PrintToString(bad);
  }
}

}  // namespace
}  // namespace qm::magick
