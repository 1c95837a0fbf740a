// The Separate job: every image of an item folder, one after another, staged
// in the Working folder, separated, optionally halftoned, and filed under
// RipIn/Separation/item/.
#include <system_error>

#include "imaging/imaging.h"
#include "platform/job_lock.h"
#include "platform/platform.h"
#include "separation/channels.h"
#include "separation/commands.h"
#include "separation/stages.h"

namespace qm {

namespace {

void ResetDisplay(JobHost& host) {
  host.SetStatus(StatusLine::Separation, "None");
  host.SetProgress(ProgressBar::Separation, 0);
}

void EmptyWorking(const fs::path& working) {
  for (const std::string& name : ListFolder(working, "*.*", EntryKind::Files)) DeleteFile(working / name);
}

// The rotation test on the first process slot that holds a plane (slot 0
// normally), before any resampling.
bool RotationNeeded(const fs::path& working, const std::string& rotLimit) {
  for (int i = 0; i < 4; ++i) {
    const fs::path path = working / SlotFileName(i);
    std::error_code ec;
    if (!fs::exists(path, ec)) continue;
    const imaging::PlaneInfo info = imaging::ReadPlaneInfo(path);
    return WiderThanRotationLimit(info.width, info.xResolution, rotLimit);
  }
  return false;
}

}  // namespace

bool SeparateImage(JobContext& ctx, const fs::path& imagePath, bool dithering) {
  JobHost& host = ctx.host;
  if (ctx.setting.settingApplied != 1) {
    host.ShowMessage(kSettingWrong);
    return false;
  }
  host.SetStatus(StatusLine::Separation, imagePath.string());
  host.SetProgress(ProgressBar::Separation, 5);
  const fs::path working = WorkingDir();
  EmptyWorking(working);

  const std::string extension = ExtensionLower(FileNameOf(imagePath.string()));
  const fs::path staged = working / ("00." + extension);
  const bool staged_ok =
      ctx.init.dfPreserveCF ? CopyFileOver(imagePath, staged) : MoveFile(imagePath, staged);
  if (!staged_ok) {
    host.Log("cannot stage " + imagePath.string());
    return false;
  }
  try {
    imaging::InitializeImaging();
  } catch (const std::exception& e) {
    host.Log(e.what());
    return false;
  }

  const SeparationOutcome outcome = SeparateStaged(ctx, extension, dithering, dithering, SeparationPurpose::Separate);
  if (!outcome.ok) {
    host.Log(imagePath.string() + ": " + outcome.reason);
    return false;
  }
  host.Log("extra planes: multicolor " + std::to_string(outcome.multicolorCount) + ", spot " +
           std::to_string(outcome.spotCount));
  std::string unfinished;
  if (!dithering) {
    if (outcome.Finish(&unfinished)) return true;
    host.Log(imagePath.string() + ": " + unfinished);
    return false;
  }

  PlaneLoopInput input;
  try {
    input.rotateNeeded = RotationNeeded(working, ctx.init.dfRotLimit);
  } catch (const std::exception& e) {
    host.Log(imagePath.string() + ": " + e.what());
    return false;
  }
  input.rotationEnabled = ctx.init.dfImageRt;
  input.anticlockwise = ctx.init.dfRotatedOri;
  input.upward = ctx.init.dfImageUp;
  input.threads = ctx.init.dfTurboMd ? kSlotCount : 1;
  input.planes = outcome;
  const PlaneLoopResult result = ProcessPlanes(ctx, input);
  if (!result.ok) {
    host.Log(imagePath.string() + ": " + result.reason);
    return false;
  }
  if (!outcome.Finish(&unfinished)) {
    host.Log(imagePath.string() + ": " + unfinished);
    return false;
  }
  host.SetProgress(ProgressBar::Separation, 95);
  return true;
}

void FilePlanes(const std::string& item, const fs::path& imagePath, bool dithering) {
  const fs::path working = WorkingDir();
  const fs::path folder = SeparationDir() / item;
  CreateFolder(folder);
  const std::string stem = StemOf(FileNameOf(imagePath.string()));
  for (const std::string& name : ListFolder(working, dithering ? "00_*.tiff" : "00_*.tif", EntryKind::Files)) {
    MoveFile(working / name, folder / (stem + name.substr(name.rfind('_'))));
  }
}

bool SeparateCommand(JobContext& ctx, const std::string& item) {
  JobHost& host = ctx.host;
  JobLock lock;
  if (!lock.Held()) {
    host.ShowMessage(kAnotherJobMessage);
    return false;
  }
  const fs::path folder = CustomFilesDir() / item;
  for (const std::string& name : ListFolder(folder, "*.*", EntryKind::Files)) {
    const fs::path image = folder / name;
    const bool dithering = ctx.init.dfDitheredCk;
    if (!SeparateImage(ctx, image, dithering)) {
      host.ShowMessage(kFailSeparate);
      ResetDisplay(host);
      return false;
    }
    FilePlanes(item, image, dithering);
    ResetDisplay(host);
  }
  host.RefreshLists();
  return true;
}

}  // namespace qm
