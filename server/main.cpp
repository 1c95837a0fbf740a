// quillmark-server: Quillmark as an IPP Everywhere printer application over
// the engine, built with PAPPL. One printer per preset file of
// Configuration/ (printer name = the preset's name without ".cfg"); a job's
// document (PDF, JPEG or TIFF) is imported as an Image List item named after
// the job and printed with the printer's preset by the same Print job as
// quillmark-cli, waiting for the AppDir's lock in turn.
//
// What PAPPL 1.3.1 does here (read off its headers and tried on this
// machine):
// - A filter added with papplSystemAddMIMEFilter from a document format to
//   the driver's own format is handed the job's original file: the engine
//   reads the document itself, never PAPPL's raster (gray, RGB and CMYK only,
//   which 18 inks do not fit). The filter runs on the job's own thread and
//   its return value decides completed or aborted.
// - PAPPL knows PDF and JPEG by their first bytes but not TIFF: the MIME
//   callback (papplSystemSetMIMECallback) names it.
// - Every printer needs a device; the PRN file goes to RipIn/UserPrn, not to
//   the device, so each printer's device is file:///dev/null.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pappl/pappl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <deque>
#include <optional>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jobs/commands.h"
#include "output/job_support.h"
#include "platform/job_host.h"
#include "platform/message_sink.h"
#include "platform/platform.h"
#include "jobs/commands.h"
#include "server/ink_report.h"
#include "server/job_naming.h"
#include "settings/limits.h"
#include "settings/startup.h"

namespace qm::server {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDriverName = "quillmark";
constexpr const char* kDriverFormat = "application/vnd.quillmark-document";

struct Options {
  int port = 0;  // 0: 8000 or the first free port after it
  std::vector<std::string> listen;
  std::string spool;
  std::string adminGroup = "lpadmin";
  bool verbose = false;
};

// A job that printed, for the web page.
struct PrintedJob {
  int id = 0;
  std::string printer, item;
  fs::path prn;
  std::time_t when = 0;
  StatusOr<InkReport> inks;  // or why there are no figures
};

struct Server {
  pappl_system_t* system = nullptr;
  bool verbose = false;
  std::mutex mutex;  // the printers made so far, the names jobs take, the printed jobs
  std::deque<PrintedJob> printed;  // newest first, at most kPrintedShown
};

constexpr std::size_t kPrintedShown = 100;

// The job's displays and messages: the state message carries the progress,
// then the warnings and, on failure, the cause line.
class IppJobHost : public JobHost {
 public:
  IppJobHost(pappl_job_t* job, bool verbose) : job_(job), verbose_(verbose) {}
  void ShowMessage(std::string_view text, std::string_view cause) override {
    message_ = std::string(text);
    cause_ = std::string(cause);
    papplLogJob(job_, PAPPL_LOGLEVEL_ERROR, "%s %s", message_.c_str(), cause_.c_str());
  }
  void Warn(std::string_view text) override {
    warnings_.emplace_back(text);
    papplLogJob(job_, PAPPL_LOGLEVEL_WARN, "Warning: %s", warnings_.back().c_str());
    Show();
  }
  void SetStatus(StatusLine, std::string_view) override {}
  void SetProgress(ProgressBar bar, int position) override {
    const std::string stage = bar == ProgressBar::Separation ? "separating" : "printing";
    progress_ = stage + " " + std::to_string(position) + " %";
    Show();
  }
  void RefreshLists() override {}
  void Log(std::string_view line) override {
    if (verbose_) papplLogJob(job_, PAPPL_LOGLEVEL_DEBUG, "%.*s", static_cast<int>(line.size()), line.data());
  }
  const std::string& message() const { return message_; }
  const std::string& cause() const { return cause_; }
  // The final state message: the warnings, then `last`.
  void Finish(const std::string& last) {
    progress_ = last;
    Show();
  }

 private:
  void Show() {
    std::string text;
    for (const std::string& w : warnings_) text += "Warning: " + w + "; ";
    text += progress_;
    papplJobSetMessage(job_, "%s", text.c_str());
  }
  pappl_job_t* job_;
  bool verbose_;
  std::string message_, cause_, progress_;
  std::vector<std::string> warnings_;
};

// The presets of the AppDir: Configuration/*.cfg, by name without ".cfg".
std::vector<std::string> PresetNames() {
  std::vector<std::string> names;
  for (const std::string& file : ListFolder(ConfigurationDir(), "*.cfg", EntryKind::Files)) {
    names.push_back(file.substr(0, file.size() - 4));
  }
  return names;
}

// The preset `name` applied, as quillmark-cli --preset NAME.cfg applies it.
bool StartSession(const std::string& preset, Session& session, RecordingSink& sink) {
  return RunHeadlessStartup(AppDir(), session, {}, preset + ".cfg", sink);
}

// PAPPL insists on raster callbacks for every driver. Raster reaches them
// only as image/pwg-raster or image/urf, which this printer refuses: the
// engine separates the original document, never PAPPL's raster of it.
bool RefuseRaster(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  papplJobSetMessage(job, "raster documents are not printed here: send PDF, JPEG or TIFF");
  return false;
}
bool RefuseRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned) {
  return RefuseRaster(job, options, device);
}
bool RefuseRasterLine(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned, const unsigned char*) {
  return false;
}

bool Driver(pappl_system_t*, const char*, const char*, const char*, pappl_pr_driver_data_t* data, ipp_t**,
            void*) {
  data->printfile_cb = RefuseRaster;
  data->rstartjob_cb = RefuseRaster;
  data->rendjob_cb = RefuseRaster;
  data->rstartpage_cb = RefuseRasterPage;
  data->rendpage_cb = RefuseRasterPage;
  data->rwriteline_cb = RefuseRasterLine;
  data->format = kDriverFormat;
  std::snprintf(data->make_and_model, sizeof data->make_and_model, "Quillmark RIP");
  data->ppm = 1;
  data->kind = static_cast<pappl_kind_t>(PAPPL_KIND_DOCUMENT | PAPPL_KIND_PHOTO | PAPPL_KIND_LARGE_FORMAT);
  data->color_supported = PAPPL_COLOR_MODE_COLOR;
  data->color_default = PAPPL_COLOR_MODE_COLOR;
  data->raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8;
  data->num_resolution = 1;
  data->x_resolution[0] = data->y_resolution[0] = 720;
  data->x_default = data->y_default = 720;
  data->borderless = true;
  static const char* const kMedia[] = {"iso_a4_210x297mm", "iso_a3_297x420mm", "iso_a2_420x594mm",
                                       "na_letter_8.5x11in", "na_ledger_11x17in", "oe_24x36_24x36in"};
  data->num_media = static_cast<int>(std::size(kMedia));
  for (int i = 0; i < data->num_media; ++i) data->media[i] = kMedia[i];
  data->num_source = 1;
  data->source[0] = "main";
  data->num_type = 1;
  data->type[0] = "stationery";
  pappl_media_col_t& media = data->media_default;
  std::snprintf(media.size_name, sizeof media.size_name, "%s", "iso_a3_297x420mm");
  media.size_width = 29700;
  media.size_length = 42000;
  std::snprintf(media.source, sizeof media.source, "%s", "main");
  std::snprintf(media.type, sizeof media.type, "%s", "stationery");
  data->media_ready[0] = media;
  return true;
}

// TIFF, which PAPPL does not recognise by itself.
const char* MimeType(const unsigned char* header, size_t size, void*) {
  if (size >= 4 && ((std::memcmp(header, "II*\0", 4) == 0) || std::memcmp(header, "MM\0*", 4) == 0)) {
    return "image/tiff";
  }
  return nullptr;
}

const char* ExtensionOf(const std::string& format) {
  if (format == "application/pdf") return "pdf";
  if (format == "image/jpeg") return "jpg";
  if (format == "image/tiff") return "tif";
  return nullptr;
}

// The document of a failed job, kept with its reason in RipIn/Failed/<printer>/.
fs::path KeepFailed(const fs::path& document, const std::string& printer, const std::string& name,
                    const std::string& reason) {
  const fs::path folder = AppDir() / "RipIn" / "Failed" / printer;
  CreateFolder(folder);
  const fs::path kept = FreeName(folder, name);
  if (!MoveFile(document, kept) && !CopyFileOver(document, kept)) return {};
  WriteFileAtomically(fs::path(kept.string() + ".reason.txt"), reason + "\n");
  return kept;
}

bool PrintDocument(pappl_job_t* job, pappl_device_t*, void* data) {
  auto& server = *static_cast<Server*>(data);
  const std::string printer = papplPrinterGetName(papplJobGetPrinter(job));
  IppJobHost host(job, server.verbose);
  const char* extension = ExtensionOf(papplJobGetFormat(job));
  if (!extension) {
    host.Finish(std::string("the document format ") + papplJobGetFormat(job) + " is not printed here");
    return false;
  }
  const char* jobName = papplJobGetName(job);
  std::string item;
  fs::path copy;
  {
    // Names are taken one job at a time, so two jobs never take the same one.
    std::lock_guard lock(server.mutex);
    item = FreeItemName(ItemNameOf(jobName ? jobName : "", papplJobGetID(job)));
    copy = CustomFilesDir() / item / (item + "." + extension);
    if (!CreateFolder(copy.parent_path()) || !CopyFileOver(papplJobGetFilename(job), copy)) {
      host.Finish("cannot import the document into " + copy.parent_path().string());
      return false;
    }
  }
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "imported as the item %s, printed with %s.cfg", item.c_str(), printer.c_str());
  Session session;
  RecordingSink sink;
  bool ok = StartSession(printer, session, sink);
  FileFailure failure;
  if (ok) {
    JobContext ctx{session.setting, session.init, host};
    ctx.lockWait = std::chrono::hours(24);  // in turn, like --wait
    std::string problem;
    ctx.toolTimeLimit = ReadAppDirLimits(&problem).toolTimeLimit;
    if (!problem.empty()) host.Warn(problem);
    // Cancel-Job reaches the engine through the stop flag: a watcher looks
    // at the job five times a second and ends its running tool.
    std::atomic<bool> stop{false}, done{false};
    ctx.stop = &stop;
    std::thread watcher([&] {
      while (!done.load()) {
        if (papplJobIsCanceled(job)) stop.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
    });
    ok = PrintCommand(ctx, item, &failure) && host.message().empty();
    done.store(true);
    watcher.join();
    if (stop.load()) {
      // Nothing of a canceled job stays: its item, its PRN file (never made
      // or removed) and its temporaries (the job emptied Working).
      std::error_code ec;
      fs::remove_all(copy.parent_path(), ec);
      fs::remove(UserPrnDir() / (item + "." + session.setting.Suffix), ec);
      papplLogJob(job, PAPPL_LOGLEVEL_INFO, "canceled; nothing of it is kept");
      return false;
    }
  } else {
    host.ShowMessage(sink.messages.empty() ? "the preset is not applied" : sink.messages.front(),
                     sink.causes.empty() ? "" : sink.causes.front());
  }
  if (ok) {
    const fs::path prn = UserPrnDir() / (item + "." + session.setting.Suffix);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "printed to %s", prn.string().c_str());
    papplJobSetImpressionsCompleted(job, 1);
    host.Finish("printed to " + prn.string());
    PrintedJob done{papplJobGetID(job), printer, item, prn, std::time(nullptr), ReportInks(prn, session.setting)};
    std::lock_guard lock(server.mutex);
    server.printed.push_front(std::move(done));
    if (server.printed.size() > kPrintedShown) server.printed.pop_back();
    // The item's folder is empty once its file has printed without "Preserved".
    std::error_code ec;
    fs::remove(copy.parent_path(), ec);
    return true;
  }
  const std::string cause = host.cause().empty() ? host.message() : host.cause();
  std::error_code ec;
  const fs::path document = fs::exists(copy, ec) ? copy : fs::path(papplJobGetFilename(job));
  const fs::path kept = KeepFailed(document, printer, copy.filename().string(), host.message() + " " + cause);
  fs::remove(copy.parent_path(), ec);  // only when empty
  host.Finish(cause);
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "kept as %s", kept.string().c_str());
  return false;
}

std::string Millilitres(double ml) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f ml", ml);
  return text;
}

std::string Cost(const std::optional<double>& cost) {
  if (!cost) return {};
  char text[32];
  std::snprintf(text, sizeof text, ", cost %.4f", *cost);
  return text;
}

void Escaped(pappl_client_t* client, const std::string& text) { papplClientHTMLEscape(client, text.c_str(), 0); }

// The page of the printers' presets (read only: presets are edited in the
// Setting dialog) and of the jobs that printed, with their PRN file and ink
// figures.
bool PrintsPage(pappl_client_t* client, void* data) {
  auto& server = *static_cast<Server*>(data);
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
  papplClientHTMLHeader(client, "Quillmark prints", 10);
  papplClientHTMLPuts(client, "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">\n");
  papplClientHTMLPuts(client, "<h1 class=\"title\">Printers and their presets</h1>\n<table class=\"list\" "
                              "id=\"presets\"><thead><tr><th>Printer</th><th>Resolution</th><th>Bits</th>"
                              "<th>PRNSequence</th><th>Spot colours</th></tr></thead><tbody>\n");
  for (const std::string& name : PresetNames()) {
    Session session;
    RecordingSink sink;
    const bool applied = StartSession(name, session, sink);
    const ActiveSetting& s = session.setting;
    papplClientHTMLPuts(client, "<tr><td>");
    Escaped(client, name);
    papplClientHTMLPuts(client, "</td><td>");
    Escaped(client, applied ? s.xResolution + " x " + s.yResolution + " dpi" : "not applied");
    papplClientHTMLPuts(client, "</td><td>");
    Escaped(client, std::to_string(s.Bits));
    papplClientHTMLPuts(client, "</td><td>");
    Escaped(client, s.PRNSequence);
    papplClientHTMLPuts(client, "</td><td>");
    Escaped(client, s.PdfSpotColorName);
    papplClientHTMLPuts(client, "</td></tr>\n");
  }
  papplClientHTMLPuts(client, "</tbody></table>\n<h1 class=\"title\">Printed jobs</h1>\n<table class=\"list\" "
                              "id=\"printed\"><thead><tr><th>Job</th><th>Printer</th><th>PRN file</th>"
                              "<th>Ink</th></tr></thead><tbody>\n");
  std::lock_guard lock(server.mutex);
  if (server.printed.empty()) papplClientHTMLPuts(client, "<tr><td colspan=\"4\">No job has printed yet.</td></tr>\n");
  for (const PrintedJob& job : server.printed) {
    papplClientHTMLPrintf(client, "<tr><td>%d ", job.id);
    Escaped(client, job.item);
    papplClientHTMLPuts(client, "</td><td>");
    Escaped(client, job.printer);
    papplClientHTMLPuts(client, "</td><td>");
    Escaped(client, job.prn.filename().string());
    papplClientHTMLPuts(client, "</td><td>");
    if (job.inks) {
      std::string text;
      for (const InkLine& ink : job.inks->inks) text += ink.ink + ": " + Millilitres(ink.ml) + Cost(ink.cost) + "; ";
      text += "total " + Millilitres(job.inks->totalMl) + Cost(job.inks->totalCost);
      Escaped(client, text);
    } else {
      Escaped(client, "no figures: " + job.inks.cause());
    }
    papplClientHTMLPuts(client, "</td></tr>\n");
  }
  papplClientHTMLPuts(client, "</tbody></table></div></div></div>\n");
  papplClientHTMLFooter(client);
  return true;
}

// Makes a printer for every preset that has none yet.
void AddPrinters(Server& server) {
  std::lock_guard lock(server.mutex);
  for (const std::string& name : PresetNames()) {
    const std::string resource = "/ipp/print/" + name;
    if (papplSystemFindPrinter(server.system, resource.c_str(), 0, nullptr)) continue;
    pappl_printer_t* printer = papplPrinterCreate(server.system, 0, name.c_str(), kDriverName,
                                                  "MFG:Quillmark;MDL:RIP;CMD:PDF,JPEG,TIFF;", "file:///dev/null");
    if (printer) {
      std::fprintf(stderr, "quillmark-server: printer %s at ipp://localhost:%d%s\n", name.c_str(),
                   papplSystemGetHostPort(server.system), resource.c_str());
    } else {
      std::fprintf(stderr, "quillmark-server: cannot make the printer %s\n", name.c_str());
    }
  }
}

bool Rescan(pappl_system_t*, void* data) {
  AddPrinters(*static_cast<Server*>(data));
  return true;
}

// The first port from `from` that nothing listens on at loopback.
int FreePort(int from) {
  for (int port = from; port < from + 100 && port < 65536; ++port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return from;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    if (free) return port;
  }
  return from;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "quillmark-server: %s\n", problem.c_str());
  std::fprintf(stderr,
               "usage: quillmark-server [--app-dir DIR] [--port N] [--listen ADDR]... [--spool DIR] [--admin-group GROUP]\n"
               "                        [--verbose]\n");
  return 2;
}

int Main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--app-dir") {
      const char* v = value();
      if (!v || !*v) return Usage("--app-dir needs a folder");
      SetAppDirOverride(v);
    } else if (arg == "--port") {
      const char* v = value();
      const std::string text = v ? v : "";
      if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos ||
          std::stoi(text) < 1 || std::stoi(text) > 65535) {
        return Usage("--port takes a port number (1 to 65535)");
      }
      options.port = std::stoi(text);
    } else if (arg == "--listen") {
      const char* v = value();
      if (!v || !*v) return Usage("--listen needs an address");
      options.listen.emplace_back(v);
    } else if (arg == "--spool") {
      const char* v = value();
      if (!v || !*v) return Usage("--spool needs a folder");
      options.spool = v;
    } else if (arg == "--admin-group") {
      const char* v = value();
      if (!v || !*v) return Usage("--admin-group needs a group name");
      options.adminGroup = v;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      std::printf("usage: quillmark-server [--app-dir DIR] [--port N] [--listen ADDR]... [--spool DIR] [--admin-group GROUP]\n"
               "                        [--verbose]\n");
      return 0;
    } else {
      return Usage("unknown option '" + arg + "'");
    }
  }
  if (const std::string problem = AppDirProblem(); !problem.empty()) return Usage(problem);
  std::error_code ec;
  if (!fs::is_directory(ConfigurationDir(), ec)) {
    std::fprintf(stderr, "quillmark-server: no Configuration folder in %s\n", AppDir().string().c_str());
    return 1;
  }
  const fs::path spool = options.spool.empty() ? AppDir() / "RipIn" / ".spool" : fs::path(options.spool);
  if (!CreateFolder(spool)) {
    std::fprintf(stderr, "quillmark-server: cannot create the spool folder %s\n", spool.string().c_str());
    return 1;
  }
  const int port = options.port ? options.port : FreePort(8000);
  Server server;
  server.verbose = options.verbose;
  // Open to the network, the administrative pages ask for a login (PAM's
  // "login" service) of a member of the admin group; on loopback only, the
  // machine's own users are trusted as they are by quillmark-cli.
  const bool open = !options.listen.empty();
  server.system = papplSystemCreate(
      PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_NO_TLS, "Quillmark", port,
      "_print,_universal", spool.c_str(), "-", options.verbose ? PAPPL_LOGLEVEL_DEBUG : PAPPL_LOGLEVEL_WARN,
      open ? "login" : nullptr, false);
  if (!server.system) {
    std::fprintf(stderr, "quillmark-server: cannot start the printer system\n");
    return 1;
  }
  // Loopback only unless --listen opens it to more addresses.
  bool listening = papplSystemAddListeners(server.system, "localhost");
  for (const std::string& address : options.listen) {
    listening = papplSystemAddListeners(server.system, address.c_str()) && listening;
  }
  if (!listening) {
    std::fprintf(stderr, "quillmark-server: cannot listen on port %d\n", port);
    papplSystemDelete(server.system);
    return 1;
  }
  if (open) papplSystemSetAdminGroup(server.system, options.adminGroup.c_str());
  pappl_pr_driver_t drivers[] = {{kDriverName, "Quillmark RIP", "MFG:Quillmark;MDL:RIP;", nullptr}};
  papplSystemSetPrinterDrivers(server.system, 1, drivers, nullptr, nullptr, Driver, &server);
  papplSystemSetMIMECallback(server.system, MimeType, nullptr);
  for (const char* format : {"application/pdf", "image/jpeg", "image/tiff"}) {
    papplSystemAddMIMEFilter(server.system, format, kDriverFormat, PrintDocument, &server);
  }
  AddPrinters(server);
  // PAPPL 1.3.1's page footer looks its text up without checking it: a
  // system without footer HTML crashes on the first page that has one.
  papplSystemSetFooterHTML(server.system, "Quillmark RIP");
  papplSystemAddResourceCallback(server.system, "/quillmark", "text/html", PrintsPage, &server);
  papplSystemAddLink(server.system, "Prints", "/quillmark", PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS);
  papplSystemAddTimerCallback(server.system, 0, 5, Rescan, &server);
  std::fprintf(stderr, "quillmark-server: listening on http://localhost:%d/ (AppDir %s)\n", port,
               AppDir().string().c_str());
  papplSystemRun(server.system);
  papplSystemDelete(server.system);
  return 0;
}

}  // namespace
}  // namespace qm::server

int main(int argc, char** argv) { return qm::server::Main(argc, argv); }
