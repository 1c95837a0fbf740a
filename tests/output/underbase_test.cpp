// The generated white of a Print job against a white worked out here: small
// synthetic planes at the printer's resolution, the mask eroded by a disc
// written out pixel by pixel, the knockout, the density, less white under
// black and the larger of the two whites.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "imaging/imaging.h"
#include "output/underbase_plane.h"
#include "platform/job_host.h"
#include "separation/channels.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

constexpr uint32_t kW = 40, kH = 36;
constexpr float kFull = 65535.0f;
using Tone = std::function<float(int x, int y)>;

Tone Nothing() {
  return [](int, int) { return 0.0f; };
}
Tone Disc(int cx, int cy, int r, float tone) {
  return [=](int x, int y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r ? tone : 0.0f; };
}
Tone Square(int x0, int y0, int size, float tone, float elsewhere = 0.0f) {
  return [=](int x, int y) { return x >= x0 && x < x0 + size && y >= y0 && y < y0 + size ? tone : elsewhere; };
}

// Whether (x, y) keeps its white: every pixel of the disc of radius `choke`
// around it lies on the page and is coloured.
bool Eroded(const std::function<bool(int, int)>& coloured, int x, int y, int choke) {
  for (int dy = -choke; dy <= choke; ++dy) {
    for (int dx = -choke; dx <= choke; ++dx) {
      if (dx * dx + dy * dy > choke * choke) continue;
      const int xx = x + dx, yy = y + dy;
      if (xx < 0 || yy < 0 || xx >= static_cast<int>(kW) || yy >= static_cast<int>(kH) || !coloured(xx, yy)) {
        return false;
      }
    }
  }
  return true;
}

struct Case {
  std::string name;
  std::vector<std::pair<std::string, std::string>> sets;  // underbase keys
  Tone cyan, black, artWhite;                             // ink values; artWhite empty: no such plane
  std::function<float(int x, int y)> expected;
};

// Runs the white of one case: slot files of C, M, Y, K and S0 (position 4).
imaging::Plane WhiteOf(const Case& c) {
  test::TempDir dir;
  ActiveSetting s;
  s.xResolutionValue = s.yResolutionValue = 100;
  s.PRNSequence = "0,1,2,3,,,,,,,,,S0";
  for (const auto& [k, v] : c.sets) EXPECT_TRUE(SetUnderbaseValue(s.underbase, k, v)) << k << "=" << v;
  NullJobHost host;
  PrintRaster raster{s, host, dir.path(), {0, 1, 2, 3, 12}};
  auto write = [&](int slot, const Tone& tone) {
    imaging::Plane plane;
    plane.width = kW;
    plane.height = kH;
    plane.xResolution = plane.yResolution = 100;
    plane.pixels.resize(std::size_t{kW} * kH);
    for (uint32_t y = 0; y < kH; ++y) {
      for (uint32_t x = 0; x < kW; ++x) plane.Row(y)[x] = tone(static_cast<int>(x), static_cast<int>(y));
    }
    imaging::WritePlane(dir / SlotFileName(slot), plane, 16);
  };
  write(0, c.cyan);
  write(1, Nothing());
  write(3, c.black);  // yellow has no plane
  if (c.artWhite) write(12, c.artWhite);
  auto positions = raster::Positions(raster);
  const raster::UnderbasePositions at = raster::FindUnderbasePositions(raster);
  EXPECT_EQ(at.white, std::optional<std::size_t>(4));
  EXPECT_EQ(at.black, std::optional<std::size_t>(3));
  raster::WriteUnderbase(raster, raster::Recipe(raster), positions, at, kW, kH, dir / "white.tiff");
  return imaging::ReadPlane(dir / "white.tiff");
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  using Sets = std::vector<std::pair<std::string, std::string>>;
  auto add = [&](std::string name, Sets sets, Tone cyan, Tone expected, Tone black = Nothing(), Tone art = nullptr) {
    sets.insert(sets.begin(), {"Underbase", "generate"});
    cases.push_back({std::move(name), std::move(sets), std::move(cyan), std::move(black), std::move(art),
                     std::move(expected)});
  };
  // The disc and the square eroded by every choke.
  for (int choke : {0, 1, 2, 3, 5}) {
    for (const Tone& tone : {Disc(19, 17, 11, kFull), Square(6, 5, 20, 0.4f * kFull)}) {
      const auto eroded = [tone, choke](int x, int y) {
        return Eroded([&](int xx, int yy) { return tone(xx, yy) > 0; }, x, y, choke) ? kFull : 0.0f;
      };
      add("shape, choke " + std::to_string(choke), {{"Choke", std::to_string(choke)}}, tone, eroded);
    }
  }
  // A background of 3 % ink: white everywhere without knockout (but at the
  // page's edges), none there with it; 5 % is the default tolerance.
  const Tone background = Square(10, 10, 12, 0.5f * kFull, 0.03f * kFull);
  add("no knockout", {{"Choke", "1"}}, background,
      [](int x, int y) { return Eroded([](int, int) { return true; }, x, y, 1) ? kFull : 0.0f; });
  add("knockout white", {{"Choke", "1"}, {"Knockout", "white"}}, background, [](int x, int y) {
    return Eroded([](int xx, int yy) { return Square(10, 10, 12, 1)(xx, yy) > 0; }, x, y, 1) ? kFull : 0.0f;
  });
  add("knockout tolerance 2", {{"Choke", "0"}, {"Knockout", "white"}, {"KnockoutTolerance", "2"}}, background,
      [](int, int) { return kFull; });
  // Under black alone the white is cut in proportion to the black's tone
  // (full left, half at the bottom right); black with cyan keeps it all.
  const Tone black = [](int x, int y) { return x < 20 ? kFull : y < 18 ? 32768.0f : 0.0f; };
  using Cut = std::tuple<const char*, float, float>;
  for (const auto& [underBlack, full, half] :
       {Cut{"0", 0.0f, 32767.0f}, Cut{"50", 32768.0f, 49151.0f}, Cut{"100", kFull, kFull}}) {
    add(std::string("under black ") + underBlack, {{"Choke", "0"}, {"UnderBlack", underBlack}}, Square(0, 0, 8, kFull),
        [full, half](int x, int y) { return x < 8 && y < 8 ? kFull : x < 20 ? full : y < 18 ? half : 0.0f; }, black);
  }
  add("density 50", {{"Choke", "0"}, {"Density", "50"}}, Square(4, 4, 9, 1), Square(4, 4, 9, 32768.0f));
  // The artwork's white: replaced by generate, the larger of the two by both.
  const Tone art = [](int x, int) { return x * 1500.0f; };
  add("generate replaces", {{"Choke", "0"}, {"Density", "60"}}, Square(4, 4, 9, 1), Square(4, 4, 9, 39321.0f),
      Nothing(), art);
  add("both", {{"Underbase", "both"}, {"Choke", "0"}, {"Density", "60"}}, Square(4, 4, 9, 1),
      [art](int x, int y) { return std::max(Square(4, 4, 9, 39321.0f)(x, y), art(x, y)); }, Nothing(), art);
  return cases;
}

TEST(Underbase, GeneratedWhiteOfEachCase) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const imaging::Plane white = WhiteOf(c);
    ASSERT_EQ(white.width, kW);
    ASSERT_EQ(white.height, kH);
    int wrong = 0;
    for (uint32_t y = 0; y < kH; ++y) {
      for (uint32_t x = 0; x < kW; ++x) {
        const float want = c.expected(static_cast<int>(x), static_cast<int>(y));
        if (white.Row(y)[x] != want && wrong++ < 3) {
          ADD_FAILURE() << "at " << x << "," << y << ": " << white.Row(y)[x] << ", expected " << want;
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

// The white's slot joins the channel set where PRNSequence first names its ink.
TEST(Underbase, ChannelSetTakesTheWhitesSlot) {
  struct Row {
    std::string sequence, mode, names;
    PrnChannelSet expected;
  };
  const Row rows[] = {
      {"0,1,2,3,,,,,,,,,,S0", "generate", "White", {.spot = 2}},
      {"0,1,2,3,S0,,,,,,,,S0", "both", "White", {.lc = true}},
      {"0,1,2,3,,,,,,S0", "generate", "White", {.multicolor = 2}},
      {"0,1,2,3,,,,,,,,,,S0", "artwork", "White", {}},
      {"0,1,2,3,,,,,,,,,S1", "generate", "White", {}},
      {"0,1,2,3,,,,,,,,,S0", "generate", ",White", {}},  // PdfSpotColorName names no S0
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.sequence + " " + r.mode);
    ActiveSetting s;
    s.PRNSequence = r.sequence;
    s.PdfSpotColorName = r.names;
    ASSERT_TRUE(SetUnderbaseValue(s.underbase, "Underbase", r.mode));
    PrnChannelSet set;
    raster::IncludeUnderbaseSlot(s, set);
    EXPECT_EQ(set.lc, r.expected.lc);
    EXPECT_EQ(set.multicolor, r.expected.multicolor);
    EXPECT_EQ(set.spot, r.expected.spot);
  }
}

}  // namespace
}  // namespace qm
