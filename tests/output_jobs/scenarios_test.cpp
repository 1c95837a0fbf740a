// End-to-end jobs of quillmark-cli, one row each (the runner and its rules
// are in scenario_runner.h): Print, Separate and Compose over the routes and
// presets, ink accounting, the bad-input corpus, hostile names, tool and
// profile faults, and the equalities (the three raster modes, Compose and
// Print, one thread and eighteen).
#include <gtest/gtest.h>

#include <cctype>

#include "platform/platform.h"
#include "tests/output_jobs/scenario_runner.h"

namespace qm::test {

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

namespace {

const std::string kAll = "PRNSequence=0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1,S2,S3,S4,S5";
const std::string kSpots = "PRNSequence=0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1";
const std::string kSettingWrong = "Something is wrong in Setting !";
const std::string kTclRed = "Warning: spot colour \"TCL RED\" is not printed: PdfSpotColorName does not name it";

std::string Unplaced(const std::string& code, const std::string& ink = "") {
  const std::string what = ink.empty() ? "spot " + code : ink + " (" + code + ")";
  return "Warning: " + what + " is not printed: PRNSequence places " + code + " in no position";
}

// The messages of a job on a preset that does not apply (PRNSequence empty).
std::vector<std::string> NotApplied(const std::string& refusal, const std::string& failure, const std::string& cause) {
  return {"Fail to  read prn color sequence!", "  PRNSequence is empty", "Fail to Apply the Preset file!",
          "  PRNSequence is empty", refusal, failure, "  " + cause};
}

// C, Y and the first spot inked, M, K and the second spot blank: a swapped
// channel or a lost negate moves the dots.
const TiffShape kBars{16, 12, 4, 2, 5, 0, 0b010101, 0};

// A broken file of the corpus: each fault an operator may be handed.
struct BadFile {
  std::string name;
  MakeBytes bytes;
};

std::vector<BadFile> Corpus() {
  const TiffShape small{4, 4, 4, 0, 5, 0, ~0u, 0};
  return {
      {"zero_length.pdf", Literal("")},
      {"zero_length.tif", Literal("")},
      {"zero_length.jpg", Literal("")},
      {"truncated.pdf", Head("tcl_logo.pdf", 0.3)},
      {"truncated.tif", Head("tcl_logo_cmyk_2extra.tif", 0.5)},
      {"truncated_header.tif", Head("tcl_logo_cmyk_2extra.tif", 0.002)},
      {"truncated.jpg", Head("flowers_rgb.jpg", 0.01)},
      {"corrupt_header.jpg", Patched(Sample("flowers_rgb.jpg"), 2, std::string(64, '\xFF'))},
      {"wrong_magic.pdf", Patched(Sample("tcl_logo.pdf"), 0, "%PXF")},
      {"wrong_magic.jpg", Patched(Sample("flowers_rgb.jpg"), 0, "GIF8", 0.5)},
      {"wrong_magic.tif", Patched(Sample("tcl_logo_cmyk_2extra.tif"), 0, "XX*")},
      {"huge_dimension.tif", Tiff({4, 4, 4, 0, 5, 0, ~0u, 100000})},
      {"corrupt_strip.tif", Patched(Tiff(small), 8 + 2 + 12 * 5 + 8, "\xF0\xFF\xFF\x0F")},
      {"corrupt_body.pdf", Literal("%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 7 0 R >>\nendobj\nxref\nnonsense\n")},
      {"seven_extra_channels.tif", Tiff({2, 2, 4, 7, 5, 0, ~0u, 0})},
      {"ghostscript_fails.pdf", Literal("%PDF-1.4\n%\xE2\xE3\xCF\xD3\ngarbage that is no object\n%%EOF\n")},
  };
}

// A PRN header of 4 channels, 1 x 1 pixels at 2 bits with byte `at` set to `value`.
MakeBytes PrnHeader(std::size_t at, char value) {
  std::string prn = std::string("UU\0\0\xD0\2\0\0\xD0\2\0\0\4\0\0\0\1\0\0\0\1\0\0\0\0\0\0\0\4\0\0\0\2", 33) +
                    std::string(31, '\0');
  prn[at] = value;
  return Literal(prn);
}

std::vector<Scenario> Table() {
  std::vector<Scenario> t = {
      // ---- Print, TIF/JPG route (our magick)
      {.name = "print_jpeg", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"), .inked = "+0 +1 +2 +3 +L0 +L1"},
      {.name = "print_jpeg_not_preserved", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"),
       .sets = {"dfPreserveCF=0"}},
      {.name = "print_jpeg_96dpi_resampled", .file = "photo.JPG", .bytes = Sample("PHOTO.JPG"), .size = "256x300"},
      {.name = "print_gray16_tiff", .file = "mri.tif", .bytes = Sample("mri_gray16.tif"),
       .inked = "+0 +1 +2 +3 +L0 +L1"},
      {.name = "print_tiff_spots_unplaced", .file = "logo.tif", .bytes = Sample("tcl_logo_cmyk_2extra.tif"),
       .messages = {Unplaced("S0"), Unplaced("S1")}, .inked = "+0 +1 +2 -3 +L0 +L1 -S0 -S1"},
      {.name = "print_tiff_spots_placed", .file = "logo.tif", .bytes = Sample("tcl_logo_cmyk_2extra.tif"),
       .sets = {kSpots}, .inked = "+0 +1 +2 -3 +L0 +L1 +S0 +S1"},
      // Hard-edged full and blank tones at the preset's resolution: every
      // raster mode writes the same bytes.
      {.name = "print_bars_modes_agree", .file = "bars.tif", .bytes = Tiff(kBars), .sets = {kSpots, "UseICC=0"},
       .inked = "+0 -1 +2 -3 +L0 -L1 +S0 -S1", .size = "16x12", .same = {{{"dfTurboMd=1"}}, {{"dfLargeImageMd=1"}}}},
      {.name = "print_bars_one_bit", .file = "bars.tif", .bytes = Tiff(kBars), .sets = {kSpots, "UseICC=0", "Bits=1"},
       .inked = "+0 -1 +2 -3 +L0 -L1 +S0 -S1", .same = {{{"dfTurboMd=1"}}, {{"dfLargeImageMd=1"}}}},
      {.name = "print_bars_upward", .file = "bars.tif", .bytes = Tiff(kBars),
       .sets = {kSpots, "UseICC=0", "dfImageUp=1"}, .inked = "+0 -1 +2 -3 +L0 -L1 +S0 -S1",
       .same = {{{"dfTurboMd=1"}}, {{"dfLargeImageMd=1"}}}},
      {.name = "print_bars_turned", .file = "bars.tif", .bytes = Tiff({64, 12, 4, 2, 5, 0, 0b010101, 0}),
       .sets = {kSpots, "UseICC=0", "dfImageRt=1", "dfRotLimit=0.5"}, .inked = "+0 -1 +2 -3 +L0 -L1 +S0 -S1",
       .size = "12x64", .same = {{{"dfTurboMd=1"}}, {{"dfLargeImageMd=1"}}}},
      {.name = "print_stops_at_a_broken_file", .file = "a.jpg", .bytes = Sample("flowers_rgb.jpg"), .exit = 1,
       .messages = {"Fail to Print !", "  a2.jpg: cannot read $A/RipIn/Working/00.jpg: *"},
       .files = "CustomFiles/a/{a2,a3}.jpg", .fault = "broken-then-good"},
      {.name = "print_no_process_slot", .file = "art.tif", .bytes = Tiff(kBars),
       .sets = {"PRNSequence=,,,,,,,,,,,,S0", "dfPreserveCF=0"}, .exit = 1,
       .messages = {Unplaced("0", "cyan"), Unplaced("1", "magenta"), Unplaced("2", "yellow"), Unplaced("3", "black"),
                    Unplaced("L0", "light cyan"), Unplaced("L1", "light magenta"), Unplaced("S1"), "Fail to Print !",
                    "  art.tif: the separation left none of the process slot files*"}},
      {.name = "print_preset_not_applied", .file = "art.tif", .bytes = Tiff(kBars), .sets = {"PRNSequence="}, .exit = 1,
       .messages = NotApplied(kSettingWrong, "Fail to Print !", "art.tif: the preset is not applied")},
      {.name = "print_unknown_item", .steps = {"print nothing"}, .exit = 1,
       .messages = {"Choose an item from Image List!"}},

      // ---- Print, PDF route (Ghostscript)
      {.name = "print_pdf_spots_unplaced", .file = "label.pdf", .bytes = Sample("spot_white_varnish.pdf"),
       .messages = {"Warning: spot S0 (White) is not printed: PRNSequence places S0 in no position",
                    "Warning: spot S1 (Varnish) is not printed: PRNSequence places S1 in no position"},
       .inked = "+0 +1 +2 +3 +L0 +L1 -S0 -S1", .same = {{{"dfTurboMd=1"}}}},
      {.name = "print_pdf_turned_past_one_inch", .file = "logo.pdf", .bytes = Sample("tcl_logo.pdf"),
       .sets = {"PdfSpotColorName=TCL RED", "dfImageRt=1", "dfRotLimit=1"},
       .messages = {"Warning: spot S0 (TCL RED) is not printed: PRNSequence places S0 in no position"},
       .size = "180x119"},
      {.name = "print_pdf_not_turned_under_two_inches", .file = "logo.pdf", .bytes = Sample("tcl_logo.pdf"),
       .sets = {"PdfSpotColorName=TCL RED", "dfImageRt=1", "dfRotLimit=2"},
       .messages = {"Warning: spot S0 (TCL RED) is not printed: PRNSequence places S0 in no position"},
       .size = "119x180"},

      // ---- Every ink printed or named in a warning
      {.name = "inks_second_listed_spot_after_a_blank_first", .file = "art.pdf", .bytes = SpotPdf({"Varnish"}),
       .sets = {kAll, "UseLc=0", "UseLm=0"}, .inked = "+0 +1 +2 -3 -S0 +S1"},
      // Every position keeps its dots whatever the others are (the planes
      // are halftoned two at a time).
      {.name = "print_dots_do_not_depend_on_other_positions", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"),
       .sets = {kSpots}, .same = {{.sets = {"PRNSequence=,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1"}, .blank = {0}}}},
      {.name = "large_image_dots_do_not_depend_on_other_positions", .file = "flowers.jpg",
       .bytes = Sample("flowers_rgb.jpg"), .sets = {kSpots, "dfLargeImageMd=1"},
       .same = {{.sets = {"PRNSequence=,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1"}, .blank = {0}}}},
      {.name = "inks_in_large_image_mode", .file = "art.pdf", .bytes = SpotPdf({"Varnish"}),
       .sets = {kAll, "UseLc=0", "UseLm=0", "dfLargeImageMd=1"}, .inked = "+0 +1 +2 -3 -S0 +S1"},
      {.name = "inks_both_spots_in_list_order", .file = "art.pdf", .bytes = SpotPdf({"Varnish", "White"}),
       .sets = {kAll, "UseLc=0", "UseLm=0"}, .inked = "+0 +1 +2 -3 +S0 +S1"},
      {.name = "inks_spots_the_sequence_places_nowhere", .file = "art.pdf", .bytes = SpotPdf({"White", "Varnish"}),
       .messages = {"Warning: spot S0 (White) is not printed: PRNSequence places S0 in no position",
                    "Warning: spot S1 (Varnish) is not printed: PRNSequence places S1 in no position"},
       .inked = "+0 +1 +2 -3 +L0 +L1 -S0 -S1"},
      {.name = "inks_spots_in_light_ink_slots", .file = "art.pdf", .bytes = SpotPdf({"White", "Varnish"}),
       .sets = {"PRNSequence=0,1,2,3,S0,S1", "UseLc=0", "UseLm=0"}, .inked = "+0 +1 +2 -3 +S0 +S1 -S0 -S1"},
      {.name = "inks_spot_not_in_the_list", .file = "art.pdf", .bytes = SpotPdf({"Pantone 123 C"}),
       .sets = {kAll, "UseLc=0", "UseLm=0"},
       .messages = {"Warning: spot colour \"Pantone 123 C\" is not printed: PdfSpotColorName does not name it"},
       .inked = "+0 +1 +2 -3"},
      {.name = "inks_a_seventh_spot", .file = "art.pdf", .bytes = SpotPdf({"A", "B", "C", "D", "E", "F", "G"}),
       .sets = {kAll, "UseLc=0", "UseLm=0", "PdfSpotColorName=A,B,C,D,E,F,G"},
       .messages = {"Warning: spot colour \"G\" is not printed: it is name 7 of PdfSpotColorName and only six spots "
                    "have channels"},
       .inked = "+0 +1 +2 -3 +S0 +S1 +S2 +S3 +S4 +S5"},
      {.name = "inks_dithered_separation_warns_the_same", .file = "art.pdf", .bytes = SpotPdf({"Pantone 123 C"}),
       .sets = {kAll, "UseLc=0", "UseLm=0"}, .steps = {"separate"},
       .messages = {"Warning: spot colour \"Pantone 123 C\" is not printed: PdfSpotColorName does not name it"},
       .files = "Separation/art/art_{0,1,2,3}.tiff"},

      // ---- Separate
      {.name = "separate_named_spots", .file = "label.pdf", .bytes = Sample("spot_white_varnish.pdf"),
       .sets = {"dfDitheredCk=0"}, .steps = {"separate"}, .files = "Separation/label/label_{0,1,2,3,L0,L1,S0,S1}.tif"},
      {.name = "separate_unnamed_spot", .file = "logo.pdf", .bytes = Sample("tcl_logo.pdf"), .sets = {"dfDitheredCk=0"},
       .steps = {"separate"}, .messages = {kTclRed}, .files = "Separation/logo/logo_{(TCL~RED),0,1,2,3,L0,L1}.tif"},
      {.name = "separate_six_inks", .file = "mixed.pdf", .bytes = Sample("gs9cm_mixed_rgb_cmyk.pdf"),
       .sets = {"defaultOutputProfile=cmykog_6clr.icc", "ICCOutputColors=Cyan,Magenta,Yellow,Black,Orange,Green",
                "PRNSequence=0,1,2,3,L0,L1,L2,L3,M0,M1"},
       .steps = {"separate"}, .files = "Separation/mixed/mixed_{0,1,2,3,L0,L1,M0,M1}.tiff", .fault = "six-ink-profile"},
      {.name = "separate_jpeg", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"), .sets = {"dfDitheredCk=0"},
       .steps = {"separate"}, .files = "Separation/flowers/flowers_{0,1,2,3,L0,L1}.tif"},
      {.name = "separate_tiff_extra_channels", .file = "logo.tif", .bytes = Sample("tcl_logo_cmyk_2extra.tif"),
       .sets = {"dfDitheredCk=0", kSpots}, .steps = {"separate"},
       .files = "Separation/logo/logo_{0,1,2,3,L0,L1,S0,S1}.tif"},
      {.name = "separate_tiff_through_ghostscript", .file = "logo.tif", .bytes = Sample("tcl_logo_cmyk_2extra.tif"),
       .sets = {"dfDitheredCk=0", "dfTifToPdf=1"}, .steps = {"separate"},
       .files = "Separation/logo/logo_{0,1,2,3,L0,L1,S0,S1}.tif"},
      {.name = "separate_alpha_is_no_spot", .file = "rgba.tif", .bytes = Tiff({4, 4, 3, 1, 2, 2, ~0u, 0}),
       .sets = {"dfDitheredCk=0"}, .steps = {"separate"}, .files = "Separation/rgba/rgba_{0,1,2,3,L0,L1}.tif"},
      {.name = "separate_light_blacks", .file = "logo.pdf", .bytes = Sample("tcl_logo.pdf"),
       .sets = {"dfDitheredCk=0", "UseLk=1", "UseLlk=1"}, .steps = {"separate"}, .messages = {kTclRed},
       .files = "Separation/logo/logo_{(TCL~RED),0,1,2,3,L0,L1,L2,L3}.tif"},
      {.name = "separate_not_preserved", .file = "logo.pdf", .bytes = Sample("tcl_logo.pdf"),
       .sets = {"dfDitheredCk=0", "dfPreserveCF=0"}, .steps = {"separate"}, .messages = {kTclRed},
       .files = "Separation/logo/logo_{(TCL~RED),0,1,2,3,L0,L1}.tif"},
      {.name = "separate_threads_agree", .file = "label.pdf", .bytes = Sample("spot_white_varnish.pdf"),
       .sets = {kSpots}, .steps = {"separate"}, .files = "Separation/label/label_{0,1,2,3,L0,L1,S0,S1}.tiff",
       .same = {{{"dfTurboMd=1"}}}},
      {.name = "separate_stops_at_a_broken_file", .file = "mix.pdf", .bytes = Sample("tcl_logo.pdf"),
       .sets = {"dfDitheredCk=0"}, .steps = {"separate"}, .exit = 1,
       .messages = {kTclRed, "Fail to Separate !", "  mix2.jpg: cannot read $A/RipIn/Working/00.jpg: *"},
       .files = "CustomFiles/mix/{mix2.jpg,mix3.pdf} Separation/mix/mix_{(TCL~RED),0,1,2,3,L0,L1}.tif",
       .fault = "broken-then-good"},
      {.name = "separate_planes_cannot_be_filed", .file = "logo.tif", .bytes = Sample("tcl_logo_cmyk_2extra.tif"),
       .sets = {"dfPreserveCF=0"}, .steps = {"separate"}, .exit = 1,
       .messages = {Unplaced("S0"), Unplaced("S1"), "Fail to Separate !",
                    "  logo.tif: cannot create the folder $A/RipIn/Separation/logo for the planes"},
       .files = "Separation/logo", .fault = "separation-is-file"},
      {.name = "separate_unknown_item", .steps = {"separate nothing"}, .exit = 1,
       .messages = {"Choose an item from Image List!"}},
      {.name = "separate_preset_not_applied", .file = "logo.pdf", .bytes = Sample("tcl_logo.pdf"),
       .sets = {"PRNSequence="}, .steps = {"separate"}, .exit = 1,
       .messages = NotApplied(kSettingWrong, "Fail to Separate !", "logo.pdf: the preset is not applied")},

      // ---- Compose
      {.name = "compose_black_first", .file = "bars.tif", .bytes = Tiff({16, 12, 4, 0, 5, 0, 0b1000, 0}),
       .sets = {"PRNSequence=3,2,1,0", "dfDitheredCk=0", "UseLc=0", "UseLm=0", "UseICC=0"},
       .steps = {"separate", "compose $I bars_2.tif"}, .inked = "+3 -2 -1 -0"},
      {.name = "compose_takes_only_its_own_planes", .file = "ph.tif", .bytes = Tiff(kBars),
       .steps = {"separate", "compose $I ph_0.tiff"},
       .messages = {"Warning: ph_(Gold).tiff is no channel plane of ph: it is not printed"},
       .files = "Separation/ph/ph_{(Gold),x_0}.tiff", .fault = "foreign-planes"},
      {.name = "compose_entry_not_listed", .file = "art.tif", .bytes = Tiff(kBars), .steps = {"compose $I art_0.tif"},
       .exit = 1, .messages = {"Choose an item from Separation List!"}},
      {.name = "compose_preset_not_applied", .file = "Separation/art/art_0.tif", .bytes = Tiff(kBars),
       .sets = {"PRNSequence="}, .steps = {"compose $I art_0.tif"}, .exit = 1,
       .messages = NotApplied("Apply the Setting first!", "Fail to Compose the files !", "the preset is not applied")},
      {.name = "fault_ghostscript_missing", .file = "logo.pdf", .bytes = Sample("tcl_logo.pdf"), .exit = 1,
       .messages = {"Fail to Print !", "  *"}, .fault = "gs-missing"},
      {.name = "fault_ghostscript_fails", .file = "logo.pdf", .bytes = Sample("tcl_logo.pdf"), .steps = {"separate"},
       .exit = 1,
       .messages = {"...", "Fail to Separate !",
                    "  logo.pdf: the separation produced none of the four process planes: gs exited with status 1: "
                    "Error: /undefined in --run--"},
       .fault = "gs-fails"},
      {.name = "fault_profile_junk_pdf", .file = "logo.pdf", .bytes = Sample("tcl_logo.pdf"), .exit = 1,
       .messages = {"...", "Fail to Print !", "  *"}, .fault = "profile-junk"},
      {.name = "fault_profile_junk_tiff", .file = "logo.tif", .bytes = Sample("tcl_logo_cmyk_2extra.tif"),
       .steps = {"separate"}, .exit = 1,
       .messages = {"...", "Fail to Separate !",
                    "  logo.tif: the ICC conversion failed: magick exited with status 1: magick: not an ICC profile: "
                    "$A/Configuration/Default/CMYK/default_cmyk.icc"},
       .fault = "profile-junk"},

      // ---- Hostile names: single arguments, no shell, nothing outside CustomFiles
      {.name = "hostile_file_name_pdf", .file = "$H.pdf", .bytes = Sample("tcl_logo.pdf"),
       .steps = {"import $F", "separate", "print"}, .messages = {kTclRed},
       .files = "CustomFiles/$H/$H.pdf Separation/$H/$H_{0,1,2,3,L0,L1}.tiff"},
      {.name = "hostile_file_name_tiff", .file = "$H.tif", .bytes = Sample("tcl_logo_cmyk_2extra.tif"),
       .steps = {"import $F", "separate", "print"}, .messages = {Unplaced("S0"), Unplaced("S1")},
       .files = "CustomFiles/$H/$H.tif Separation/$H/$H_{0,1,2,3,L0,L1}.tiff"},
      {.name = "hostile_profile_and_colour_names", .file = "label.pdf", .bytes = Sample("spot_white_varnish.pdf"),
       .sets = {"defaultCMYKProfile=$H.icc", "defaultOutputProfile=$H.icc",
                "ICCOutputColors=Cyan,Magenta,Yellow,Black,O'range \"x\"; $(touch qm-scenario-marker)",
                "PdfSpotColorName=W'hite; $(touch qm-scenario-marker),\xE9"},
       .steps = {"separate"}, .exit = 1, .messages = {"...", "Fail to Separate !", "  *"}, .fault = "hostile-profile"},

      // ---- Import
      {.name = "import_twice_numbers_the_copy", .file = "report.v2.pdf", .bytes = Literal("pdf"),
       .steps = {"import $F", "import $F"}, .files = "CustomFiles/report.v2/report.v2{,~(2)}.pdf"},
      {.name = "import_missing_file", .steps = {"import $S/none.pdf"}, .exit = 1,
       .messages = {"Fail to import files!", "  $S/none.pdf: No such file or directory"}},
  };
  // Names that would leave RipIn/CustomFiles: refused, or imported by their last part.
  for (const auto& [name, exit, files] : {std::tuple<const char*, int, const char*>{"...pdf", 1, ""},
                                          {"..tif", 1, ""},
                                          {". .jpg", 0, "CustomFiles/.~/.~.jpg"},
                                          {"..\\..\\escape.tif", 0, "CustomFiles/escape/escape.tif"},
                                          {"a\\..\\..\\b.pdf", 0, "CustomFiles/b/b.pdf"},
                                          {"....tif", 0, "CustomFiles/.../....tif"}}) {
    std::vector<std::string> messages;
    if (exit) messages = {"Fail to import files!", "  $S/" + std::string(name) + ": its name gives no item name"};
    t.push_back({.name = std::string("import_name_") + name, .file = name, .bytes = Literal(name),
                 .steps = {"import $F"}, .exit = exit, .messages = messages, .files = files});
  }
  // prn-info refuses a header this system never writes, naming the problem.
  using Byte = std::tuple<std::size_t, char, const char*>;
  for (const auto& [at, value, problem] : {Byte{28, 3, "channel count 3 is outside 4..18"},
                                           Byte{28, 19, "channel count 19 is outside 4..18"},
                                           Byte{35, 1, "reserved byte 35 is not 0"},
                                           Byte{47, 0x7F, "reserved byte 47 is not 0"}}) {
    t.push_back({.name = "prn_info_byte_" + std::to_string(at) + "_" + std::to_string(value), .file = "x.prn",
                 .bytes = PrnHeader(at, value), .steps = {"prn-info $F"}, .exit = 1,
                 .messages = {std::string("quillmark-cli: $S/x.prn: ") + problem}});
  }
  // Compose of dithered planes writes the Print's bytes, for every dots code.
  for (const std::vector<std::string>& dots : std::vector<std::vector<std::string>>{
           {"UseDots=111"}, {"UseDots=100"}, {"UseDots=11"}, {"UseDots=1"}, {"LargeDotStart=1"},
           {"LargeDotStart=1", "MiddleDotStart=1"}}) {
    std::vector<std::string> sets = {"dfDitheredCk=1"};
    sets.insert(sets.end(), dots.begin(), dots.end());
    t.push_back({.name = "compose_equals_print_" + dots.back(), .file = "flowers.jpg",
                 .bytes = Sample("flowers_rgb.jpg"), .sets = sets, .steps = {"separate", "compose $I flowers_0.tiff"},
                 .same = {{{}, {"print"}}}});
  }
  // dfMirror: the dots of the unmirrored job, each row flipped left to
  // right, after every turn, in every raster mode, in Separate + Compose
  // (dithered planes, and undithered ones ripped by Compose) and on both
  // routes.
  struct Mirror {
    std::string name;
    std::string file;
    MakeBytes bytes;
    std::vector<std::string> sets;
    std::vector<std::string> steps;
  };
  const std::vector<std::string> turned = {"dfImageRt=1", "dfRotLimit=0"};
  std::vector<Mirror> mirrors;
  for (const auto& [mode, modeSets] : {std::pair<std::string, std::vector<std::string>>{"sequential", {}},
                                       {"turbo", {"dfTurboMd=1"}},
                                       {"large_image", {"dfLargeImageMd=1"}}}) {
    for (const auto& [turn, turnSets] : {std::pair<std::string, std::vector<std::string>>{"", {}},
                                         {"_upward", {"dfImageUp=1"}},
                                         {"_turned", turned},
                                         {"_turned_anticlockwise_upward",
                                          {"dfImageRt=1", "dfRotLimit=0", "dfRotatedOri=1", "dfImageUp=1"}}}) {
      std::vector<std::string> sets = modeSets;
      sets.insert(sets.end(), turnSets.begin(), turnSets.end());
      mirrors.push_back({mode + turn, "flowers.jpg", Sample("flowers_rgb.jpg"), sets, {"print"}});
    }
  }
  mirrors.push_back({"one_bit", "bars.tif", Tiff(kBars), {kSpots, "UseICC=0", "Bits=1"}, {"print"}});
  mirrors.push_back({"pdf_route", "logo.pdf", Sample("tcl_logo.pdf"), {"PdfSpotColorName=TCL RED"}, {"print"}});
  mirrors.push_back({"large_image_pdf_turned", "logo.pdf", Sample("tcl_logo.pdf"),
                     {"PdfSpotColorName=TCL RED", "dfLargeImageMd=1", "dfImageRt=1", "dfRotLimit=0"}, {"print"}});
  mirrors.push_back({"separate_compose_dithered", "flowers.jpg", Sample("flowers_rgb.jpg"), {"dfDitheredCk=1"},
                     {"separate", "compose $I flowers_0.tiff"}});
  mirrors.push_back({"separate_compose_dithered_turned", "flowers.jpg", Sample("flowers_rgb.jpg"),
                     {"dfDitheredCk=1", "dfImageRt=1", "dfRotLimit=0", "dfImageUp=1"},
                     {"separate", "compose $I flowers_0.tiff"}});
  mirrors.push_back({"separate_compose_ripped_turned", "flowers.jpg", Sample("flowers_rgb.jpg"),
                     {"dfDitheredCk=0", "dfImageRt=1", "dfRotLimit=0"}, {"separate", "compose $I flowers_0.tif"}});
  for (const Mirror& m : mirrors) {
    std::vector<std::string> messages;
    if (m.file == "logo.pdf") messages = {"Warning: spot S0 (TCL RED) is not printed: PRNSequence places S0 in no "
                                          "position"};
    t.push_back({.name = "mirror_" + m.name, .file = m.file, .bytes = m.bytes, .sets = m.sets, .steps = m.steps,
                 .messages = messages, .same = {{.sets = {"dfMirror=1"}, .mirrored = true}}});
  }
  // The generated white underbase: at the white's position in every raster
  // mode, the same bytes in sequential and turbo mode, mirrored with the
  // rest; off and artwork print as before.
  const std::string kWhite = "PRNSequence=0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0";
  const Variant mirrored{.sets = {"dfMirror=1"}, .mirrored = true};
  t.push_back({.name = "underbase_generated_modes_agree", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"),
               .sets = {kWhite, "Underbase=generate", "Knockout=white", "Choke=3"}, .inked = "+0 +1 +2 +3 +L0 +L1 +S0",
               .same = {{{"dfTurboMd=1"}}, mirrored}});
  t.push_back({.name = "underbase_generated_turned", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"),
               .sets = {kWhite, "Underbase=generate", "dfImageRt=1", "dfRotLimit=0", "dfImageUp=1"},
               .inked = "+0 +1 +2 +3 +L0 +L1 +S0", .size = "154x205", .same = {{{"dfTurboMd=1"}}, mirrored}});
  t.push_back({.name = "underbase_generated_large_image", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"),
               .sets = {kWhite, "Underbase=generate", "dfLargeImageMd=1", "dfImageRt=1", "dfRotLimit=0"},
               .inked = "+0 +1 +2 +3 +L0 +L1 +S0", .same = {mirrored}});
  t.push_back({.name = "underbase_off_adds_no_position", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"),
               .sets = {kWhite}, .inked = "+0 +1 +2 +3 +L0 +L1", .same = {{{"Underbase=artwork", "Choke=9"}}}});
  t.push_back({.name = "underbase_both_on_a_white_spot", .file = "label.pdf", .bytes = Sample("spot_white_varnish.pdf"),
               .sets = {kSpots, "Underbase=both"}, .inked = "+0 +1 +2 +3 +L0 +L1 +S0 +S1",
               .same = {{{"dfTurboMd=1"}}}});
  // Full and blank tones: the white is all large dots where it is, so every
  // mode writes the same bytes, also where it crosses the large-image bands
  // (two rows each here): no seam, no row lost or doubled.
  const TiffShape tall{64, 200, 4, 2, 5, 0, 0b010101, 0};
  for (const auto& [name, extra] : {std::pair<std::string, std::vector<std::string>>{"", {}},
                                    {"_turned", {"dfImageRt=1", "dfRotLimit=0"}}}) {
    std::vector<std::string> sets = {kSpots, "UseICC=0", "Underbase=generate", "Choke=1"};
    sets.insert(sets.end(), extra.begin(), extra.end());
    t.push_back({.name = "underbase_bars_modes_agree" + name, .file = "bars.tif", .bytes = Tiff(tall), .sets = sets,
                 .inked = "+0 -1 +2 -3 +L0 -L1 +S0 -S1", .size = extra.empty() ? "64x200" : "200x64",
                 .same = {{{"dfTurboMd=1"}}, {{"dfLargeImageMd=1"}}, {.sets = {"dfLargeImageMd=1", "dfMirror=1"},
                                                                      .mirrored = true}}});
  }
  // No white where the ink has no name or no position, and none in an
  // undithered separation: each job says so.
  t.push_back({.name = "underbase_ink_not_placed", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"),
               .sets = {"Underbase=generate"},
               .messages = {"Warning: the white underbase S0 (White) is not printed: PRNSequence places S0 in no "
                            "position"},
               .inked = "+0 +1 +2 +3 +L0 +L1"});
  t.push_back({.name = "underbase_ink_not_named", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"),
               .sets = {kWhite, "Underbase=both", "UnderbaseInk=S2"}, .steps = {"separate"},
               .messages = {"Warning: the white underbase S2 is not printed: PdfSpotColorName names no spot S2"},
               .files = "Separation/flowers/flowers_{0,1,2,3,L0,L1}.tiff"});
  t.push_back({.name = "underbase_undithered_separation", .file = "flowers.jpg", .bytes = Sample("flowers_rgb.jpg"),
               .sets = {kWhite, "Underbase=generate", "dfDitheredCk=0"}, .steps = {"separate"},
               .messages = {"Warning: the white underbase is not generated: the planes are filed undithered "
                            "(\"Dithered\" is off)"},
               .files = "Separation/flowers/flowers_{0,1,2,3,L0,L1}.tif"});
  // Compose rips such planes through the Print job's rows, still without a white.
  t.push_back({.name = "underbase_undithered_compose", .file = "label.pdf", .bytes = Sample("spot_white_varnish.pdf"),
               .sets = {kSpots, "Underbase=generate", "dfDitheredCk=0"}, .steps = {"separate", "compose $I label_0.tif"},
               .inked = "+0 +1 +2 +3 +L0 +L1 +S0 +S1", .same = {{{"Underbase=off"}}}});
  // The dithered Separate files the white as its spot plane; Compose packs
  // it: the Print's bytes, turned, mirrored and on the PDF route too.
  for (const auto& [name, file, bytes, extra] :
       {std::tuple<std::string, std::string, MakeBytes, std::vector<std::string>>{
            "jpeg", "flowers.jpg", Sample("flowers_rgb.jpg"), {kWhite, "Underbase=generate", "Knockout=white"}},
        {"jpeg_turned_mirrored", "flowers.jpg", Sample("flowers_rgb.jpg"),
         {kWhite, "Underbase=generate", "Choke=4", "dfImageRt=1", "dfRotLimit=0", "dfImageUp=1", "dfMirror=1"}},
        {"pdf_both", "label.pdf", Sample("spot_white_varnish.pdf"), {kSpots, "Underbase=both", "UnderBlack=40"}}}) {
    std::vector<std::string> sets = {"dfDitheredCk=1"};
    sets.insert(sets.end(), extra.begin(), extra.end());
    const std::string stem = StemOf(file);
    t.push_back({.name = "underbase_compose_equals_print_" + name, .file = file, .bytes = bytes, .sets = sets,
                 .steps = {"separate", "compose $I " + stem + "_0.tiff"},
                 .inked = stem == "label" ? "+0 +1 +2 +3 +L0 +L1 +S0 +S1" : "+0 +1 +2 +3 +L0 +L1 +S0",
                 .same = {{{}, {"print"}}}});
  }
  // The corpus as artwork of Separate and Print, and as a plane of Compose:
  // the failure message with its cause, and nothing lost.
  for (const BadFile& bad : Corpus()) {
    const std::string stem = StemOf(bad.name);
    // Ghostscript may print its own complaint before the job's message.
    const std::string tool = ExtensionLower(bad.name) == "pdf" ? "..." : "";
    for (const char* job : {"Separate", "Print"}) {
      std::vector<std::string> messages = {std::string("Fail to ") + job + " !", "  " + bad.name + ": *"};
      if (!tool.empty()) messages.insert(messages.begin(), tool);
      t.push_back({.name = "bad_" + ToLower(job) + "_" + stem + "_" + ExtensionLower(bad.name), .file = bad.name,
                   .bytes = bad.bytes, .sets = {"dfPreserveCF=0"}, .steps = {ToLower(job)}, .exit = 1,
                   .messages = messages});
    }
    // An undithered plane is ripped first (the rip passes over what it cannot
    // read), a dithered one composed directly; both fail the Compose.
    for (const char* ext : {".tif", ".tiff"}) {
      t.push_back({.name = "bad_plane" + std::string(ext + 1) + "_" + stem + "_" + ExtensionLower(bad.name),
                   .file = "Separation/job/job_0" + std::string(ext), .bytes = bad.bytes,
                   .steps = {"compose $I job_0" + std::string(ext)}, .exit = 1,
                   .messages = {"Fail to Compose the files !", "  *"}});
    }
  }
  return t;
}

class Scenarios : public ::testing::TestWithParam<Scenario> {};

TEST_P(Scenarios, Run) { RunScenario(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Table, Scenarios, ::testing::ValuesIn(Table()), [](const auto& info) {
  std::string name;
  for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
});

}  // namespace
}  // namespace qm::test
