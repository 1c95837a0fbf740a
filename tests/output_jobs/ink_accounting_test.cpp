// Every ink of the artwork is printed or named in a warning: spot planes by
// their place in PdfSpotColorName, inks PRNSequence places nowhere, inks in
// slots outside the light-ink flags, more than six spots. Real Ghostscript on
// small PDFs made here from PostScript.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "halftone/levels.h"
#include "imaging/imaging.h"
#include "output/commands.h"
#include "output/prn_reader.h"
#include "platform/process.h"
#include "separation/commands.h"
#include "tests/output_jobs/jobs_test_support.h"

namespace qm {
namespace {

using Strings = std::vector<std::string>;

// A 2 x 1 inch page with a CMYK square and one square per spot colour.
void MakeSpotPdf(const fs::path& pdf, const Strings& spots) {
  std::string ps = "%!PS\n<< /PageSize [144 72] >> setpagedevice\n0.5 0.5 0.5 0 setcmykcolor 0 0 20 20 rectfill\n";
  for (std::size_t i = 0; i < spots.size(); ++i) {
    // A tint, so that a continuous-tone plane is told from a halftoned one.
    ps += "[/Separation (" + spots[i] + ") /DeviceCMYK {dup dup dup}] setcolorspace 0.6 setcolor " +
          std::to_string(24 + 16 * i) + " 30 14 14 rectfill\n";
  }
  ps += "showpage\n";
  const fs::path source = pdf.parent_path() / "art.ps";
  test::WriteFileBytes(source, ps);
  const ProcessResult r = RunProcess({(AppDir() / "bin" / "gs").string(), "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-o", pdf.string(),
                                      source.string()});
  ASSERT_EQ(r.exitStatus, 0) << r.output;
  fs::remove(source);
}

struct InkCase {
  const char* what;
  Strings spots;             // spot colours of the artwork
  const char* spotNames;     // PdfSpotColorName
  const char* sequence;      // PRNSequence
  bool lights;               // UseLc and UseLm
  Strings inkedPositions;    // slot code of every position, "+" prefix where dots are expected
  Strings warnings;          // a part of each warning, in order
};

const InkCase kCases[] = {
    {"second listed spot alone lands in S1 after a blank S0", {"Varnish"}, "White,Varnish",
     "0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1,S2,S3,S4,S5", false, {"+0", "+1", "+2", "0", "S0", "+S1"}, {}},
    {"both spots in list order", {"Varnish", "White"}, "White,Varnish",
     "0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1,S2,S3,S4,S5", false, {"+0", "+1", "+2", "0", "+S0", "+S1"}, {}},
    {"the shipped sequence places no spot", {"White", "Varnish"}, "White,Varnish", "0,1,2,3,L0,L1", true,
     {"+0", "+1", "+2", "0", "+L0", "+L1", "S0", "S1"},
     {"spot S0 (White) is not printed: PRNSequence places S0 in no position",
      "spot S1 (Varnish) is not printed: PRNSequence places S1 in no position"}},
    {"spots placed in light-ink slots are printed there", {"White", "Varnish"}, "White,Varnish", "0,1,2,3,S0,S1",
     false, {"+0", "+1", "+2", "0", "+L0", "+L1", "S0", "S1"}, {}},
    {"a spot the list does not name", {"Pantone 123 C"}, "White,Varnish",
     "0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1,S2,S3,S4,S5", false, {"+0", "+1", "+2", "0"},
     {"spot colour \"Pantone 123 C\" is not printed: PdfSpotColorName does not name it"}},
    {"a seventh spot", {"A", "B", "C", "D", "E", "F", "G"}, "A,B,C,D,E,F,G",
     "0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1,S2,S3,S4,S5", false,
     {"+0", "+1", "+2", "0", "+S0", "+S1", "+S2", "+S3", "+S4", "+S5"},
     {"spot colour \"G\" is not printed: it is name 7 of PdfSpotColorName and only six spots have channels"}},
};

void PrintTo(const InkCase& c, std::ostream* os) { *os << c.what; }

struct InkAccounting : test::JobFixture, ::testing::TestWithParam<InkCase> {
  InkAccounting() {
    setting = test::AppliedSetting(36);
    setting.UseICC = "0";
    init.dfPreserveCF = true;
    const InkCase& c = GetParam();
    setting.PdfSpotColorName = c.spotNames;
    setting.PRNSequence = c.sequence;
    setting.UseLc = setting.UseLm = c.lights ? 1 : 0;
    form.UseLc = form.UseLm = c.lights;
    CreateFolder(CustomFilesDir() / "art");
    MakeSpotPdf(CustomFilesDir() / "art" / "art.pdf", c.spots);
  }
  void ExpectWarnings() {
    const Strings& expected = GetParam().warnings;
    ASSERT_EQ(host.warnings.size(), expected.size()) << ::testing::PrintToString(host.warnings);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_NE(host.warnings[i].find(expected[i]), std::string::npos) << host.warnings[i];
    }
  }
};

TEST_P(InkAccounting, PrintPutsEveryInkInItsPositionOrWarns) {
  ASSERT_TRUE(PrintCommand(ctx, "art")) << ::testing::PrintToString(host.causes);
  auto reader = PrnReader::Open(UserPrnDir() / "art.prn");
  ASSERT_TRUE(reader && reader->layoutOk());
  const auto dots = CountPrnDots(*reader);
  ASSERT_TRUE(dots);
  const Strings& expected = GetParam().inkedPositions;
  ASSERT_EQ(dots->size(), expected.size());
  for (std::size_t p = 0; p < expected.size(); ++p) {
    const uint64_t ink = (*dots)[p][1] + (*dots)[p][2] + (*dots)[p][3];
    EXPECT_EQ(ink > 0, expected[p][0] == '+') << "position " << p << " (" << expected[p] << ")";
  }
  ExpectWarnings();
}

// The Separate job files only halftoned planes as ".tiff" (Compose packs them
// as dots), and its warnings are the Print job's.
TEST_P(InkAccounting, DitheredSeparationFilesOnlyHalftonedPlanes) {
  init.dfDitheredCk = true;
  ASSERT_TRUE(SeparateCommand(ctx, "art")) << ::testing::PrintToString(host.causes);
  const DotLevels levels = DeriveDotLevels(setting.middleDotLevel, setting.largeDotLevel, setting.Bits, 111);
  const std::vector<float> allowed = {0.0f, float(65535 - levels.middle), float(65535 - levels.large), 65535.0f};
  for (const std::string& name : ListFolder(SeparationDir() / "art", "*.tiff", EntryKind::Files)) {
    for (float v : imaging::ReadPlane(SeparationDir() / "art" / name).pixels) {
      ASSERT_NE(std::find(allowed.begin(), allowed.end(), v), allowed.end()) << name << " holds " << v;
    }
  }
  ExpectWarnings();
}

INSTANTIATE_TEST_SUITE_P(Cases, InkAccounting, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string name;
  for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
});

}  // namespace
}  // namespace qm
