// Every file of the bad-input corpus through Separate, Print and Compose of
// quillmark-cli: the command's failure message and exit status 1, no crash,
// no hang, the imported file kept in its item folder ("Preserved" checked),
// and no "*.pr?" file left anywhere below RipIn.
#include <gtest/gtest.h>

#include <cctype>

#include "platform/platform.h"
#include "tests/badinput/bad_files.h"
#include "tests/reliability/cli_process.h"

namespace qm::test {
namespace {

class BadInput : public ::testing::TestWithParam<BadFile> {
 protected:
  void SetUp() override {
    UseFastPreset(app);
    WriteFileBytes(src / GetParam().name, GetParam().bytes);
  }
  // The item's folder holds the imported file byte for byte.
  void ExpectImportedFileKept(const std::string& item) {
    const fs::path kept = app / "RipIn/CustomFiles" / item / GetParam().name;
    ASSERT_TRUE(fs::exists(kept)) << kept;
    EXPECT_EQ(ReadFileBytes(kept), GetParam().bytes);
  }
  void ExpectFailure(const CliResult& r, const std::string& lastMessage, const std::string& orMessage = "") {
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.signal, 0) << "ended by signal " << r.signal << "\n" << r.err;
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    // The failure message, then one indented line with its cause.
    const std::size_t causeStart = r.err.rfind("\n  ", r.err.size() - 1);
    ASSERT_NE(causeStart, std::string::npos) << r.err;
    EXPECT_GT(r.err.size(), causeStart + 4) << "an empty cause\n" << r.err;
    EXPECT_EQ(r.err.find('\n', causeStart + 1), r.err.size() - 1) << "the cause is one line\n" << r.err;
    const std::size_t messageStart = r.err.rfind('\n', causeStart - 1) + 1;
    const std::string message = r.err.substr(messageStart, causeStart - messageStart);
    EXPECT_TRUE(message == lastMessage || (!orMessage.empty() && message == orMessage)) << r.err;
    EXPECT_EQ(r.err.find("AddressSanitizer"), std::string::npos) << r.err;
    EXPECT_TRUE(PrnFilesBelow(app.path()).empty()) << PrnFilesBelow(app.path()).front();
  }
  ScratchAppDir app;
  TempDir src;
};

// With "Preserved" on and off: a failed job gives its artwork back.
TEST_P(BadInput, SeparateFailsAndKeepsTheFile) {
  const std::string item = ImportOne(app.path(), src / GetParam().name);
  for (const char* preserve : {"dfPreserveCF=1", "dfPreserveCF=0"}) {
    ExpectFailure(RunCli(app.path(), {"--set", preserve, "separate", item}), "Fail to Separate !");
    ExpectImportedFileKept(item);
  }
  EXPECT_TRUE(FilesBelow(app / "RipIn/Separation").empty());
}

TEST_P(BadInput, PrintFailsAndKeepsTheFile) {
  const std::string item = ImportOne(app.path(), src / GetParam().name);
  for (const char* preserve : {"dfPreserveCF=1", "dfPreserveCF=0"}) {
    ExpectFailure(RunCli(app.path(), {"--set", preserve, "print", item}), "Fail to Print !");
    ExpectImportedFileKept(item);
  }
}

// The file's bytes as the plane of a Separation List entry: undithered
// planes are ripped first, dithered ones composed directly.
TEST_P(BadInput, ComposeFailsOnItAsAPlane) {
  CreateFolder(app / "RipIn/CustomFiles/job");
  WriteFileBytes(app / "RipIn/Separation/job/job_0.tif", GetParam().bytes);
  // An unreadable undithered plane fails its rip step, or, when the rip
  // skips it, the composing that needs it.
  ExpectFailure(RunCli(app.path(), {"compose", "job", "job_0.tif"}), "Fail to Rip the files !",
                "Fail to Compose the files !");
  WriteFileBytes(app / "RipIn/Separation/job/job_0.tiff", GetParam().bytes);
  ExpectFailure(RunCli(app.path(), {"compose", "job", "job_0.tiff"}), "Fail to Compose the files !");
}

// prn-info refuses a header this system never writes, naming the problem on
// standard error; a sound one of 4 channels, 1 x 1 pixels at 2 bits passes.
TEST(BadPrn, PrnInfoRefusesHeadersOutsideTheFormat) {
  const struct {
    std::size_t offset;
    char value;
    const char* message;  // empty: accepted
  } cases[] = {{0, 0x55, ""},
               {28, 3, "channel count 3 is outside 4..18"},
               {28, 19, "channel count 19 is outside 4..18"},
               {35, 1, "reserved byte 35 is not 0"},
               {47, 0x7F, "reserved byte 47 is not 0"}};
  ScratchAppDir app;
  TempDir dir;
  for (const auto& c : cases) {
    std::string prn(48 + 16, '\0');
    const uint8_t fields[] = {0x55, 0x55, 0, 0, 0xD0, 2, 0, 0, 0xD0, 2, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0,
                              1,    0,    0, 0, 0,    0, 0, 0, 4,    0, 0, 0, 2};
    std::copy(std::begin(fields), std::end(fields), prn.begin());
    prn[c.offset] = c.value;
    WriteFileBytes(dir / "x.prn", prn);
    const CliResult r = RunCli(app.path(), {"prn-info", (dir / "x.prn").string()});
    EXPECT_EQ(r.exitStatus, *c.message ? 1 : 0) << c.offset << ": " << r.err;
    EXPECT_EQ(r.err, *c.message ? "quillmark-cli: " + (dir / "x.prn").string() + ": " + c.message + "\n" : "");
  }
}

}  // namespace

void PrintTo(const BadFile& f, std::ostream* os) { *os << f.name << " (" << f.bytes.size() << " bytes)"; }

namespace {

std::string CaseName(const ::testing::TestParamInfo<BadFile>& info) {
  std::string name;
  for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInput, ::testing::ValuesIn(BadInputCorpus()), CaseName);

}  // namespace
}  // namespace qm::test
