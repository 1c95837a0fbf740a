// The Separate job: every image of an item folder, one after another, staged
// in the Working folder, separated, optionally halftoned, and filed under
// RipIn/Separation/item/.
#include <algorithm>
#include <system_error>

#include "imaging/imaging.h"
#include "platform/job_lock.h"
#include "platform/platform.h"
#include "separation/channels.h"
#include "jobs/commands.h"
#include "jobs/stages.h"
#include "separation/staging.h"
#include "separation/underbase_white.h"

namespace qm {

namespace {

void ResetDisplay(JobHost& host) {
  host.SetStatus(StatusLine::Separation, "None");
  host.SetProgress(ProgressBar::Separation, SeparateProgress::kReset);
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

// The generated white (underbase.txt: generate or both), made from the slot
// files at the printer's resolution before their turn and filed as the
// white's slot file, which the plane loop then turns and halftones like the
// others (the choke's disc and the white's tones do not change under the
// turns). The slot joins the loop's channels.
Status GenerateWhite(const JobContext& ctx, const fs::path& working, PlaneLoopInput& input) {
  const UnderbaseSettings& u = ctx.setting.underbase;
  if (!u.Generates()) return Status::Ok();
  if (const std::string why = UnderbaseNotPrinted(u, ctx.setting.PRNSequence, ctx.setting.PdfSpotColorName);
      !why.empty()) {
    ctx.host.Warn(why);
    return Status::Ok();
  }
  const int white = FirstSlotOf(ctx.setting.PRNSequence, u.InkCode());
  const int black = FirstSlotOf(ctx.setting.PRNSequence, ChannelCode(kBlackInk));
  PlaneRecipe recipe;
  recipe.order = kSeparateOrder;
  recipe.negate = input.planes.fromPdfRoute;
  recipe.xResolution = ctx.setting.xResolutionValue;
  recipe.yResolution = ctx.setting.yResolutionValue;
  std::vector<WhiteSource> sources;
  for (int k = 0; k < kSlotCount; ++k) {
    const fs::path path = working / SlotFileName(k);
    std::error_code ec;
    if (!fs::exists(path, ec)) continue;
    const auto role = k == white   ? WhiteSource::Role::kArtWhite
                      : k == black ? WhiteSource::Role::kBlack
                                   : WhiteSource::Role::kOther;
    sources.push_back({path, role});
  }
  if (sources.empty()) return Status::Ok();
  const fs::path made = working / ".underbase.tiff";
  try {
    const imaging::PlaneInfo info = imaging::ReadPlaneInfo(sources.front().file);
    const imaging::RowResampler size(info.width, info.height, info.xResolution, info.yResolution,
                                     recipe.xResolution, recipe.yResolution);
    WriteWhitePlane(u, recipe, sources, size.OutputWidth(), size.OutputHeight(), made, input.planes.fromPdfRoute);
    fs::rename(made, working / SlotFileName(white));
  } catch (const std::exception& e) {
    DeleteFile(made);
    return Status::Fail("the white underbase: " + std::string(e.what()));
  }
  input.planes.IncludeSlot(white);
  ctx.host.Log("white underbase generated in " + SlotFileName(white));
  return Status::Ok();
}

// The stages after staging: separation, and halftoning when dithering.
Status SeparateStagedImage(JobContext& ctx, const std::string& extension, bool dithering) {
  JobHost& host = ctx.host;
  const fs::path working = WorkingDir();
  try {
    imaging::InitializeImaging();
  } catch (const std::exception& e) {
    return Status::Fail(e.what());
  }

  const SeparationOutcome outcome = SeparateStaged(ctx, extension, dithering, dithering, SeparationPurpose::Separate);
  if (!outcome.status) return outcome.status;
  host.Log("extra planes: multicolor " + std::to_string(outcome.multicolorCount) + ", spot " +
           std::to_string(outcome.spotCount));
  if (!dithering) {
    if (ctx.setting.underbase.Generates()) {
      host.Warn("the white underbase is not generated: the planes are filed undithered (\"Dithered\" is off)");
    }
    return outcome.Finish();
  }

  PlaneLoopInput input;
  try {
    input.rotateNeeded = RotationNeeded(working, ctx.init.dfRotLimit);
  } catch (const std::exception& e) {
    return Status::Fail(e.what());
  }
  input.rotationEnabled = ctx.init.dfImageRt;
  input.anticlockwise = ctx.init.dfRotatedOri;
  input.upward = ctx.init.dfImageUp;
  input.threads = ctx.init.dfTurboMd ? kSlotCount : 1;
  input.planes = outcome;
  if (Status white = GenerateWhite(ctx, working, input); !white) return white;
  const StageClock planeClock;
  const PlaneLoopResult result = ProcessPlanes(ctx, input);
  host.Log("plane work: " + planeClock.Text());
  if (!result.status) return result.status;
  if (Status finished = outcome.Finish(); !finished) return finished;
  host.SetProgress(ProgressBar::Separation, SeparateProgress::kFiled);
  return Status::Ok();
}

}  // namespace

Status SeparateImage(JobContext& ctx, const std::string& item, const fs::path& imagePath, bool dithering) {
  JobHost& host = ctx.host;
  if (!ctx.setting.Applied()) {
    host.ShowMessage(kSettingWrong);
    return Status::Fail("the preset is not applied");
  }
  host.SetStatus(StatusLine::Separation, imagePath.string());
  host.SetProgress(ProgressBar::Separation, SeparateProgress::kStarted);
  const fs::path working = WorkingDir();
  EmptyWorking(working);

  const std::string extension = ExtensionLower(FileNameOf(imagePath.string()));
  auto staged = StagedInput::Stage(imagePath, working / ("00." + extension), ctx.init.dfPreserveCF);
  if (!staged) return staged.status();
  if (const Status status = SeparateStagedImage(ctx, extension, dithering); !status) return status;
  // The source leaves its item folder only once its planes are filed: until
  // then the planes in the Working folder are no copy of it that lasts.
  if (const Status filed = FilePlanes(item, imagePath, dithering); !filed) return filed;
  staged->Commit();
  return Status::Ok();
}

Status FilePlanes(const std::string& item, const fs::path& imagePath, bool dithering) {
  const fs::path working = WorkingDir();
  const fs::path folder = SeparationDir() / item;
  if (!CreateFolder(folder)) return Status::Fail("cannot create the folder " + folder.string() + " for the planes");
  const std::string stem = StemOf(FileNameOf(imagePath.string()));
  for (const std::string& name : ListFolder(working, dithering ? "00_*.tiff" : "00_*.tif", EntryKind::Files)) {
    const fs::path target = folder / (stem + name.substr(name.rfind('_')));
    if (!MoveFile(working / name, target)) return Status::Fail("cannot file the plane " + target.string());
  }
  return Status::Ok();
}

bool SeparateCommand(JobContext& ctx, const std::string& item) {
  JobHost& host = ctx.host;
  std::optional<JobLock> lock;
  if (!TakeJobLock(ctx, lock)) return false;
  const fs::path folder = CustomFilesDir() / item;
  for (const std::string& name : ListFolder(folder, "*.*", EntryKind::Files)) {
    const fs::path image = folder / name;
    const bool dithering = ctx.init.dfDitheredCk;
    if (const Status status = SeparateImage(ctx, item, image, dithering); !status) {
      // What the failed job wrote would only fill the disk (a full disk's
      // cut-short planes among it); the artwork stays in its item folder.
      EmptyWorking(WorkingDir());
      host.ShowMessage(kFailSeparate, name + ": " + status.cause());
      ResetDisplay(host);
      return false;
    }
    ResetDisplay(host);
  }
  host.RefreshLists();
  return true;
}

}  // namespace qm
