#include "jobs/print_job.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>

#include "imaging/imaging.h"
#include "jobs/commands.h"
#include "output/job_support.h"
#include "output/print_raster.h"
#include "output/underbase_plane.h"
#include "platform/job_lock.h"
#include "platform/platform.h"
#include "jobs/stages.h"
#include "separation/staging.h"

namespace qm {

namespace {

void ResetDisplays(JobHost& host) {
  host.SetStatus(StatusLine::Separation, kNone);
  host.SetStatus(StatusLine::Prn, kNone);
  host.SetProgress(ProgressBar::Separation, PrintProgress::kReset);
  host.SetProgress(ProgressBar::Prn, PrintProgress::kReset);
}

// Width in inches of the separated cyan plane: the slot file PRNSequence put
// it in, else its plane by code.
std::optional<double> CyanInches(const fs::path& working, const std::string& prnSequence) {
  const auto fields = SequenceCodes(prnSequence);
  std::vector<fs::path> candidates;
  for (int k = 0; k < kSlotCount; ++k) {
    if (fields[k] == ChannelCode(kProcessInks.first)) {
      candidates.push_back(working / SlotFileName(k));
      break;
    }
  }
  candidates.push_back(working / ChannelPlaneName(ChannelCode(kProcessInks.first)));
  for (const fs::path& file : candidates) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) continue;
    const imaging::PlaneInfo info = imaging::ReadPlaneInfo(file);
    if (info.xResolution > 0.0) return info.width / info.xResolution;
  }
  return std::nullopt;
}

const char* ModeName(RasterMode mode) {
  return mode == RasterMode::LargeImage ? "large-image" : mode == RasterMode::Turbo ? "turbo" : "sequential";
}

}  // namespace

RasterMode ChosenRasterMode(const InitiationSettings& init) {
  if (init.dfLargeImageMd) return RasterMode::LargeImage;
  return init.dfTurboMd ? RasterMode::Turbo : RasterMode::Sequential;
}

Status PrintJob(JobContext& ctx, const fs::path& input) {
  const ActiveSetting& setting = ctx.setting;
  const InitiationSettings& init = ctx.init;
  JobHost& host = ctx.host;
  if (!setting.Applied()) {
    host.ShowMessage(kSettingWrong);
    return Status::Fail("the preset is not applied");
  }
  host.SetStatus(StatusLine::Separation, input.string());
  host.SetProgress(ProgressBar::Separation, PrintProgress::kStarted);

  const fs::path working = WorkingDir();
  for (const std::string& name : ListFolder(working, "*.*", EntryKind::Files)) DeleteFile(working / name);
  ctx.admitPage = nullptr;

  const std::string extension = ExtensionLower(input.filename().string());
  const fs::path staged = working / ("00." + extension);
  auto stagedInput = StagedInput::Stage(input, staged, init.dfPreserveCF);
  if (!stagedInput) return stagedInput.status();
  host.SetProgress(ProgressBar::Separation, PrintProgress::kStaged);

  try {
    imaging::InitializeImaging();
    // The rotation test on the staged input; the image library reads no PDF,
    // so a PDF is measured on its separated cyan plane below.
    std::optional<double> inches;
    if (extension != "pdf") {
      // From the header alone: a file too large for the disks is refused
      // before a pixel is decoded.
      const imaging::ImageHeader image = imaging::PingImage(staged);
      if (image.xResolution > 0.0) inches = image.columns / image.xResolution;
      const double w = std::ceil(image.columns * std::max(setting.xResolutionValue, 1) / image.xResolution);
      const double h = std::ceil(image.rows * std::max(setting.yResolutionValue, 1) / image.yResolution);
      if (const Status room = CheckDiskRoom(PrintDiskNeeds(static_cast<uint64_t>(w), static_cast<uint64_t>(h),
                                                           setting.Bits, uint64_t{image.columns} * image.rows));
          !room) {
        return room;
      }
    } else {
      // A PDF's page is sized by Ghostscript's probe, before it renders.
      const double vx = std::atof(ctx.init.dfVectorX.empty() ? setting.xResolution.c_str() : ctx.init.dfVectorX.c_str());
      const double vy = std::atof(ctx.init.dfVectorY.empty() ? setting.yResolution.c_str() : ctx.init.dfVectorY.c_str());
      ctx.admitPage = [&setting, vx, vy](uint32_t width, uint32_t height) {
        const double sx = vx > 0.0 ? std::max(setting.xResolutionValue, 1) / vx : 1.0;
        const double sy = vy > 0.0 ? std::max(setting.yResolutionValue, 1) / vy : 1.0;
        return CheckDiskRoom(PrintDiskNeeds(static_cast<uint64_t>(std::ceil(width * sx)),
                                            static_cast<uint64_t>(std::ceil(height * sy)), setting.Bits,
                                            uint64_t{width} * height));
      };
    }

    const StageClock separationClock;
    const SeparationOutcome separated =
        SeparateStaged(ctx, extension, /*dithering=*/true, /*assignSlots=*/true, SeparationPurpose::Print);
    if (!separated.status) return separated.status;
    host.Log("separation stage: " + separationClock.Text());
    bool anyProcess = false;
    for (int k = 0; k < 4; ++k) {
      std::error_code ec;
      anyProcess = anyProcess || fs::is_regular_file(working / SlotFileName(k), ec);
    }
    if (!anyProcess) return Status::Fail("the separation left none of the process slot files 00_0.tiff .. 00_3.tiff");
    if (!inches) inches = CyanInches(working, setting.PRNSequence);
    const bool rotate = WiderThanRotationLimit(inches.value_or(0.0), 1.0, init.dfRotLimit);

    const fs::path output = UserPrnDir() / (StemOf(input.filename().string()) + "." + setting.Suffix);
    auto created = PrnFile::Create(output);
    if (!created) return created.status();
    auto file = std::move(created.value());
    PrnChannelSet set;
    set.lc = separated.lightSlots[0] != 0;
    set.lm = separated.lightSlots[1] != 0;
    set.lk = separated.lightSlots[2] != 0;
    set.llk = separated.lightSlots[3] != 0;
    set.multicolor = std::clamp(separated.multicolorSlots, 0, 4);
    set.spot = std::clamp(separated.spotSlots, 0, 6);
    raster::IncludeUnderbaseSlot(setting, set);
    const auto slots = PrnPositionSlots(set);
    if (!slots) return Status::Fail("no channel layout for the planes found");
    host.SetProgress(ProgressBar::Separation, PrintProgress::kRasterFrom);

    PrintRaster raster{setting, host, working, *slots};
    raster.turn = init.dfImageRt && rotate ? (init.dfRotatedOri ? -90 : 90) : 0;
    raster.upward = init.dfImageUp;
    raster.negate = separated.fromPdfRoute;
    raster.stop = ctx.stop;
    raster.mirror = init.dfMirror;
    // Both bars move with the raster work: 1041 from kRasterFrom by
    // kRasterSpan, 1043 from kPrnFrom by kPrnSpan, each shown only when its
    // whole percentage changes.
    std::mutex progressLock;
    int shown[2] = {PrintProgress::kRasterFrom, PrintProgress::kPrnFrom};
    raster.progress = [&](double fraction) {
      const std::lock_guard guard(progressLock);
      const int separation = PrintProgress::kRasterFrom + static_cast<int>(PrintProgress::kRasterSpan * fraction);
      const int prn = PrintProgress::kPrnFrom + static_cast<int>(PrintProgress::kPrnSpan * fraction);
      if (separation > shown[0]) host.SetProgress(ProgressBar::Separation, shown[0] = separation);
      if (prn > shown[1]) host.SetProgress(ProgressBar::Prn, shown[1] = prn);
    };
    host.SetStatus(StatusLine::Prn, input.string());
    host.SetProgress(ProgressBar::Prn, PrintProgress::kPrnFrom);
    const RasterMode mode = ChosenRasterMode(init);
    const StageClock rasterClock;
    const RasterResult result = mode == RasterMode::LargeImage ? RenderBands(raster, *file)
                                : mode == RasterMode::Turbo    ? RenderTurbo(raster, *file)
                                                               : RenderSequential(raster, *file);
    if (!result.status) return result.status;
    if (Status finished = separated.Finish(); !finished) return finished;
    host.SetProgress(ProgressBar::Separation, PrintProgress::kFinished);
    // The file must have its full size before it takes the final name.
    if (!file->Commit(result.fileSize)) return Status::Fail(file->error());
    host.Log(std::string("raster work (") + ModeName(mode) + "): " + rasterClock.Text());
    host.Log("printed " + input.string() + " to " + output.string());
  } catch (const std::exception& e) {
    return Status::Fail(e.what());
  }
  // Only a printed file leaves its item folder; a failure above gives it back.
  stagedInput->Commit();
  ResetDisplays(host);
  return Status::Ok();
}

bool PrintCommand(JobContext& ctx, const std::string& item, FileFailure* failure) {
  if (!IsImageListItem(item)) {
    ctx.host.ShowMessage(kChooseImageItem);
    return false;
  }
  std::optional<JobLock> lock;
  if (!TakeJobLock(ctx, lock)) return false;
  const fs::path folder = CustomFilesDir() / item;
  for (const std::string& name : ListFolder(folder, "*.*", EntryKind::Files)) {
    if (const Status status = PrintJob(ctx, folder / name); !status) {
      // What the failed job wrote would only fill the disk (a full disk's
      // cut-short planes among it); the artwork stays in its item folder.
      for (const std::string& file : ListFolder(WorkingDir(), "*.*", EntryKind::Files)) DeleteFile(WorkingDir() / file);
      if (failure && ctx.setting.Applied()) *failure = FileFailure{name, status.cause()};
      ctx.host.ShowMessage(kFailPrint, name + ": " + status.cause());
      ResetDisplays(ctx.host);
      return false;
    }
    ResetDisplays(ctx.host);
  }
  ctx.host.RefreshLists();
  return true;
}

}  // namespace qm
