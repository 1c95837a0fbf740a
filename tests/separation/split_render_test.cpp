// Ghostscript's separation in bands: the plan, and the planes of a banded
// render on a sample PDF (real Ghostscript, 150 dpi, a few bands).
#include "separation/split_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "imaging/imaging.h"
#include "jobs/commands.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "settings/active_setting.h"
#include "settings/startup.h"
#include "tests/support/test_support.h"

namespace qm {
namespace {

// Every plan covers the page once, top to bottom, in the number of bands its
// size asks for.
TEST(SplitRender, PlanDependsOnlyOnThePageSize) {
  const std::tuple<uint32_t, uint32_t, std::size_t> cases[] = {
      {8420, 11910, 4}, {17280, 25920, 18}, {6120, 7920, 2}, {4000, 4000, 1},  // A3, 24 x 36 in, Letter at 720 dpi
      {100000, 600, 2},                                                         // no band under 256 rows
      {60000, 60000, kMaxBands}};
  for (const auto& [width, height, bands] : cases) {
    const auto plan = PlanRenderBands(width, height);
    ASSERT_EQ(plan.size(), bands) << width << " x " << height;
    uint32_t next = 0;
    for (const RenderBand& b : plan) {
      EXPECT_EQ(b.top, next);
      EXPECT_GE(b.rows, std::min(height, kMinBandRows));
      next += b.rows;
    }
    EXPECT_EQ(next, height);
  }
}

struct BandedRender : ::testing::Test {
  BandedRender() {
    SetAppDirOverride(app.path());
    setting.UseICC = "0";
  }
  // The planes of the sample, by name, after a render with `options`.
  std::map<std::string, imaging::Plane> Render(const RenderOptions& options, std::string* failure = nullptr,
                                               const fs::path& pdf = test::SamplesDir() / "spot_white_varnish.pdf") {
    const fs::path working = WorkingDir();
    for (const std::string& name : ListFolder(working, "*.*", EntryKind::Files)) DeleteFile(working / name);
    fs::copy_file(pdf, working / "00.pdf");
    std::string why;
    std::map<std::string, imaging::Plane> planes;
    {
      const auto render = RenderSeparation(GhostscriptCommand(setting, app.path(), "150x150", false), host, options);
      const Status finished = render ? render->render->Finish() : render.status();
      why = finished.cause();
      if (finished) {
        for (const std::string& name : ListFolder(working, "00_(*).tif", EntryKind::Files)) {
          planes[name] = imaging::ReadPlane(working / name);
        }
      }
    }
    if (failure) *failure = why;
    EXPECT_TRUE(ListFolder(working, ".qm*").empty()) << "temporary files left";
    return planes;
  }
  static RenderOptions Bands(int processes, bool overlap = true) {
    RenderOptions o;
    o.processes = processes;
    o.overlap = overlap;
    o.bandPixels = 25000;  // 300 x 225 pixels: 3 bands
    o.minBandRows = 64;
    return o;
  }
  // bin/gs as a shell script around Ghostscript.
  void WrapGhostscript(const std::string& script) {
    fs::remove(app / "bin/gs");
    test::WriteFileBytes(app / "bin/gs", "#!/bin/sh\n" + script + "\n");
    fs::permissions(app / "bin/gs", fs::perms::owner_all);
  }
  test::ScratchAppDir app;
  ActiveSetting setting;
  struct LogHost : NullJobHost {
    std::string log;
    void Log(std::string_view line) override { log.append(line).append("\n"); }
  } host;
};

// A page drawn by PostScript `art`, made a PDF by Ghostscript.
fs::path MakePdf(const fs::path& folder, const std::string& name, const std::string& art) {
  test::WriteFileBytes(folder / (name + ".ps"), "%!PS\n<< /PageSize [144 144] >> setpagedevice\n" + art + "\nshowpage\n");
  const ProcessResult r = RunProcess({"/usr/bin/gs", "-q", "-dSAFER", "-sDEVICE=pdfwrite", "-o", (folder / (name + ".pdf")).string(),
                                      (folder / (name + ".ps")).string()});
  EXPECT_EQ(r.exitStatus, 0) << r.output;
  return folder / (name + ".pdf");
}

// Bars of the spot colours `names` (PostScript strings) over a grey wedge.
std::string SpotBars(const std::string& names) {
  return "0 0 144 144 rectclip 0 1 143 { dup 144 div setgray 0 1 144 rectfill } for /names [" + names +
         "] def 0 1 names length 1 sub { /i exch def [/Separation names i get cvn /DeviceCMYK "
         "{dup 0.5 mul exch dup 0.3 mul exch 0 exch 0}] setcolorspace i 10 div setcolor i 9 mul 20 8 100 rectfill } for";
}

// psdcmyk in tiffsep's place: for every sample page and colour setting the
// planes (names and pixels) are those of the documented tiffsep render, for
// any number of rendering threads; where psdcmyk cannot stand in, tiffsep
// renders the page and the log says why.
TEST_F(BandedRender, PsdcmykGivesTiffsepsPlanes) {
  test::TempDir made;
  {
    imaging::Image gray = imaging::Image::Read(test::SamplesDir() / "mri_gray16.tif");
    gray.WritePdf(made.path() / "gray.pdf");
  }
  const fs::path spots = MakePdf(made.path(), "spots", SpotBars("(Spot A) (Orange/Red) (Gr\\(een\\)) (Name:Colon) "
                                                                "(\\303\\234n) (100%) (S7) (S8) (S9) (S10) (S11) (S12)"));
  const fs::path control = MakePdf(made.path(), "control", SpotBars("(Tab\\tSpot)"));
  fs::copy_file(test::SamplesDir() / "cmykog_6clr.icc", app / "Configuration/Default/Output/cmykog_6clr.icc");
  const std::string six = "Cyan,Magenta,Yellow,Black,Orange,Green";
  setting.presetName = "Default";
  setting.defaultRGBProfile = "default_rgb.icc";
  setting.defaultCMYKProfile = "default_cmyk.icc";
  setting.defaultGrayProfile = "default_gray.icc";
  setting.gsRenderIntent = "0";
  setting.OverrideICC = "false";
  setting.BlackPtComp = "1";
  setting.KPreserve = "0";
  struct Row {
    fs::path pdf;
    std::string useIcc, outputColors, logged;
    int threads;
  };
  const Row rows[] = {
      {test::SamplesDir() / "spot_white_varnish.pdf", "0", "", "executed: ", 1},
      {test::SamplesDir() / "spot_white_varnish.pdf", "1", "", "executed: ", 3},
      {test::SamplesDir() / "tcl_logo.pdf", "1", "", "executed: ", 2},
      {test::SamplesDir() / "gs9cm_mixed_rgb_cmyk.pdf", "0", "", "executed: ", 2},
      {test::SamplesDir() / "gs9cm_mixed_rgb_cmyk.pdf", "1", six, "executed: ", 1},
      {made.path() / "gray.pdf", "1", "", "executed: ", 2},
      {spots, "0", "", "executed: ", 2},  // escaped names; more spots than Ghostscript keeps
      {control, "0", "", "psdcmyk's file cannot stand in for tiffsep's planes: the colorant name", 2},
      {test::SamplesDir() / "gs9cm_mixed_rgb_cmyk.pdf", "1", "Orange,Cyan,Magenta,Yellow,Black,Green",
       "psdcmyk cannot render the page: the output colours do not begin with Cyan", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pdf.filename().string() + " UseICC=" + row.useIcc + " " + row.outputColors);
    setting.UseICC = row.useIcc;
    setting.ICCOutputColors = row.outputColors.empty() ? "Cyan,Magenta,Yellow,Black" : row.outputColors;
    setting.defaultOutputProfile = row.outputColors.empty() ? "default_cmyk.icc" : "cmykog_6clr.icc";
    RenderOptions documented;
    documented.bandPixels = uint64_t{1} << 40;
    const auto expected = Render(documented, nullptr, row.pdf);
    ASSERT_GE(expected.size(), 4u);
    // One thread: the planes filed as they are, of a page the plan splits.
    RenderOptions psd = Bands(row.threads, row.threads != 1);
    psd.stream = true;
    host.log.clear();
    const auto planes = Render(psd, nullptr, row.pdf);
    EXPECT_NE(host.log.find(row.logged), std::string::npos) << host.log;
    if (row.threads == 1 && row.logged == "executed: ") {
      EXPECT_NE(host.log.find("planes written compressed as their rows come"), std::string::npos) << host.log;
    }
    ASSERT_EQ(planes.size(), expected.size());
    for (const auto& [name, plane] : expected) {
      ASSERT_EQ(planes.count(name), 1u) << name;
      EXPECT_EQ(planes.at(name).pixels, plane.pixels) << name;
      EXPECT_EQ(planes.at(name).xResolution, plane.xResolution) << name;
    }
  }
}

// A psdcmyk that fails before it writes leaves the page to tiffsep; a PSD
// file cut short after its planes were handed out fails the render with the
// rows it holds.
TEST_F(BandedRender, APsdcmykFailureFallsBackOrFails) {
  RenderOptions psd;
  psd.stream = true;
  const auto expected = Render(psd);
  WrapGhostscript("case \"$*\" in *psdcmyk*) echo 'Error: /VMerror' >&2; exit 1;; esac\nexec /usr/bin/gs \"$@\"");
  host.log.clear();
  EXPECT_EQ(Render(psd).size(), expected.size());
  EXPECT_NE(host.log.find("psdcmyk wrote nothing (exit status 1: Error: /VMerror); tiffsep renders the page"),
            std::string::npos) << host.log;
  // psdcmyk writes elsewhere; its file, less its last 3000 bytes, then grows
  // where the render reads it (a file that only grows, as Ghostscript's does).
  WrapGhostscript("case \"$*\" in *psdcmyk*) ;; *) exec /usr/bin/gs \"$@\";; esac\n"
                  "n=$#; for a; do if [ \"$p\" = -o ]; then out=$a; set -- \"$@\" \"$a.full\"; else set -- \"$@\" \"$a\"; fi; p=$a; done\n"
                  "shift $n; /usr/bin/gs \"$@\" || exit $?; head -c -3000 \"$out.full\" > \"$out\"");
  std::string failure;
  EXPECT_TRUE(Render(psd, &failure).empty());
  EXPECT_NE(failure.find("Ghostscript's psdcmyk file holds 215 of 225 rows"), std::string::npos) << failure;
}

// The same planes whether the bands run one after another and are stitched
// compressed at the end, or run all at once and are read while they grow.
TEST_F(BandedRender, PlanesDoNotDependOnProcessesOrStorage) {
  const auto one = Render(Bands(1, false));
  ASSERT_EQ(one.size(), 6u) << "C, M, Y, K, White, Varnish";
  const auto all = Render(Bands(3));
  ASSERT_EQ(all.size(), one.size());
  for (const auto& [name, plane] : one) EXPECT_EQ(all.at(name).pixels, plane.pixels) << name;
  // Against the page rendered whole: the same planes and sizes; Ghostscript
  // splits smooth shadings and clips path edges by the device's extent, so a
  // few pixels differ (measured: up to 0.06 % of a plane here).
  RenderOptions whole;
  whole.bandPixels = uint64_t{1} << 40;
  const auto single = Render(whole);
  ASSERT_EQ(single.size(), one.size());
  for (const auto& [name, plane] : one) {
    const imaging::Plane& s = single.at(name);
    ASSERT_EQ(s.width, plane.width);
    ASSERT_EQ(s.height, plane.height);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < s.pixels.size(); ++i) differ += s.pixels[i] != plane.pixels[i];
    EXPECT_LE(differ, s.pixels.size() / 200) << name;
  }
}

// A Ghostscript that fails on the last band (its shift is 0): the render
// fails with the band and exit status, and readers of those rows get the cause.
TEST_F(BandedRender, AFailedBandFailsTheRenderWithItsCause) {
  WrapGhostscript("case \"$*\" in *'get 0 add'*) echo 'Error: /ioerror' >&2; exit 3;; esac\n"
                  "exec /usr/bin/gs \"$@\"");
  std::string failure;
  EXPECT_TRUE(Render(Bands(1), &failure).empty());
  EXPECT_NE(failure.find("Ghostscript band 3 of 3 (rows 150-224): failed with exit status 3: Error: /ioerror"),
            std::string::npos)
      << failure;
}

// The middle band (rows 75-149, shift 75) without its Varnish plane: the
// plane is still made, paper white in those rows and the same elsewhere.
TEST_F(BandedRender, APlaneMissingInABandIsWhiteThere) {
  const auto normal = Render(Bands(1));
  WrapGhostscript("/usr/bin/gs \"$@\" || exit $?\n"
                  "case \"$*\" in *'get 75 add'*) for a; do [ \"$o\" = -o ] && rm \"${a%.tif}(Varnish).tif\"; o=$a; done;; esac");
  const auto missing = Render(Bands(1));
  const imaging::Plane& a = normal.at("00_(Varnish).tif");
  const imaging::Plane& b = missing.at("00_(Varnish).tif");
  ASSERT_LT(*std::min_element(a.Row(75), a.Row(150)), 65535.0f) << "the band has varnish to lose";
  for (uint32_t y = 0; y < a.height; ++y) {
    const std::vector<float> expected = y >= 75 && y < 150 ? std::vector<float>(a.width, 65535.0f)
                                                            : std::vector<float>(a.Row(y), a.Row(y) + a.width);
    ASSERT_EQ(std::vector<float>(b.Row(y), b.Row(y) + b.width), expected) << "row " << y;
  }
}

// A page split into Ghostscript bands by a small plan (300 x 225 pixels at
// 150 dpi, 3 bands), through the jobs as the command line runs them: every
// raster mode takes the same planes, so sequential and turbo write one file,
// large-image mode its layout, and a Compose of the dithered Separate the
// Print's bytes.
TEST(SplitPage, EveryModeAndComposeTakeTheSamePlanes) {
  struct LogHost : NullJobHost {
    std::string log;
    void Log(std::string_view line) override { log.append(line).append("\n"); }
  } host;
  test::ScratchAppDir app;
  SetAppDirOverride(app.path());
  fs::create_directories(app / "RipIn/CustomFiles/label");
  fs::copy_file(test::SamplesDir() / "spot_white_varnish.pdf", app / "RipIn/CustomFiles/label/label.pdf");
  SetBandPlanForTests(25000, 64);
  std::map<std::string, std::string> prn;
  for (const char* mode : {"sequential", "dfTurboMd", "dfLargeImageMd", "compose"}) {
    Session session;
    std::vector<std::pair<std::string, std::string>> sets = {{"dfPreserveCF", "1"}, {"dfDitheredCk", "1"}};
    if (*mode == 'd') sets.emplace_back(mode, "1");
    ASSERT_TRUE(RunHeadlessStartup(app.path(), session, sets, std::nullopt, host,
                                   {{"xResolution", "150"}, {"yResolution", "150"}, {"UseICC", "0"},
                                    {"PRNSequence", "0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1"}}));
    JobContext ctx{session.setting, session.init, host};
    const bool compose = std::string(mode) == "compose";
    ASSERT_TRUE(compose ? SeparateCommand(ctx, "label") && ComposeCommand(ctx, "label", "label_0.tiff", LightInkBoxes::Of(session.setting))
                        : PrintCommand(ctx, "label"))
        << host.log;
    prn[mode] = test::ReadFileBytes(app / "RipIn/UserPrn/label.prn");
  }
  SetBandPlanForTests(0, 0);
  EXPECT_NE(host.log.find("in 3 bands"), std::string::npos) << host.log;
  EXPECT_EQ(test::FirstDifference(prn["sequential"], prn["dfTurboMd"]), "");
  EXPECT_EQ(prn["dfLargeImageMd"].size(), prn["sequential"].size());
  EXPECT_EQ(prn["dfLargeImageMd"].substr(0, 48), prn["sequential"].substr(0, 48));
  EXPECT_EQ(test::FirstDifference(prn["sequential"], prn["compose"]), "");
}

// A job canceled once its raster work has begun (the stop flag set when the
// Prn bar first moves) ends at the next plane step or band in every raster
// mode, with that cause, and writes no PRN file.
TEST(CanceledPrint, EndsInEveryRasterModeWithoutAPrn) {
  struct StopHost : NullJobHost {
    std::atomic<bool> stop{false};
    std::string messages;
    void ShowMessage(std::string_view text, std::string_view cause) override {
      messages.append(text).append(" ").append(cause).append("\n");
    }
    void SetProgress(ProgressBar bar, int) override {
      if (bar == ProgressBar::Prn) stop.store(true);
    }
  };
  test::ScratchAppDir app;
  SetAppDirOverride(app.path());
  for (const char* mode : {"sequential", "dfTurboMd", "dfLargeImageMd"}) {
    fs::create_directories(app / "RipIn/CustomFiles/logo");
    fs::copy_file(test::SamplesDir() / "tcl_logo_cmyk_2extra.tif", app / "RipIn/CustomFiles/logo/logo.tif",
                  fs::copy_options::overwrite_existing);
    StopHost host;
    Session session;
    std::vector<std::pair<std::string, std::string>> sets = {{"dfPreserveCF", "1"}};
    if (*mode == 'd') sets.emplace_back(mode, "1");
    ASSERT_TRUE(RunHeadlessStartup(app.path(), session, sets, std::nullopt, host,
                                   {{"xResolution", "150"}, {"yResolution", "150"}, {"UseICC", "0"}}));
    JobContext ctx{session.setting, session.init, host};
    ctx.stop = &host.stop;
    EXPECT_FALSE(PrintCommand(ctx, "logo")) << mode;
    EXPECT_NE(host.messages.find("logo.tif: the job was canceled"), std::string::npos) << mode << host.messages;
    EXPECT_TRUE(ListFolder(app / "RipIn/UserPrn", "*", EntryKind::Any).empty()) << mode;
    EXPECT_TRUE(fs::exists(app / "RipIn/CustomFiles/logo/logo.tif")) << mode;
  }
}

}  // namespace
}  // namespace qm
