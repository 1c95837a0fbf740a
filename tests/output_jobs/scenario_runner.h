// The runner of the end-to-end scenario table (scenarios_test.cpp).
//
// A scenario makes its artwork, puts it in a fresh AppDir (the fast preset),
// sets up its fault, runs its quillmark-cli steps with its --set pairs and
// checks: the exit status and every message line of the last step, the
// files below RipIn, the positions of each PRN file that carry dots, and
// that each of its variants writes the same files. Every run also keeps the
// rules of a job: no crash or hang, the Configuration untouched, nothing
// written outside RipIn, no command run by a shell, and after a failure the
// older PRN file of the item and its artwork as they were, no new "*.pr?".
//
// QM_SCENARIO_DIGESTS=FILE appends "scenario file sha256" lines for every
// file the jobs wrote below RipIn (plane files by their size, depth and
// pixels), the prn-info output (ink figures) of every PRN file and the
// message text, so two builds can be compared (sort, then diff).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/support/cli_runner.h"

namespace qm::test {

// The bytes of an artwork, made in `scratch` when it needs a tool.
using MakeBytes = std::function<std::string(const fs::path& scratch)>;

// Other --set pairs and steps that must write the same files; `mirrored`:
// the same PRN files with every row flipped left to right (the scenario's
// own files must not be symmetric, or the check could not see a mirror).
struct Variant {
  std::vector<std::string> sets{};
  std::vector<std::string> steps{};  // empty: the scenario's
  bool mirrored = false;
  // Positions the variant leaves blank: its PRN file is the scenario's with
  // their rows zero (the .prn files only).
  std::vector<uint32_t> blank{};
};

struct Scenario {
  std::string name{};
  // Where the artwork goes: "x.tif" is the item x's file in CustomFiles,
  // "Separation/x/x_0.tif" a plane of item x; a step that names $F takes it
  // from a scratch folder instead.
  std::string file{};
  MakeBytes bytes{};
  std::vector<std::string> sets{};  // --set pairs of every step
  // quillmark-cli commands; $I is the item, $F the artwork's path, $S the
  // scratch folder; a step without $ takes the item as its argument.
  std::vector<std::string> steps = {"print"};
  int exit = 0;
  // Standard error of the last step without its "log:" lines; $A is the
  // AppDir, $S the scratch folder, a trailing '*' matches any rest.
  std::vector<std::string> messages{};
  // Files below RipIn after the last step but the Working folder, the
  // item's PRN file and the placed artwork; "a{b,c}d" is abd acd, ~ a space.
  std::string files{};
  std::string inked{};  // "+0 -1 ...": the slot of each PRN position, '+' where it has dots
  std::string size{};   // "WxH" of the PRN file, when given
  std::string fault{};  // set up before the steps (see SetUpFault)
  std::vector<Variant> same{};
};

void RunScenario(const Scenario& s);

// Artwork makers.
MakeBytes Sample(const std::string& name);  // a file of tests/data
MakeBytes Head(const std::string& name, double fraction);
// The first `keep` of the bytes with `bytes` written at `at`.
MakeBytes Patched(const MakeBytes& base, std::size_t at, const std::string& bytes, double keep = 1.0);
MakeBytes Literal(const std::string& bytes);
// An uncompressed 8-bit TIFF of 4 x 4 pixel blocks: sample k is full
// (255) on the dark blocks where bit k of `inkMask` is set, 0 elsewhere.
// `claimed` > 0 replaces both dimensions in the directory only.
struct TiffShape {
  uint32_t width = 16, height = 12;
  uint16_t colours = 4, extras = 0, photometric = 5, extraKind = 0;  // 2: alpha
  uint32_t inkMask = ~0u, claimed = 0;
};
MakeBytes Tiff(const TiffShape& shape);
std::string TiffBytes(const TiffShape& shape);
// A 2 x 1 inch PDF, a CMYK square and a square of 60 % of each spot colour.
MakeBytes SpotPdf(const std::vector<std::string>& spots);

}  // namespace qm::test
