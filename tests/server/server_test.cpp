// quillmark-server on a scratch AppDir, on a free loopback port, driven by
// CUPS's ipptool as any IPP client would: the printers it offers, jobs that
// complete with the CLI's very bytes, jobs that fail with the CLI's cause,
// names that never replace another job's PRN. Every wait is bounded.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/platform.h"
#include "server/job_naming.h"
#include "tests/support/cli_runner.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

// A port nothing listens on now (the kernel's choice).
int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

// Runs a command line and returns what it printed (both streams).
std::string Output(const std::string& command) {
  std::string out;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return out;
  std::array<char, 4096> buf{};
  while (std::fgets(buf.data(), buf.size(), p)) out += buf.data();
  ::pclose(p);
  return out;
}

// One ipptool test: `head` before the operation attributes (a DELAY), the
// printer's URI among them, then `body`.
std::string IppTest(const std::string& name, const std::string& operation, const std::string& head,
                    const std::string& body) {
  return "{\n  NAME \"" + name + "\"\n  OPERATION " + operation + "\n" + head +
         "  GROUP operation-attributes-tag\n  ATTR charset attributes-charset utf-8\n"
         "  ATTR naturalLanguage attributes-natural-language en\n  ATTR uri printer-uri $uri\n" +
         body + "}\n";
}

// Print-Job of a document in `format` with job-name and, after `then`,
// Get-Job-Attributes until the job has ended.
std::string PrintTest(const std::string& format, const std::string& then = {}) {
  return IppTest("Print-Job", "Print-Job", "",
                 "  ATTR name requesting-user-name quillmark-test\n  ATTR name job-name $job_name\n"
                 "  ATTR mimeMediaType document-format " + format +
                     "\n  FILE $filename\n  STATUS successful-ok\n  EXPECT job-id\n") +
         then +
         IppTest("Wait for the end", "Get-Job-Attributes", "  DELAY 0.2\n",
                 "  ATTR integer job-id $job-id\n"
                 "  ATTR keyword requested-attributes job-state,job-state-message,job-state-reasons\n"
                 "  STATUS successful-ok\n  EXPECT job-state WITH-VALUE >6 REPEAT-NO-MATCH REPEAT-LIMIT 600\n"
                 "  DISPLAY job-state\n  DISPLAY job-state-message\n");
}

const std::string kPrintAndWait = PrintTest("$filetype");

const std::string kPrinterAttributes = IppTest(
    "Get-Printer-Attributes", "Get-Printer-Attributes", "",
    "  ATTR keyword requested-attributes printer-name,document-format-supported\n  STATUS successful-ok\n"
    "  EXPECT document-format-supported WITH-VALUE application/pdf\n"
    "  EXPECT document-format-supported WITH-VALUE image/jpeg\n"
    "  EXPECT document-format-supported WITH-VALUE image/tiff\n  DISPLAY printer-name\n");

// Print-Job, Cancel-Job a second after it prints, then until it has ended.
const std::string kPrintAndCancel = PrintTest(
    "application/pdf",
    IppTest("Wait until it prints", "Get-Job-Attributes", "  DELAY 0.2\n",
            "  ATTR integer job-id $job-id\n  STATUS successful-ok\n"
            "  EXPECT job-state WITH-VALUE 5 REPEAT-NO-MATCH REPEAT-LIMIT 300\n") +
        IppTest("Cancel-Job", "Cancel-Job", "  DELAY 1\n",
                "  ATTR integer job-id $job-id\n  ATTR name requesting-user-name quillmark-test\n"
                "  STATUS successful-ok\n"));

class Server : public ::testing::Test {
 protected:
  void SetUp() override {
    UseFastPreset(app);
    // A second preset makes a second printer.
    fs::copy_file(app / "Configuration/Default.cfg", app / "Configuration/Second.cfg");
    fs::copy(app / "Configuration/Default", app / "Configuration/Second", fs::copy_options::recursive);
    WriteFileBytes(tests / "print.test", kPrintAndWait);
    WriteFileBytes(tests / "attributes.test", kPrinterAttributes);
    WriteFileBytes(tests / "cancel.test", kPrintAndCancel);
    port = FreeLoopbackPort();
    const std::string log = (tests / "server.log").string();
    pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(err, 1);
      ::dup2(err, 2);
      const std::string server = (BuiltAppDir() / "quillmark-server").string();
      const std::string portText = std::to_string(port);
      ::execl(server.c_str(), server.c_str(), "--app-dir", app.path().c_str(), "--port", portText.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (ReadFileBytes(tests / "server.log").find("listening on") == std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), until) << ReadFileBytes(tests / "server.log");
      std::this_thread::sleep_for(100ms);
    }
  }
  void TearDown() override {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      int status = 0;
      for (int i = 0; i < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(100ms);
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
  }
  // For a failure: the server's log, then the end of ipptool's report
  // (its last request and why it ended), short enough to be read whole.
  std::string Explain(const std::string& out) const {
    std::size_t from = out.size();
    for (int lines = 0; lines < 16 && from > 0; ++lines) from = out.rfind('\n', from - 1);
    return "server log:\n" + ReadFileBytes(tests / "server.log") + "ipptool ended with:\n" +
           out.substr(from == std::string::npos ? 0 : from);
  }
  std::string Uri(const std::string& printer) const {
    return "ipp://127.0.0.1:" + std::to_string(port) + "/ipp/print/" + printer;
  }
  // The job's final state and message, as ipptool showed them.
  std::string Print(const fs::path& file, const std::string& jobName, const std::string& format,
                    const std::string& printer = "Default") {
    return Output("timeout 180 ipptool -tv -T 60 -f '" + file.string() + "' -d job_name='" + jobName +
                  "' -d filetype=" + format + " " + Uri(printer) + " '" + (tests / "print.test").string() + "'");
  }
  // What `quillmark-cli --preset NAME.cfg print ITEM` makes of the same file.
  std::string CliPrn(const std::string& sample, const std::string& name) {
    ScratchAppDir other;
    UseFastPreset(other);
    fs::create_directories(other / ("RipIn/CustomFiles/" + StemOf(name)));
    fs::copy_file(SamplesDir() / sample, other / ("RipIn/CustomFiles/" + StemOf(name) + "/" + name));
    const CliResult r = RunCli(other.path(), {"--preset", "Default.cfg", "print", StemOf(name)});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    return ReadFileBytes(other / ("RipIn/UserPrn/" + StemOf(name) + ".prn"));
  }

  ScratchAppDir app;
  TempDir tests;
  int port = 0;
  pid_t pid = -1;
};

TEST_F(Server, OnePrinterPerPresetTakesPdfJpegAndTiff) {
  for (const char* printer : {"Default", "Second"}) {
    const std::string out =
        Output("timeout 60 ipptool -tv -T 30 " + Uri(printer) + " '" + (tests / "attributes.test").string() + "'");
    EXPECT_NE(out.find("[PASS]"), std::string::npos) << out;
    EXPECT_NE(out.find(std::string("printer-name (nameWithoutLanguage) = ") + printer), std::string::npos) << out;
  }
}

struct JobRow {
  const char* name;
  const char* sample;
  const char* format;
  const char* jobName;
};

class ServerJobs : public Server, public ::testing::WithParamInterface<JobRow> {};

TEST_P(ServerJobs, AJobCompletesWithTheClisBytes) {
  const JobRow& row = GetParam();
  const std::string out = Print(SamplesDir() / row.sample, row.jobName, row.format);
  EXPECT_NE(out.find("job-state (enum) = completed"), std::string::npos) << Explain(out);
  const std::string item = server::ItemNameOf(row.jobName, 1);
  const std::string prn = ReadFileBytes(app / ("RipIn/UserPrn/" + item + ".prn"));
  EXPECT_FALSE(prn.empty());
  EXPECT_TRUE(prn == CliPrn(row.sample, item + "." + ExtensionLower(row.sample)))
      << "the server's PRN differs from the CLI's";
}

INSTANTIATE_TEST_SUITE_P(Formats, ServerJobs,
                         ::testing::Values(JobRow{"jpeg", "flowers_rgb.jpg", "image/jpeg", "Flowers for the shop"},
                                           JobRow{"pdf", "tcl_logo.pdf", "application/pdf", "logo.pdf"},
                                           JobRow{"tiff", "tcl_logo_cmyk_2extra.tif", "image/tiff", "spots"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Server, ABadDocumentIsAbortedWithTheClisCauseAndKept) {
  const std::string out = Print(SamplesDir() / "flowers_rgb.jpg", "photo.pdf", "application/pdf");
  EXPECT_NE(out.find("job-state (enum) = aborted"), std::string::npos) << out;
  EXPECT_NE(out.find("job-state-message (textWithoutLanguage) = photo.pdf: photo.pdf is a JPEG image, not a PDF"),
            std::string::npos)
      << out;
  EXPECT_TRUE(fs::exists(app / "RipIn/Failed/Default/photo.pdf"));
  EXPECT_NE(ReadFileBytes(app / "RipIn/Failed/Default/photo.pdf.reason.txt").find("is a JPEG image"),
            std::string::npos);
  EXPECT_TRUE(ListFolder(app / "RipIn/UserPrn", "*", EntryKind::Files).empty());
}

TEST_F(Server, TwoJobsOfOneNameMakeTwoPrnFiles) {
  for (int i = 0; i < 2; ++i) {
    const std::string out = Print(SamplesDir() / "flowers_rgb.jpg", "proof", "image/jpeg", i ? "Second" : "Default");
    EXPECT_NE(out.find("job-state (enum) = completed"), std::string::npos) << Explain(out);
  }
  EXPECT_EQ(ListFolder(app / "RipIn/UserPrn", "*.prn", EntryKind::Files),
            (std::vector<std::string>{"proof-2.prn", "proof.prn"}));
}

// A page that never ends, canceled while Ghostscript renders it: its tool
// ends at once and nothing of the job stays (no item, no PRN file, no
// temporaries, no process).
TEST_F(Server, ACanceledJobStopsAndLeavesNothingBehind) {
  WriteFileBytes(app / "Configuration/limits.txt", "ToolTimeLimit=0\r\n");
  WriteFileBytes(tests / "loop.pdf", "%!PS\n{ 1 pop } loop\nshowpage\n%%EOF\n");
  const std::string out = Output("timeout 120 ipptool -tv -T 60 -f '" + (tests / "loop.pdf").string() +
                                 "' -d job_name=endless " + Uri("Default") + " '" + (tests / "cancel.test").string() +
                                 "'");
  EXPECT_NE(out.find("job-state (enum) = canceled"), std::string::npos) << Explain(out);
  // pgrep's pattern "g[s]" keeps it from finding the shell that runs it.
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (Output("pgrep -f '" + app.path().string() + "/bin/g[s]'").size() > 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(Output("pgrep -f '" + app.path().string() + "/bin/g[s]'"), "") << "Ghostscript outlived its canceled job";
  // The filter has returned once the job's folder is gone.
  while (fs::exists(app / "RipIn/CustomFiles/endless") && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_FALSE(fs::exists(app / "RipIn/CustomFiles/endless"));
  EXPECT_TRUE(ListFolder(app / "RipIn/UserPrn", "*", EntryKind::Any).empty());
  EXPECT_TRUE(ListFolder(app / "RipIn/Working", "*", EntryKind::Any).empty());
  EXPECT_FALSE(fs::exists(app / "RipIn/Failed/Default"));
}

// The server's own page in a real browser (headless Chromium): the printers
// with their presets, and the job that printed with its PRN file and ink.
TEST_F(Server, TheWebPageShowsThePrintersAndTheLastJobWithItsInk) {
  ASSERT_TRUE(fs::exists("/usr/bin/chromium")) << "scripts/setup.sh installs Debian's chromium";
  const std::string out = Print(SamplesDir() / "flowers_rgb.jpg", "poster", "image/jpeg");
  ASSERT_NE(out.find("job-state (enum) = completed"), std::string::npos) << Explain(out);
  const std::string dom =
      Output("timeout 90 chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage --user-data-dir='" +
             (tests / "chromium").string() + "' --dump-dom http://127.0.0.1:" + std::to_string(port) + "/quillmark");
  for (const char* text : {"<td>Default</td>", "<td>Second</td>", "poster.prn", "1 poster", "total 0."}) {
    EXPECT_NE(dom.find(text), std::string::npos) << text << "\n" << dom;
  }
  EXPECT_NE(dom.find(" ml"), std::string::npos) << dom;
}

TEST(JobNaming, NamesSafeForAFolderAndNeverTaken) {
  struct Row {
    std::string job;
    std::string item;
  };
  const Row rows[] = {{"Flowers for the shop", "Flowers for the shop"},
                      {"logo.pdf", "logo"},
                      {"scan.TIFF", "scan"},
                      {"../../etc/passwd", "___.._etc_passwd"},
                      {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
                      {"line\nbreak", "line_break"},
                      {"Untitled", "job-7"},
                      {"", "job-7"},
                      {"...", "job-7"},
                      {"caf\xc3\xa9", "caf\xc3\xa9"}};
  for (const Row& row : rows) EXPECT_EQ(server::ItemNameOf(row.job, 7), row.item) << row.job;
  EXPECT_LE(server::ItemNameOf(std::string(300, 'x'), 1).size(), 200u);
  std::string wide;
  while (wide.size() < 300) wide += "\xc3\xa9";
  EXPECT_EQ(server::ItemNameOf(wide, 1).size() % 2, 0u) << "a character was cut in two";

  ScratchAppDir app;
  SetAppDirOverride(app.path());
  EXPECT_EQ(server::FreeItemName("proof"), "proof");
  fs::create_directories(app / "RipIn/CustomFiles/Proof");
  EXPECT_EQ(server::FreeItemName("proof"), "proof-2");
  WriteFileBytes(app / "RipIn/UserPrn/proof-2.prn", "x");
  EXPECT_EQ(server::FreeItemName("proof"), "proof-3");
}

}  // namespace
}  // namespace qm::test
