#include "output/print_job.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <optional>

#include "imaging/imaging.h"
#include "output/commands.h"
#include "output/job_support.h"
#include "output/print_raster.h"
#include "platform/job_lock.h"
#include "platform/platform.h"
#include "separation/stages.h"

namespace qm {

namespace {

void ResetDisplays(JobHost& host) {
  host.SetStatus(StatusLine::Separation, kNone);
  host.SetStatus(StatusLine::Prn, kNone);
  host.SetProgress(ProgressBar::Separation, 0);
  host.SetProgress(ProgressBar::Prn, 0);
}

// Width in inches of the separated cyan plane: the slot file PRNSequence put
// it in, else its plane by code.
std::optional<double> CyanInches(const fs::path& working, const std::string& prnSequence) {
  const auto fields = SequenceCodes(prnSequence);
  std::vector<fs::path> candidates;
  for (int k = 0; k < kPrnSlotCount; ++k) {
    if (fields[k] == "0") {
      candidates.push_back(working / SlotFileName(k));
      break;
    }
  }
  candidates.push_back(working / "00_0.tif");
  for (const fs::path& file : candidates) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) continue;
    const imaging::PlaneInfo info = imaging::ReadPlaneInfo(file);
    if (info.xResolution > 0.0) return info.width / info.xResolution;
  }
  return std::nullopt;
}

// Seconds since `start`, as text for the log.
std::string SecondsSince(std::chrono::steady_clock::time_point start) {
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", s);
  return text;
}

const char* ModeName(RasterMode mode) {
  return mode == RasterMode::LargeImage ? "large-image" : mode == RasterMode::Turbo ? "turbo" : "sequential";
}

}  // namespace

RasterMode ChosenRasterMode(const InitiationSettings& init) {
  if (init.dfLargeImageMd) return RasterMode::LargeImage;
  return init.dfTurboMd ? RasterMode::Turbo : RasterMode::Sequential;
}

bool PrintJob(JobContext& ctx, const fs::path& input) {
  ActiveSetting& setting = ctx.setting;
  const InitiationSettings& init = ctx.init;
  JobHost& host = ctx.host;
  if (setting.settingApplied == 0) {
    host.ShowMessage(kSettingWrong);
    return false;
  }
  host.SetStatus(StatusLine::Separation, input.string());
  host.SetProgress(ProgressBar::Separation, 5);

  const fs::path working = WorkingDir();
  for (const std::string& name : ListFolder(working, "*.*", EntryKind::Files)) DeleteFile(working / name);

  const std::string extension = ExtensionLower(input.filename().string());
  const fs::path staged = working / ("00." + extension);
  if (!(init.dfPreserveCF ? CopyFileOver(input, staged) : MoveFile(input, staged))) {
    host.Log("cannot stage " + input.string());
    return false;
  }
  host.SetProgress(ProgressBar::Separation, 10);

  try {
    imaging::InitializeImaging();
    // The rotation test on the staged input; the image library reads no PDF,
    // so a PDF is measured on its separated cyan plane below.
    std::optional<double> inches;
    if (extension != "pdf") {
      const imaging::Image image = imaging::Image::Read(staged);
      if (image.XResolution() > 0.0) inches = image.Columns() / image.XResolution();
    }

    const auto separationStart = std::chrono::steady_clock::now();
    const SeparationOutcome separated =
        SeparateStaged(ctx, extension, /*dithering=*/true, /*assignSlots=*/true, SeparationPurpose::Print);
    if (!separated.ok) {
      host.Log("separation failed: " + separated.reason);
      return false;
    }
    host.Log("separation stage: " + SecondsSince(separationStart));
    bool anyProcess = false;
    for (int k = 0; k < 4; ++k) {
      std::error_code ec;
      anyProcess = anyProcess || fs::is_regular_file(working / SlotFileName(k), ec);
    }
    if (!anyProcess) {
      host.Log("the separation left none of the process slot files 00_0.tiff .. 00_3.tiff");
      return false;
    }
    if (!inches) inches = CyanInches(working, setting.PRNSequence);
    const bool rotate = WiderThanRotationLimit(inches.value_or(0.0), 1.0, init.dfRotLimit);

    const fs::path output = UserPrnDir() / (StemOf(input.filename().string()) + "." + setting.Suffix);
    std::string error;
    auto file = PrnFile::Create(output, &error);
    if (!file) {
      host.Log(error);
      return false;
    }
    PrnChannelSet set;
    set.lc = separated.lightFlags[0] != 0;
    set.lm = separated.lightFlags[1] != 0;
    set.lk = separated.lightFlags[2] != 0;
    set.llk = separated.lightFlags[3] != 0;
    set.multicolor = std::clamp(separated.multicolorCount, 0, 4);
    set.spot = std::clamp(separated.spotCount, 0, 6);
    const auto slots = PrnPositionSlots(set);
    if (!slots) return false;
    host.SetProgress(ProgressBar::Separation, 65);

    PrintRaster raster{setting, host, working, *slots};
    raster.turn = init.dfImageRt && rotate ? (init.dfRotatedOri ? -90 : 90) : 0;
    raster.upward = init.dfImageUp;
    raster.negate = separated.fromPdfRoute;
    host.SetStatus(StatusLine::Prn, input.string());
    host.SetProgress(ProgressBar::Prn, 5);
    const RasterMode mode = ChosenRasterMode(init);
    const auto rasterStart = std::chrono::steady_clock::now();
    const RasterResult result = mode == RasterMode::LargeImage ? RenderBands(raster, *file)
                                : mode == RasterMode::Turbo    ? RenderTurbo(raster, *file)
                                                               : RenderSequential(raster, *file);
    if (!result.ok) {
      host.Log("cannot print " + input.string() + ": " + result.error);
      return false;
    }
    std::string unfinished;
    if (!separated.Finish(&unfinished)) {
      host.Log("cannot print " + input.string() + ": " + unfinished);
      return false;
    }
    host.SetProgress(ProgressBar::Separation, 95);
    // The file must have its full size before it takes the final name.
    const auto header = MakePrnHeader(static_cast<uint32_t>(std::max(setting.xResolutionValue, 0)),
                                      static_cast<uint32_t>(std::max(setting.yResolutionValue, 0)), result.width,
                                      result.height, static_cast<uint32_t>(slots->size()), setting.Bits);
    if (!header || !file->Commit(PrnExpectedFileSize(*header))) {
      host.Log(file->error());
      return false;
    }
    host.Log(std::string("raster work (") + ModeName(mode) + "): " + SecondsSince(rasterStart));
  } catch (const std::exception& e) {
    host.Log(e.what());
    return false;
  }
  setting.largeDotEnabled = 1;
  setting.middleDotEnabled = 1;
  ResetDisplays(host);
  return true;
}

bool PrintCommand(JobContext& ctx, const std::string& item) {
  if (!IsImageListItem(item)) {
    ctx.host.ShowMessage(kChooseImageItem);
    return false;
  }
  JobLock lock;
  if (!lock.Held()) {
    ctx.host.ShowMessage(kAnotherJobMessage);
    return false;
  }
  const fs::path folder = CustomFilesDir() / item;
  for (const std::string& name : ListFolder(folder, "*.*", EntryKind::Files)) {
    if (!PrintJob(ctx, folder / name)) {
      ctx.host.ShowMessage(kFailPrint);
      ResetDisplays(ctx.host);
      return false;
    }
    ResetDisplays(ctx.host);
  }
  ctx.host.RefreshLists();
  return true;
}

}  // namespace qm
