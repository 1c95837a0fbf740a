// Hostile values from presets and file names: quotes, semicolons, spaces,
// "$(...)" and non-ASCII bytes reach the external tools as single arguments
// and run no command; imported names with ".." or a separator stay inside
// RipIn/CustomFiles.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/reliability/cli_process.h"

namespace qm::test {
namespace {

// A name that a shell would split, unquote and expand (and that runs
// `touch MARKER` if it ever reaches one).
std::string HostileName(const fs::path& marker, const std::string& extension) {
  const std::string m = marker.filename().string();
  return "it's \"a\"; $(touch " + m + ") `touch " + m + "` \xC3\xBC\xFF & b." + extension;
}

class HostileValues : public ::testing::Test {
 protected:
  void SetUp() override {
    UseFastPreset(app);
    // Relative in the names (a file name holds no '/'), so it would land in
    // the working folder of whatever shell ran it: the test's, inherited.
    marker = fs::current_path() / "qm-hostile-marker";
    fs::remove(marker);
    // Ghostscript behind a recorder: one line per argument it was given.
    fs::remove(app / "bin/gs");
    WriteFileBytes(app / "bin/gs", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + (tmp / "gs-args").string() +
                                       "'\nexec /usr/bin/gs \"$@\"\n");
    fs::permissions(app / "bin/gs", fs::perms::owner_all);
  }
  std::vector<std::string> GhostscriptArguments() {
    std::vector<std::string> lines;
    const std::string text = ReadFileBytes(tmp / "gs-args");
    std::size_t at = 0;
    for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) {
      lines.push_back(text.substr(at, nl - at));
    }
    return lines;
  }
  ScratchAppDir app;
  TempDir tmp, src;
  fs::path marker;
};

TEST_F(HostileValues, ProfileNamesFromThePresetAreSingleArguments) {
  const std::string name = HostileName(marker, "icc");
  const fs::path folder = app / "Configuration/Default/CMYK";
  fs::copy_file(folder / "default_cmyk.icc", folder / name);
  fs::copy_file(app / "Configuration/Default/Output/default_cmyk.icc", app / "Configuration/Default/Output" / name);
  SetConfigValue(app / "Configuration/Default.cfg", "defaultCMYKProfile", name);
  SetConfigValue(app / "Configuration/Default.cfg", "defaultOutputProfile", name);
  fs::copy_file(SamplesDir() / "tcl_logo.pdf", src / "logo.pdf");
  const std::string item = ImportOne(app.path(), src / "logo.pdf");
  // Ghostscript itself may refuse such a profile name; the job then reports
  // its failure. What matters here is what reached the tool, and that no
  // shell ran.
  const CliResult r = RunCli(app.path(), {"print", item});
  EXPECT_EQ(r.signal, 0);
  EXPECT_TRUE(r.exitStatus == 0 || r.err.find("Fail to Print !\n") != std::string::npos) << r.err;
  const auto args = GhostscriptArguments();
  const auto has = [&](const std::string& a) { return std::find(args.begin(), args.end(), a) != args.end(); };
  EXPECT_TRUE(has("-sDefaultCMYKProfile=" + (folder / name).string()));
  EXPECT_TRUE(has("-sOutputICCProfile=" + (app / "Configuration/Default/Output" / name).string()));
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_EQ(fs::exists(app / "RipIn/UserPrn" / (item + ".prn")), r.exitStatus == 0);
}

TEST_F(HostileValues, SpotAndColourNamesFromThePresetAreSingleArguments) {
  const std::string colours = "Cyan,Magenta,Yellow,Black,O'range \"x\"; $(touch qm-hostile-marker)";
  SetConfigValue(app / "Configuration/Default.cfg", "ICCOutputColors", colours);
  SetConfigValue(app / "Configuration/Default.cfg", "PdfSpotColorName", "W'hite; $(touch qm-hostile-marker),\xE9");
  fs::copy_file(SamplesDir() / "spot_white_varnish.pdf", src / "spot.pdf");
  const std::string item = ImportOne(app.path(), src / "spot.pdf");
  const CliResult r = RunCli(app.path(), {"separate", item});
  EXPECT_NE(r.exitStatus, 2) << r.err;
  const auto args = GhostscriptArguments();
  EXPECT_NE(std::find(args.begin(), args.end(), "-sICCOutputColors=" + colours), args.end());
  EXPECT_FALSE(fs::exists(marker));
}

// Import, Separate and Print of files whose names carry everything a shell
// would act on; both tool routes (Ghostscript, our magick).
TEST_F(HostileValues, ImportedFileNamesRunNoCommand) {
  for (const char* sample : {"tcl_logo.pdf", "tcl_logo_cmyk_2extra.tif"}) {
    const std::string extension = ExtensionLower(sample);
    const std::string name = StemOf(sample) + " " + HostileName(marker, extension);
    fs::copy_file(SamplesDir() / sample, src / name);
    const std::string item = ImportOne(app.path(), src / name);
    EXPECT_EQ(item, StemOf(name));
    const CliResult separated = RunCli(app.path(), {"separate", item});
    EXPECT_EQ(separated.exitStatus, 0) << separated.err;
    EXPECT_FALSE(ListFolder(app / "RipIn/Separation" / item, "*.tif?", EntryKind::Files).empty());
    const CliResult printed = RunCli(app.path(), {"print", item});
    EXPECT_EQ(printed.exitStatus, 0) << printed.err;
    EXPECT_TRUE(fs::exists(app / "RipIn/UserPrn" / (item + ".prn"))) << item;
    EXPECT_FALSE(fs::exists(marker));
    fs::remove(src / name);
  }
}

// Names whose stem is "..", ".", or holds a backslash (a separator where the
// program came from): nothing is written outside RipIn/CustomFiles.
TEST_F(HostileValues, ImportedNamesStayInsideCustomFiles) {
  CreateFolder(app / "RipIn/CustomFiles");
  const auto outside = [&] {
    std::vector<std::string> files;
    for (const std::string& rel : FilesBelow(app.path())) {
      if (rel.rfind("RipIn/CustomFiles/", 0) != 0) files.push_back(rel);
    }
    return files;
  };
  const std::vector<std::string> before = outside();
  for (const char* name : {"...pdf", "..tif", ". .jpg", "..\\..\\escape.tif", "a\\..\\..\\b.pdf", "....tif"}) {
    WriteFileBytes(src / name, "bytes of " + std::string(name));
    const CliResult r = RunCli(app.path(), {"import", (src / name).string()});
    EXPECT_NE(r.exitStatus, 2) << name;
    EXPECT_EQ(r.signal, 0) << name;
  }
  EXPECT_EQ(outside(), before);
  for (const std::string& rel : FilesBelow(app / "RipIn/CustomFiles")) {
    const fs::path canonical = fs::weakly_canonical(app / "RipIn/CustomFiles" / rel);
    EXPECT_EQ(canonical.string().rfind(fs::weakly_canonical(app / "RipIn/CustomFiles").string() + "/", 0), 0u)
        << rel;
    EXPECT_NE(fs::path(rel).parent_path(), fs::path()) << rel << " is not inside an item folder";
  }
  // The same through the CLI's path argument: a path with ".." names a real
  // file, which is imported by its own name.
  fs::create_directories(src / "sub");
  const CliResult r = RunCli(app.path(), {"import", (src / "sub" / ".." / "..tif").string()});
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(outside(), before);
}

}  // namespace
}  // namespace qm::test
