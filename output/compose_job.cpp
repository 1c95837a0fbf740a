#include "output/compose_job.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <vector>

#include "halftone/halftone.h"
#include "imaging/imaging.h"
#include "output/commands.h"
#include "output/job_support.h"
#include "output/prn_file.h"
#include "platform/job_lock.h"
#include "platform/platform.h"

namespace qm {

namespace {

// Everything after the last '_' of a name ("photo_L0.tif" gives "L0.tif").
std::string AfterLastUnderscore(const std::string& name) {
  const std::size_t u = name.rfind('_');
  return u == std::string::npos ? name : name.substr(u + 1);
}

// The code of a slot file name: between its last '_' and its extension.
std::string CodeOf(const std::string& name) { return StemOf(AfterLastUnderscore(name)); }

void EndWithNone(JobHost& host) {
  host.SetStatus(StatusLine::Prn, kNone);
  host.SetProgress(ProgressBar::Prn, 0);
}

// Slot assignment: "00_" + field k + ".tif" becomes the slot file of k, the
// first field that names it winning.
void AssignSlots(const fs::path& working, const std::string& prnSequence) {
  const auto fields = SequenceCodes(prnSequence);
  for (const std::string& name : ListFolder(working, "*.*", EntryKind::Files)) {
    for (int k = 0; k < kPrnSlotCount; ++k) {
      if (name == "00_" + fields[k] + ".tif") {
        MoveFile(working / name, working / SlotFileName(k));
        break;
      }
    }
  }
}

// Packing: the slot files as ink values into RipIn/UserPrn/<base>.<Suffix>.
Status PackComposed(JobContext& ctx, const std::string& base, int multicolor, int spot) {
  ActiveSetting& setting = ctx.setting;
  if (setting.settingApplied == 0) {
    ctx.host.ShowMessage(kApplySettingFirst);
    return Status::Fail("the preset is not applied");
  }
  const fs::path working = WorkingDir();
  try {
    imaging::InitializeImaging();
    PrnChannelSet set;
    set.lc = ctx.form.UseLc;
    set.lm = ctx.form.UseLm;
    set.lk = ctx.form.UseLk;
    set.llk = ctx.form.UseLlk;
    set.multicolor = std::min(multicolor, 4);
    set.spot = std::min(spot, 6);
    const auto slots = PrnPositionSlots(set);
    if (!slots) return Status::Fail("no channel layout for " + std::to_string(multicolor) + " multicolour and " +
                                    std::to_string(spot) + " spot planes");

    std::vector<imaging::Plane> planes;
    planes.reserve(slots->size());
    for (int slot : *slots) {
      imaging::Plane plane = imaging::ReadPlane(working / SlotFileName(slot));
      if (!planes.empty() && (plane.width != planes[0].width || plane.height != planes[0].height)) {
        return Status::Fail(SlotFileName(slot) + " is " + std::to_string(plane.width) + " x " +
                            std::to_string(plane.height) + ", unlike " + SlotFileName(0) + " (" +
                            std::to_string(planes[0].width) + " x " + std::to_string(planes[0].height) + ")");
      }
      imaging::Negate(plane);  // stored with 0 for full ink; the packer takes ink values
      planes.push_back(std::move(plane));
    }
    ctx.host.SetProgress(ProgressBar::Prn, 85);

    std::vector<const float*> pointers;
    for (const auto& p : planes) pointers.push_back(p.pixels.data());
    const fs::path out = UserPrnDir() / (base + "." + setting.Suffix);
    std::string error;
    const bool ok = WritePrnFile(out, static_cast<uint32_t>(std::max(setting.xResolutionValue, 0)),
                                 static_cast<uint32_t>(std::max(setting.yResolutionValue, 0)), planes[0].width,
                                 planes[0].height, setting.Bits, pointers, JobDotLevels(setting), &error);
    if (!ok) return Status::Fail("cannot write " + out.string() + ": " + error);
    setting.largeDotEnabled = 1;
    setting.middleDotEnabled = 1;
    return Status::Ok();
  } catch (const std::exception& e) {
    return Status::Fail(e.what());
  }
}

}  // namespace

Status RipSlotFile(JobContext& ctx, const fs::path& slotFile, const std::string& baseName) {
  const ActiveSetting& setting = ctx.setting;
  const int slot = ChannelIndexFromName(slotFile.filename().string());
  if (setting.settingApplied == 0) {
    ctx.host.ShowMessage(kSettingWrong);
    return Status::Fail("the preset is not applied");
  }
  ctx.host.SetStatus(StatusLine::Prn, (SeparationDir() / (baseName + "_*.tif")).string());
  ctx.host.SetProgress(ProgressBar::Prn, 5);
  if (setting.xResolutionValue <= 0 || setting.yResolutionValue <= 0) {
    return Status::Fail("cannot rip " + slotFile.filename().string() + " at a resolution of " +
                        setting.xResolution + " x " + setting.yResolution);
  }
  try {
    imaging::InitializeImaging();
    imaging::Plane plane = imaging::ReadPlane(slotFile);
    // The rotation test counts whole inches at the printer's resolution.
    const float limit = static_cast<float>(ParseLeadingDouble(ctx.init.dfRotLimit));
    const float inches = static_cast<float>(plane.width / static_cast<uint32_t>(setting.xResolutionValue));
    if (ctx.init.dfImageRt && inches > limit) imaging::Rotate(plane, ctx.init.dfRotatedOri ? -90 : 90);
    if (ctx.init.dfImageUp) imaging::Rotate(plane, 180);
    imaging::Negate(plane);
    imaging::Resample(plane, setting.xResolutionValue, setting.yResolutionValue);
    HalftonePlane(setting, plane.pixels.data(), plane.width, plane.height, setting.Bits,
                  setting.MiddleDotDilution, setting.LargeDotDilution, setting.UseDots, setting.DitherMethod,
                  slot);
    imaging::Negate(plane);
    imaging::WritePlane(slotFile, plane, 16);
  } catch (const std::exception& e) {
    return Status::Fail(e.what());
  }
  ctx.host.SetProgress(ProgressBar::Prn, 65);
  return Status::Ok();
}

bool ComposeJob(JobContext& ctx, const std::string& item, const std::string& entry) {
  const std::size_t cut = entry.rfind('_');
  const std::string base = cut == std::string::npos ? std::string() : entry.substr(0, cut);
  const bool dithered = ctx.init.dfDitheredCk;
  const fs::path working = WorkingDir();

  for (const std::string& name : ListFolder(working, "*.*", EntryKind::Files)) DeleteFile(working / name);

  const fs::path folder = SeparationDir() / item;
  for (const std::string& name : ListFolder(folder, base + (dithered ? "_*.tiff" : "_*.tif"), EntryKind::Files)) {
    MoveFile(folder / name, working / ("00_" + AfterLastUnderscore(name)));
  }

  if (!dithered) {
    AssignSlots(working, ctx.setting.PRNSequence);
    for (const std::string& name : ListFolder(working, "00_*.tiff", EntryKind::Files)) {
      if (const Status status = RipSlotFile(ctx, working / name, base); !status) {
        ctx.host.ShowMessage(kFailRip, status.cause());
        EndWithNone(ctx.host);
        return false;
      }
    }
  }

  int multicolor = 0, spot = 0;
  for (const std::string& name : ListFolder(working, "00_*.tiff", EntryKind::Files)) {
    const std::string code = CodeOf(name);
    if (!code.empty() && code[0] == 'M') ++multicolor;
    if (!code.empty() && code[0] == 'S') ++spot;
  }

  const Status packed = PackComposed(ctx, base, multicolor, spot);
  const bool ok = packed.ok();
  if (!ok) {
    ctx.host.ShowMessage(kFailCompose, packed.cause());
  } else {
    ctx.host.RefreshLists();
  }
  EndWithNone(ctx.host);
  return ok;
}

bool ComposeCommand(JobContext& ctx, const std::string& item, const std::string& entry) {
  if (!IsImageListItem(item)) {
    ctx.host.ShowMessage(kChooseImageItem);
    return false;
  }
  const auto entries = ListFolder(SeparationDir() / item, "*.tif?", EntryKind::Files);
  if (entry.empty() || std::find(entries.begin(), entries.end(), entry) == entries.end()) {
    ctx.host.ShowMessage(kChooseSeparationItem);
    return false;
  }
  JobLock lock;
  if (!lock.Held()) {
    ctx.host.ShowMessage(kAnotherJobMessage);
    return false;
  }
  return ComposeJob(ctx, item, entry);
}

}  // namespace qm
