#include <gtest/gtest.h>

#include "tools/magick/command_line.h"

namespace qm::magick {
namespace {

using Args = std::vector<std::string>;

const Args kIcc = {"W/00.tif", "+profile", "icm", "-profile", "P/CMYK/a.icc", "-intent", "Relative",
                   "-black-point-compensation", "-profile", "P/Output/b.icc", "W/00.tif"};

bool IsUsageError(const Args& args) { return std::holds_alternative<UsageError>(Parse(args)); }

TEST(CommandLine, FullIccForm) {
  const auto c = std::get<IccCommand>(Parse(kIcc));
  EXPECT_EQ(c.input, "W/00.tif");
  EXPECT_TRUE(c.dropEmbeddedProfile);
  EXPECT_EQ(c.sourceProfile, "P/CMYK/a.icc");
  EXPECT_EQ(c.intent, Intent::Relative);
  EXPECT_TRUE(c.blackPointCompensation);
  EXPECT_EQ(c.outputProfile, "P/Output/b.icc");
  EXPECT_EQ(c.output, "W/00.tif");
}

TEST(CommandLine, ShortIccFormAndIntents) {
  const Args a = {"in.tif", "-profile", "a.icc", "-intent", "Absolute", "-profile", "b.icc", "out.tif"};
  const auto c = std::get<IccCommand>(Parse(a));
  EXPECT_FALSE(c.dropEmbeddedProfile);
  EXPECT_FALSE(c.blackPointCompensation);
  EXPECT_EQ(c.intent, Intent::Absolute);
  for (const auto& [name, intent] : {std::pair{"Perceptual", Intent::Perceptual}, {"Saturation", Intent::Saturation},
                                     {"relative", Intent::Relative}}) {
    Args b = a;
    b[4] = name;
    EXPECT_EQ(std::get<IccCommand>(Parse(b)).intent, intent) << name;
  }
}

// One valid command line, broken one way per case.
TEST(CommandLine, BrokenIccFormsAreUsageErrors) {
  auto broken = [](std::size_t index, const std::string& value) {
    Args a = kIcc;
    a[index] = value;
    return a;
  };
  EXPECT_TRUE(IsUsageError(broken(2, "icc")));          // +profile icm only
  EXPECT_TRUE(IsUsageError(broken(6, "Colorimetric")));  // unknown intent
  EXPECT_TRUE(IsUsageError(broken(5, "-rendering")));
  EXPECT_TRUE(IsUsageError(broken(7, "-bpc")));
  EXPECT_TRUE(IsUsageError(broken(8, "-profiles")));
  Args extra = kIcc;
  extra.push_back("more.tif");
  EXPECT_TRUE(IsUsageError(extra));
  Args missing(kIcc.begin(), kIcc.end() - 1);
  EXPECT_TRUE(IsUsageError(missing));
  // The intent comes before the compensation, not after.
  EXPECT_TRUE(IsUsageError({"in.tif", "-profile", "a.icc", "-black-point-compensation", "-intent", "Relative",
                            "-profile", "b.icc", "out.tif"}));
}

TEST(CommandLine, ChannelListsAreExactlyTheAcceptedOnes) {
  EXPECT_EQ(ParseChannelList("0;1;2;3"), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(ParseChannelList("0;1;2;3;Meta0;Meta1;Meta2"), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(ParseChannelList("0;1;2;3;Meta0;Meta1;Meta2;Meta3;Meta4;Meta5").size(), 10u);
  EXPECT_EQ(ParseChannelList("Meta0"), (std::vector<int>{4}));
  EXPECT_EQ(ParseChannelList("Meta0;Meta1;Meta2;Meta3;Meta4;Meta5").back(), 9);
  for (const char* bad : {"", "0;1;2", "0;1;2;3;", "0;1;3;2", "0;1;2;3;Meta1", "Meta1", "meta0",
                          "Meta0;Meta1;Meta2;Meta3;Meta4;Meta5;Meta6", "0;1;2;3;Meta0;;Meta1", "Meta0;0"}) {
    EXPECT_TRUE(ParseChannelList(bad).empty()) << bad;
  }
}

TEST(CommandLine, ChannelForms) {
  const auto c = std::get<ChannelCommand>(Parse({"00.tif", "-negate", "-channel-fx", "0;1;2;3;Meta0", "00_%d.tif"}));
  EXPECT_TRUE(c.negate);
  EXPECT_EQ(c.samples.size(), 5u);
  EXPECT_EQ(OutputName(c.outputPattern, 4), "00_4.tif");
  const auto s = std::get<ChannelCommand>(Parse({"00.tif", "-channel-fx", "Meta0;Meta1", "W/00_S%d.tif"}));
  EXPECT_FALSE(s.negate);
  EXPECT_EQ(OutputName(s.outputPattern, 1), "W/00_S1.tif");
  EXPECT_TRUE(IsUsageError({"00.tif", "-negate", "-channel-fx", "Meta0", "00_S%d.tif"}));
  EXPECT_TRUE(IsUsageError({"00.tif", "-channel-fx", "0;1;2;3", "00_0.tif"}));        // no %d
  EXPECT_TRUE(IsUsageError({"00.tif", "-channel-fx", "0;1;2;3", "00_%d_%d.tif"}));    // two
  EXPECT_TRUE(IsUsageError({"00.tif", "-channel-fx", "0;1;2;3", "00_%s.tif"}));
  EXPECT_TRUE(IsUsageError({"00.tif", "-channel-fx", "0;1;2;3"}));
  EXPECT_TRUE(IsUsageError({"00.tif", "-separate", "00_%d.tif"}));
  EXPECT_TRUE(IsUsageError({"00.tif", "-negate", "-negate", "-channel-fx", "0;1;2;3", "00_%d.tif"}));
  EXPECT_TRUE(IsUsageError({}));
}

}  // namespace
}  // namespace qm::magick
