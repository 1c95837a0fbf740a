#include "separation/split_render.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "imaging/growing_plane.h"
#include "imaging/imaging.h"
#include "platform/parallel.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "separation/psd_planes.h"

namespace qm {

namespace {

namespace fs = std::filesystem;
using Quote = ToolArgument::Quote;

constexpr const char* kInputLink = ".qmsplit.pdf";
constexpr const char* kProbeBase = ".qmprobe_.tif";
constexpr const char* kPsdFile = ".qmpage.psd";
// How often the growing PSD file is looked at for new rows.
constexpr auto kPsdPoll = std::chrono::milliseconds(20);
constexpr char kPsdPlanes[] = "the planes of Ghostscript's psdcmyk file: ";

// Colorants of a page at most, for the disk estimate: process, multicolor
// and spot planes together.
constexpr uint64_t kPlanesEstimate = 12;

std::string PsString(const std::string& text) {
  std::string out = "(";
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out + ")";
}

// The documented command's arguments up to its "-o", the extra options, then
// "-o" with `base` and the rest: `code` run before the input, else the input.
ToolCommand Rebuilt(const ToolCommand& documented, const std::vector<std::string>& extra, const fs::path& base,
                    const std::string& code, const fs::path& input) {
  ToolCommand c;
  const auto& args = documented.arguments;
  std::size_t o = 0;
  while (o < args.size() && args[o].text != "-o") ++o;
  for (std::size_t i = 0; i < o && i < args.size(); ++i) c.arguments.push_back(args[i]);
  for (const std::string& e : extra) c.arguments.push_back({e, Quote::None});
  c.arguments.push_back({"-o", Quote::None});
  c.arguments.push_back({base.string(), Quote::Whole});
  if (!code.empty()) {
    c.arguments.push_back({"-c", Quote::None});
    c.arguments.push_back({code, Quote::Whole});
    c.arguments.push_back({"-f", Quote::None});
  }
  c.arguments.push_back({input.string(), Quote::Whole});
  return c;
}

std::string Seconds(std::chrono::steady_clock::time_point since) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count());
  return text;
}

std::string Rows(const RenderBand& b) {
  return "rows " + std::to_string(b.top) + "-" + std::to_string(b.top + b.rows - 1);
}

std::string FirstLine(const std::string& text) {
  const std::size_t end = text.find('\n');
  return text.substr(0, std::min<std::size_t>(end, 200));
}

// "00_(Cyan).tif" from a band's "<prefix>(Cyan).tif"; empty for its composite.
std::string PlaneNameOf(const std::string& file, const std::string& prefix) {
  if (file.size() <= prefix.size() + 6 || file.compare(0, prefix.size(), prefix) != 0) return {};
  return "00_" + file.substr(prefix.size());
}

struct Probed {
  uint32_t width = 0, height = 0;
  int pages = 0;
};

std::optional<Probed> Probe(const ToolCommand& documented, const fs::path& working, const fs::path& input,
                            const ToolRun& run, JobHost& host, std::string* why, bool* killed) {
  const ToolCommand probe = ProbeCommand(documented, working / kProbeBase, input);
  host.Log("size probe: " + probe.CommandLine());
  const ProcessResult r = RunProcess(ContainedArgv(probe), nullptr, LimitsOf(run));
  if (r.stopped) {
    *killed = true;
    *why = StoppedCause("gs", "the size probe of the PDF");
    return std::nullopt;
  }
  if (r.timedOut) {
    *killed = true;
    *why = TimeLimitCause("gs", run.timeLimitSeconds, "the size probe of the PDF");
    return std::nullopt;
  }
  Probed p;
  unsigned w = 0, h = 0;
  const std::size_t size = r.output.find("QMSIZE [");
  const std::size_t pages = r.output.find("QMPAGES ");
  if (!r.started || r.exitStatus != 0 || size == std::string::npos || pages == std::string::npos ||
      std::sscanf(r.output.c_str() + size, "QMSIZE [%u %u]", &w, &h) != 2 ||
      std::sscanf(r.output.c_str() + pages, "QMPAGES %d", &p.pages) != 1 || w == 0 || h == 0) {
    *why = "the size probe gave no page size (exit status " + std::to_string(r.exitStatus) + ")";
    return std::nullopt;
  }
  p.width = w;
  p.height = h;
  return p;
}

void RemoveTemporaries(const fs::path& working) {
  for (const std::string& name : ListFolder(working, ".qm*", EntryKind::Files)) DeleteFile(working / name);
}

// The page rendered by the documented command as it stands.
class WholeRender : public SeparationRender {
 public:
  Status Finish() override { return Status::Ok(); }
};

class BandedRender : public SeparationRender {
 public:
  BandedRender(JobHost& host, const ToolCommand& documented, fs::path working, fs::path input, Probed page,
               std::vector<RenderBand> plan, bool uncompressed, bool overlap, ToolRun run)
      : host_(host),
        documented_(documented),
        working_(std::move(working)),
        input_(std::move(input)),
        page_(page),
        plan_(std::move(plan)),
        uncompressed_(uncompressed),
        overlap_(overlap),
        run_(std::move(run)),
        done_(plan_.size(), false) {
    for (std::size_t k = 0; k < plan_.size(); ++k) controls_.push_back(std::make_unique<ProcessControl>());
    if (overlap_) gate_ = std::make_shared<imaging::RowGate>(page_.height);
  }

  ~BandedRender() override {
    Fail("the job ended before Ghostscript finished");
    Join();
    planes_.clear();
    writers_.clear();
    RemoveTemporaries(working_);
  }

  void Start(int processes) {
    const std::size_t n = std::min<std::size_t>(plan_.size(), static_cast<std::size_t>(std::max(1, processes)));
    Note("Ghostscript renders the page of " + std::to_string(page_.width) + " x " + std::to_string(page_.height) +
         " pixels in " + std::to_string(plan_.size()) + " bands, " + std::to_string(n) + " at once, " +
         (uncompressed_ ? "uncompressed" : "compressed (little disk space)") +
         (overlap_ ? ", planes read as the bands end" : ""));
    for (std::size_t t = 0; t < n; ++t) workers_.emplace_back([this] { Work(); });
  }

  // Until the planes exist (growing), or every band is in (complete); fails
  // with the cause of a band that failed.
  Status WaitForPlanes() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !failure_.empty() || (overlap_ ? planesMade_ : stitched_ == plan_.size()); });
    return failure_.empty() ? Status::Ok() : Status::Fail(failure_);
  }

  // The rendering's log lines so far, into the job's log (on the job's thread).
  void FlushLog() {
    std::vector<std::string> lines;
    {
      std::lock_guard lock(mutex_);
      lines.swap(log_);
    }
    for (const std::string& line : lines) host_.Log(line);
  }

  Status Finish() override {
    Join();
    FlushLog();
    RemoveTemporaries(working_);
    std::lock_guard lock(mutex_);
    if (failure_.empty() && gate_ && !gate_->Done()) failure_ = "Ghostscript left rows of the page unrendered";
    if (!failure_.empty()) return Status::Fail(failure_);
    planes_.clear();  // complete: no reader waits any more
    return Status::Ok();
  }

 private:
  void Note(std::string line) {
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(line));
  }

  // Every band in and, compressed, every plane written (under mutex_).
  bool Succeeded() const { return overlap_ ? finished_ == plan_.size() : stitched_ == plan_.size(); }

  void Fail(const std::string& cause) {
    {
      std::lock_guard lock(mutex_);
      if (!failure_.empty() || Succeeded()) return;
      failure_ = cause;
      log_.push_back(cause);
    }
    if (gate_) gate_->Fail(cause);
    for (auto& c : controls_) c->Kill();
    changed_.notify_all();
  }

  void Join() {
    for (std::thread& t : workers_) {
      if (t.joinable()) t.join();
    }
  }

  std::string Prefix(std::size_t k) const {
    char text[32];
    std::snprintf(text, sizeof text, ".qmb%03zu_", k);
    return text;
  }

  void Work() {
    while (true) {
      const std::size_t k = next_.fetch_add(1);
      if (k >= plan_.size()) return;
      {
        std::lock_guard lock(mutex_);
        if (!failure_.empty()) return;
      }
      Status band;
      try {
        band = RunBand(k);
      } catch (const std::exception& e) {  // the plane files' failures (imaging/imaging.h)
        band = Status::Fail(e.what());
      }
      if (!band) {
        Fail("Ghostscript band " + std::to_string(k + 1) + " of " + std::to_string(plan_.size()) + " (" +
             Rows(plan_[k]) + "): " + band.cause());
      }
    }
  }

  // Fails with the cause when the band's render fails; Ok also when another
  // band failed first (it stops the rendering itself).
  Status RunBand(std::size_t k) {
    const RenderBand& band = plan_[k];
    const std::string prefix = Prefix(k);
    const std::string which =
        "Ghostscript band " + std::to_string(k + 1) + " of " + std::to_string(plan_.size()) + " (" + Rows(band) + ")";
    const auto start = std::chrono::steady_clock::now();
    const ToolCommand command =
        BandCommand(documented_, page_.width, page_.height, band, working_ / (prefix + ".tif"), input_, uncompressed_);
    const ProcessResult r = RunProcess(ContainedArgv(command), controls_[k].get(), LimitsOf(run_));
    if (r.stopped) return Status::Fail(StoppedCause("gs", "the band's render"));
    if (r.timedOut) return Status::Fail(TimeLimitCause("gs", run_.timeLimitSeconds, "the band's render"));
    std::map<std::string, fs::path> files;  // plane name -> band file
    for (const std::string& name : ListFolder(working_, prefix + "(*).tif", EntryKind::Files)) {
      files[PlaneNameOf(name, prefix)] = working_ / name;
    }
    if (!r.started) return Status::Fail("not started: " + r.output);
    if (r.exitStatus != 0) {
      return Status::Fail("failed with exit status " + std::to_string(r.exitStatus) +
                          (r.output.empty() ? "" : ": " + FirstLine(r.output)));
    }
    if (files.empty()) return Status::Fail("wrote no planes");
    {
      std::lock_guard lock(mutex_);
      if (!failure_.empty()) return Status::Ok();
      if (names_.empty()) MakePlanes(files);
      for (const auto& [name, file] : files) {
        if (std::find(names_.begin(), names_.end(), name) == names_.end()) {
          return Status::Fail("made the plane " + name + " that an earlier band did not, after the planes " +
                              "were handed out");
        }
      }
    }
    changed_.notify_all();
    if (overlap_) {
      for (const std::string& name : names_) {
        const auto f = files.find(name);
        if (f != files.end()) {
          planes_.at(name)->CopyRows(band.top, f->second);
        } else {
          planes_.at(name)->BlankRows(band.top, band.rows);
        }
      }
      RemoveBand(prefix);
      gate_->Complete(band.top, band.rows);
    }
    Note(which + ": exit status 0, " + Seconds(start));
    std::lock_guard lock(mutex_);
    done_[k] = true;
    ++finished_;
    if (!overlap_) StitchInOrder();
    return Status::Ok();
  }

  // The page's plane files, named after the first band's planes (under mutex_).
  void MakePlanes(const std::map<std::string, fs::path>& files) {
    for (const auto& [name, file] : files) {
      names_.push_back(name);
      if (overlap_) {
        planes_[name] = std::make_unique<imaging::GrowingPlane>(working_ / name, page_.height, file, gate_);
      } else {
        const imaging::PlaneInfo info = imaging::ReadPlaneInfo(file);
        writers_[name] = std::make_unique<imaging::PlaneWriter>(working_ / name, page_.width, page_.height,
                                                                info.xResolution, info.yResolution, 8);
      }
    }
    planesMade_ = true;
  }

  // Compressed planes, written band after band in page order (under mutex_).
  void StitchInOrder() {
    while (stitched_ < plan_.size() && done_[stitched_]) {
      const RenderBand& band = plan_[stitched_];
      const std::string prefix = Prefix(stitched_);
      const std::vector<float> white(page_.width, 65535.0f);
      for (const std::string& name : names_) {
        const fs::path file = working_ / (prefix + name.substr(3));
        std::error_code ec;
        if (!fs::exists(file, ec)) {
          for (uint32_t y = 0; y < band.rows; ++y) writers_.at(name)->WriteRow(white.data());
          continue;
        }
        for (uint32_t y = 0; y < band.rows; y += 256) {
          const imaging::Plane rows = imaging::ReadPlaneRows(file, y, std::min(256u, band.rows - y));
          for (uint32_t r = 0; r < rows.height; ++r) writers_.at(name)->WriteRow(rows.Row(r));
        }
      }
      RemoveBand(prefix);
      if (stitched_ + 1 == plan_.size()) {
        for (auto& [name, writer] : writers_) writer->Commit();
        writers_.clear();
      }
      ++stitched_;
    }
    changed_.notify_all();
  }

  void RemoveBand(const std::string& prefix) {
    for (const std::string& name : ListFolder(working_, prefix + "*", EntryKind::Files)) DeleteFile(working_ / name);
  }

  JobHost& host_;
  const ToolCommand documented_;
  const fs::path working_, input_;
  const Probed page_;
  const std::vector<RenderBand> plan_;
  const bool uncompressed_, overlap_;
  const ToolRun run_;
  std::vector<std::unique_ptr<ProcessControl>> controls_;
  std::shared_ptr<imaging::RowGate> gate_;
  std::vector<std::thread> workers_;
  std::atomic<std::size_t> next_{0};

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<bool> done_;
  std::size_t finished_ = 0, stitched_ = 0;
  bool planesMade_ = false;
  std::vector<std::string> names_;
  std::map<std::string, std::unique_ptr<imaging::GrowingPlane>> planes_;
  std::map<std::string, std::unique_ptr<imaging::PlaneWriter>> writers_;
  std::string failure_;
  std::vector<std::string> log_;
};

// The page rendered whole by psdcmyk, its rows taken as Ghostscript writes
// them: into growing plane files (imaging/growing_plane.h), handed out at
// once, or with `complete` into compressed plane files, handed out when the
// last row is in. Until the PSD file names its planes nothing is handed out,
// so a render that fails before that (or whose file cannot stand in for
// tiffsep's planes) leaves the page to tiffsep.
class StreamedRender : public SeparationRender {
 public:
  enum class Outcome { Planes, Fallback, Failed };

  StreamedRender(JobHost& host, ToolCommand executed, fs::path working, Probed page, ToolRun run, bool complete)
      : host_(host),
        executed_(std::move(executed)),
        working_(std::move(working)),
        psd_(working_ / kPsdFile),
        page_(page),
        run_(std::move(run)),
        complete_(complete),
        gate_(std::make_shared<imaging::RowGate>(page.height)) {}

  // Its own file only: a render that gave way to tiffsep leaves the input's
  // link to it.
  ~StreamedRender() override {
    Fail("the job ended before Ghostscript finished");
    Join();
    planes_.clear();
    writers_.clear();
    DeleteFile(psd_);
  }

  void Start() {
    start_ = std::chrono::steady_clock::now();
    process_ = std::thread([this] {
      ProcessResult r = RunProcess(ContainedArgv(executed_), &control_, LimitsOf(run_));
      {
        std::lock_guard lock(mutex_);
        result_ = std::move(r);
        exited_ = true;
      }
      changed_.notify_all();
    });
    watcher_ = std::thread([this] {
      try {
        Watch();
      } catch (const std::exception& e) {  // the plane files' failures (imaging/imaging.h)
        Fail(std::string(kPsdPlanes) + e.what());
      }
    });
  }

  // Until the planes exist, or it is clear they never will.
  Outcome WaitForPlanes(std::string* why) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return planesMade_ || fallback_ || !failure_.empty(); });
    if (!failure_.empty()) {
      *why = failure_;
      return Outcome::Failed;
    }
    if (fallback_) {
      *why = fallbackCause_;
      return Outcome::Fallback;
    }
    return Outcome::Planes;
  }

  void Join() {
    if (process_.joinable()) process_.join();
    if (watcher_.joinable()) watcher_.join();
  }

  Status Finish() override {
    Join();
    RemoveTemporaries(working_);
    std::lock_guard lock(mutex_);
    host_.Log("psdcmyk: exit status " + std::to_string(result_.exitStatus) + ", " + Seconds(start_) +
              (complete_ ? ", the planes written as their rows came" : ", the planes handed out as their rows came"));
    if (failure_.empty() && !gate_->Done()) failure_ = "Ghostscript left rows of the page unrendered";
    if (!failure_.empty()) {
      host_.Log(failure_);
      return Status::Fail(failure_);
    }
    if (!warning_.empty()) host_.Warn(warning_ + "; the job went on with the planes it left");
    planes_.clear();
    return Status::Ok();
  }

 private:
  void Fail(const std::string& cause) {
    {
      std::lock_guard lock(mutex_);
      if (!failure_.empty() || finished_) return;
      failure_ = cause;
    }
    gate_->Fail(cause);
    control_.Kill();
    changed_.notify_all();
  }

  void Fallback(std::string cause) {
    {
      std::lock_guard lock(mutex_);
      fallback_ = true;
      fallbackCause_ = std::move(cause);
    }
    changed_.notify_all();
  }

  // The plane files, named as tiffsep names its planes, once the PSD file
  // names them.
  void MakePlanes(const PsdLayout& layout) {
    const imaging::GrowingLayout geometry{layout.width, layout.xResolution, layout.yResolution};
    for (const std::string& colorant : layout.colorants) {
      const fs::path file = working_ / ("00_(" + colorant + ").tif");
      if (complete_) {
        writers_.push_back(std::make_unique<imaging::PlaneWriter>(file, layout.width, layout.height,
                                                                  layout.xResolution, layout.yResolution, 8));
      } else {
        planes_.push_back(std::make_unique<imaging::GrowingPlane>(file, page_.height, geometry, gate_));
      }
    }
    if (!complete_) HandOut();
  }

  void HandOut() {
    {
      std::lock_guard lock(mutex_);
      planesMade_ = true;
    }
    changed_.notify_all();
  }

  // Rows [first, first + count) of every channel into its plane; compressed
  // planes take them through a buffer of at most kPsdChunkRows rows. Fails
  // when the PSD file cannot be read.
  Status CopyRows(const PsdLayout& layout, int fd, uint32_t first, uint32_t count) {
    constexpr uint32_t kPsdChunkRows = 64;
    std::vector<uint8_t> rows;
    for (std::size_t c = 0; c < layout.colorants.size(); ++c) {
      const uint64_t from = layout.ChannelOffset(c) + uint64_t{first} * layout.width;
      const uint64_t length = uint64_t{count} * layout.width;
      if (complete_) {
        for (uint32_t done = 0; done < count; done += kPsdChunkRows) {
          const uint32_t n = std::min(kPsdChunkRows, count - done);
          rows.resize(std::size_t{n} * layout.width);
          if (!ReadFully(fd, from + uint64_t{done} * layout.width, rows.data(), rows.size())) {
            return Status::Fail("cannot read the rows of " + psd_.filename().string());
          }
          writers_[c]->WriteRawRows(rows.data(), n);
        }
      } else {
        planes_[c]->CopyRawRows(first, count, fd, from);
      }
      // Ghostscript never writes these rows again: the disk space they took
      // is freed (where the file system can), so the page is not stored twice.
      ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from),
                  static_cast<off_t>(length));
    }
    return Status::Ok();
  }

  void Watch() {
    struct Closer {
      int fd = -1;
      ~Closer() {
        if (fd >= 0) ::close(fd);
      }
    } file;
    std::optional<PsdLayout> layout;
    std::string unusable;
    uint32_t copied = 0;
    while (true) {
      bool exited = false;
      {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kPsdPoll, [&] { return exited_ || !failure_.empty(); });
        if (!failure_.empty()) return;
        exited = exited_;
      }
      if (file.fd < 0) file.fd = ::open(psd_.c_str(), O_RDWR | O_CLOEXEC);
      struct stat st {};
      const uint64_t size = file.fd >= 0 && ::fstat(file.fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
      if (!layout && size > 0) {
        // A header still being written reads as unusable: it is read again
        // until Ghostscript ends.
        StatusOr<PsdLayout> read = ReadPsdLayout(file.fd, size);
        if (read && (read->width != page_.width || read->height != page_.height)) {
          read = Status::Fail("a page of " + std::to_string(read->width) + " x " + std::to_string(read->height) +
                              " pixels, not the probed " + std::to_string(page_.width) + " x " +
                              std::to_string(page_.height));
        }
        if (read) {
          layout = read.value();
          MakePlanes(*layout);
        } else {
          unusable = read.cause();
        }
      }
      if (layout) {
        const uint32_t rows = layout->RowsIn(size);
        if (rows > copied) {
          if (const Status read = CopyRows(*layout, file.fd, copied, rows - copied); !read) {
            Fail(kPsdPlanes + read.cause());
            return;
          }
          gate_->Complete(copied, rows - copied);
          copied = rows;
        }
      }
      if (!exited) continue;
      std::unique_lock lock(mutex_);
      const ProcessResult& r = result_;
      const std::string said = r.FirstLine().empty() ? std::string() : ": " + r.FirstLine();
      const std::string status = "exit status " + std::to_string(r.exitStatus) + said;
      if (r.stopped || r.timedOut) {
        lock.unlock();
        Fail(r.stopped ? StoppedCause("gs", "the separation of the PDF")
                       : TimeLimitCause("gs", run_.timeLimitSeconds, "the separation of the PDF"));
        return;
      }
      if (!layout) {
        lock.unlock();
        Fallback(size == 0 ? "psdcmyk wrote nothing (" + status + ")"
                           : "psdcmyk's file cannot stand in for tiffsep's planes: " + unusable + " (" + status + ")");
        return;
      }
      if (copied < page_.height || size != layout->FileSize()) {
        lock.unlock();
        Fail("Ghostscript's psdcmyk file holds " + std::to_string(std::min(copied, layout->RowsIn(size))) + " of " +
             std::to_string(page_.height) + " rows, " + std::to_string(size) + " of " +
             std::to_string(layout->FileSize()) + " bytes (" + status + ")");
        return;
      }
      if (r.exitStatus != 0) warning_ = "gs exited with status " + std::to_string(r.exitStatus) + said;
      lock.unlock();
      for (auto& writer : writers_) writer->Commit();
      writers_.clear();
      lock.lock();
      finished_ = true;
      lock.unlock();
      if (complete_) HandOut();
      return;
    }
  }

  JobHost& host_;
  const ToolCommand executed_;
  const fs::path working_, psd_;
  const Probed page_;
  const ToolRun run_;
  const bool complete_;
  std::shared_ptr<imaging::RowGate> gate_;
  ProcessControl control_;
  std::thread process_, watcher_;
  std::chrono::steady_clock::time_point start_;
  std::vector<std::unique_ptr<imaging::GrowingPlane>> planes_;  // the watcher's until it ends
  std::vector<std::unique_ptr<imaging::PlaneWriter>> writers_;  // complete: the watcher's

  std::mutex mutex_;
  std::condition_variable changed_;
  ProcessResult result_;
  bool exited_ = false, planesMade_ = false, fallback_ = false, finished_ = false;
  std::string failure_, fallbackCause_, warning_;
};

// The reason psdcmyk cannot render the documented command in tiffsep's
// place, or empty when it can.
std::string PsdUnfit(const ToolCommand& documented) {
  bool device = false;
  for (const ToolArgument& a : documented.arguments) {
    if (a.text == "-sDEVICE=tiffsep") device = true;
    // psdcmyk names only the channels after the first four, which it takes
    // for Cyan, Magenta, Yellow and Black.
    static const std::string kColors = "-sICCOutputColors=";
    static const std::string kProcess = "Cyan,Magenta,Yellow,Black";
    if (a.text.compare(0, kColors.size(), kColors) == 0) {
      const std::string colors = a.text.substr(kColors.size());
      if (colors.compare(0, kProcess.size(), kProcess) != 0 ||
          (colors.size() > kProcess.size() && colors[kProcess.size()] != ',')) {
        return "the output colours do not begin with Cyan, Magenta, Yellow and Black";
      }
    }
  }
  return device ? std::string() : "the command does not use tiffsep";
}

// Whether the Working folder's disk holds `need` bytes, a tenth more and 256 MiB.
bool DiskHolds(const fs::path& working, uint64_t need) {
  std::error_code ec;
  const fs::space_info space = fs::space(working, ec);
  return !ec && space.available > need + need / 10 + (uint64_t{256} << 20);
}

// The plane files filled from the PSD file: the PSD file keeps only the rows
// not yet copied (the rest is punched out).
bool EnoughDiskToStream(const fs::path& working, const Probed& page) {
  return DiskHolds(working, uint64_t{page.width} * page.height * kPlanesEstimate);
}

bool EnoughDisk(const fs::path& working, const Probed& page, const std::vector<RenderBand>& plan, int processes) {
  const uint64_t pixels = uint64_t{page.width} * page.height;
  const uint64_t bandPixels = uint64_t{page.width} * plan.front().rows;
  // The page's planes and the bands in flight with their CMYK composite.
  return DiskHolds(working, pixels * kPlanesEstimate +
                                bandPixels * (kPlanesEstimate + 4) * static_cast<uint64_t>(processes));
}

std::atomic<uint64_t> g_testBandPixels{0};
std::atomic<uint32_t> g_testMinBandRows{0};

}  // namespace

RenderOptions SplitRenderOptions(bool forPrint, bool dithering, ToolRun run) {
  RenderOptions o;
  o.run = std::move(run);
  o.overlap = forPrint || dithering;
  o.stream = g_testBandPixels.load() == 0;
  o.bandPixels = g_testBandPixels.load();
  o.minBandRows = g_testMinBandRows.load();
  return o;
}

void SetBandPlanForTests(uint64_t bandPixels, uint32_t minBandRows) {
  g_testBandPixels.store(bandPixels);
  g_testMinBandRows.store(minBandRows);
}

std::vector<RenderBand> PlanRenderBands(uint32_t width, uint32_t height, uint64_t bandPixels, uint32_t minBandRows) {
  const uint64_t pixels = uint64_t{width} * height;
  uint64_t n = bandPixels == 0 ? 1 : (pixels + bandPixels - 1) / bandPixels;
  n = std::min<uint64_t>({n, kMaxBands, std::max<uint64_t>(1, height / std::max<uint32_t>(minBandRows, 1))});
  n = std::max<uint64_t>(n, 1);
  std::vector<RenderBand> bands;
  for (uint64_t k = 0; k < n; ++k) {
    const auto top = static_cast<uint32_t>(k * height / n);
    const auto end = static_cast<uint32_t>((k + 1) * height / n);
    bands.push_back({top, end - top});
  }
  return bands;
}

ToolCommand BandCommand(const ToolCommand& documented, uint32_t pageWidth, uint32_t pageHeight,
                        const RenderBand& band, const fs::path& base, const fs::path& input, bool uncompressed) {
  std::vector<std::string> extra;
  if (uncompressed) extra.push_back("-sCompression=none");
  extra.push_back("-g" + std::to_string(pageWidth) + "x" + std::to_string(band.rows));
  extra.push_back("-dFIXEDMEDIA");
  const int64_t shift = int64_t{pageHeight} - band.rows - band.top;
  const std::string install = "<</Install {matrix currentmatrix dup 5 2 copy get " + std::to_string(shift) +
                              " add put setmatrix}>> setpagedevice";
  return Rebuilt(documented, extra, base, install, input);
}

ToolCommand PsdCommand(const ToolCommand& documented, const fs::path& psd, int threads) {
  ToolCommand c;
  const auto& args = documented.arguments;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i].text == "-sCompression=none") continue;
    if (args[i].text == "-sDEVICE=tiffsep") {
      c.arguments.push_back({"-sDEVICE=psdcmyk", Quote::None});
      c.arguments.push_back({"-dNumRenderingThreads=" + std::to_string(std::max(1, threads)), Quote::None});
      continue;
    }
    c.arguments.push_back(args[i]);
    if (args[i].text == "-o" && i + 1 < args.size()) {
      c.arguments.push_back({psd.string(), Quote::Whole});
      ++i;
    }
  }
  return c;
}

ToolCommand ProbeCommand(const ToolCommand& documented, const fs::path& base, const fs::path& input) {
  const std::string code =
      PsString(input.string()) +
      " (r) file runpdfbegin pdfpagecount (QMPAGES ) print = flush runpdfend "
      "<</PageSize [1 1] /BeginPage {pop currentpagedevice /PageSize get aload pop 1 eq exch 1 eq and not "
      "{(QMSIZE ) print currentdevice getdeviceprops >> /HWSize get == flush quit} if}>> setpagedevice";
  return Rebuilt(documented, {"--permit-file-read=" + input.string()}, base, code, input);
}

StatusOr<StartedRender> RenderSeparation(const ToolCommand& documented, JobHost& host, const RenderOptions& options) {
  const fs::path input = documented.arguments.back().text;
  const fs::path working = input.parent_path();
  RemoveTemporaries(working);
  // The bands read the page from a link of their own: the job deletes the
  // staged PDF before the later bands start.
  const fs::path link = working / kInputLink;
  const auto makeLink = [&] {
    std::error_code ec;
    fs::create_hard_link(input, link, ec);
    if (ec) CopyFileOver(input, link);
  };
  makeLink();

  std::string why;
  bool probeKilled = false;
  const std::optional<Probed> page = Probe(documented, working, link, options.run, host, &why, &probeKilled);
  if (probeKilled) {
    // A page that outlasts the probe would only outlast the render too; a
    // canceled job renders nothing more.
    RemoveTemporaries(working);
    host.Log(why);
    return Status::Fail(why);
  }
  if (page && options.admit) {
    if (const Status admitted = options.admit(page->width, page->height); !admitted) {
      RemoveTemporaries(working);
      host.Log("the page of " + std::to_string(page->width) + " x " + std::to_string(page->height) +
               " pixels is refused: " + admitted.cause());
      return admitted;
    }
  }
  std::vector<RenderBand> plan;
  if (page) {
    plan = PlanRenderBands(page->width, page->height, options.bandPixels ? options.bandPixels : kBandPixels,
                           options.minBandRows ? options.minBandRows : kMinBandRows);
    if (page->pages != 1) why = "the PDF has " + std::to_string(page->pages) + " pages";
  }
  // Planes read as they grow, and large pages filed as they are (so that
  // they are the planes Print reads): psdcmyk. Small pages filed as they are
  // keep tiffsep's own files.
  if (page && page->pages == 1 && options.stream && (options.overlap || plan.size() > 1)) {
    const std::string unfit = PsdUnfit(documented);
    if (!unfit.empty()) {
      host.Log("psdcmyk cannot render the page: " + unfit);
    } else if (!EnoughDiskToStream(working, *page)) {
      host.Log("psdcmyk cannot render the page: too little disk space for its file beside the planes");
    } else {
      const int threads = options.processes > 0 ? options.processes : HardwareThreads();
      const ToolCommand executed = PsdCommand(documented, working / kPsdFile, threads);
      host.Log("Ghostscript renders the page of " + std::to_string(page->width) + " x " +
               std::to_string(page->height) + " pixels whole with psdcmyk in " + std::to_string(threads) +
               " rendering threads, " +
               (options.overlap ? "planes read as their rows come" : "planes written compressed as their rows come"));
      host.Log(documented.CommandLine());
      host.Log("executed: " + executed.CommandLine());
      host.Log(ContainmentNote(documented, options.run));
      ToolRun run = options.run;
      run.stage = "the separation of the PDF";
      auto render = std::make_shared<StreamedRender>(host, executed, working, *page, run, !options.overlap);
      render->Start();
      std::string cause;
      switch (render->WaitForPlanes(&cause)) {
        case StreamedRender::Outcome::Planes:
          return StartedRender{render, {}};
        case StreamedRender::Outcome::Failed:
          render.reset();
          RemoveTemporaries(working);
          host.Log(cause);
          return Status::Fail(cause);
        case StreamedRender::Outcome::Fallback:
          render.reset();
          host.Log(cause + "; tiffsep renders the page");
          makeLink();
          break;
      }
    }
  }
  if (!page || page->pages != 1 || plan.size() < 2) {
    RemoveTemporaries(working);
    host.Log("Ghostscript renders the page whole: " +
             (why.empty() ? std::to_string(page->width) + " x " + std::to_string(page->height) + " pixels make one band"
                          : why));
    ToolRun whole = options.run;
    whole.stage = "the separation of the PDF";
    const Status status = RunTool(documented, host, whole);
    if (IsKilledToolFailure(status)) return status;  // its planes are cut short
    StartedRender started{std::make_shared<WholeRender>(), {}};
    if (!status) started.warnings.push_back(status.cause());
    return started;
  }
  const int processes = options.processes > 0 ? options.processes : HardwareThreads();
  const bool roomy = EnoughDisk(working, *page, plan, processes);
  host.Log(documented.CommandLine());
  host.Log(ContainmentNote(documented, options.run));
  auto render = std::make_shared<BandedRender>(host, documented, working, link, *page, plan, roomy,
                                               options.overlap && roomy, options.run);
  render->Start(processes);
  const Status planes = render->WaitForPlanes();
  render->FlushLog();
  if (!planes) return planes;
  return StartedRender{render, {}};
}

bool CopyPlaneFile(const fs::path& from, const fs::path& to) {
  if (!imaging::IsGrowing(from)) return CopyFileOver(from, to);
  // A link under a temporary name, then renamed over the target: as a copy
  // does, it replaces an existing target.
  const fs::path temp = to.parent_path() / (".qmlink" + to.filename().string());
  std::error_code ec;
  fs::remove(temp, ec);
  fs::create_hard_link(from, temp, ec);
  if (ec) return false;
  fs::rename(temp, to, ec);
  if (ec) fs::remove(temp, ec);
  return !ec;
}

}  // namespace qm
