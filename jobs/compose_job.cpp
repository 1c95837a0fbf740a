#include "jobs/compose_job.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

#include "halftone/halftone.h"
#include "imaging/imaging.h"
#include "jobs/commands.h"
#include "output/job_support.h"
#include "output/prn_file.h"
#include "output/print_raster.h"
#include "platform/job_lock.h"
#include "platform/platform.h"
#include "separation/plane_recipe.h"
#include "separation/staging.h"
#include "settings/apply.h"

namespace qm {

namespace {

// Everything after the last '_' of a name ("photo_L0.tif" gives "L0.tif").
std::string AfterLastUnderscore(const std::string& name) {
  const std::size_t u = name.rfind('_');
  return u == std::string::npos ? name : name.substr(u + 1);
}

void EndWithNone(JobHost& host) {
  host.SetStatus(StatusLine::Prn, kNone);
  host.SetProgress(ProgressBar::Prn, ComposeProgress::kReset);
}

// Whether `name` is one of base's planes: base + "_" + a channel code +
// `extension`, and nothing else (not the planes of "base_x", whose names
// also begin with base + "_").
bool IsPlaneOf(const std::string& name, const std::string& base, const std::string& extension) {
  const std::string prefix = base + "_";
  if (name.size() <= prefix.size() + extension.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  if (!EqualsNoCase(name.substr(name.size() - extension.size()), extension)) return false;
  return ChannelIndexOfCode(name.substr(prefix.size(), name.size() - prefix.size() - extension.size())) >= 0;
}

// The channels of a composed file: C, M, Y, K, the light slots the caller's
// boxes name or that hold a plane, and the M and S slots up to the last that
// holds a plane; an M or S slot without a plane before it is a channel
// without dots, as the Print job packs it. Each position's plane is opened
// (its header read): C, M, Y, K and the light channels must be there, and
// every plane has the size of the first.
struct ComposedPositions {
  std::vector<int> slots;
  std::vector<std::unique_ptr<imaging::PlaneRowReader>> readers;  // null: no plane
  const imaging::PlaneInfo* first = nullptr;
};

Status OpenComposedPositions(JobContext& ctx, const LightInkBoxes& boxes, ComposedPositions& out) {
  const fs::path working = WorkingDir();
  auto present = [&](int slot) {
    std::error_code ec;
    return fs::exists(working / SlotFileName(slot), ec);
  };
  PrnChannelSet set;
  set.lc = boxes.lc || present(kLightInks.first);
  set.lm = boxes.lm || present(kLightInks.first + 1);
  set.lk = boxes.lk || present(kLightInks.first + 2);
  set.llk = boxes.llk || present(kLightInks.first + 3);
  for (int j = 0; j < kMulticolorInks.size(); ++j) set.multicolor = present(kMulticolorInks.first + j) ? j + 1 : set.multicolor;
  for (int j = 0; j < kSpotInks.size(); ++j) set.spot = present(kSpotInks.first + j) ? j + 1 : set.spot;
  const auto slots = PrnPositionSlots(set);
  if (!slots) return Status::Fail("no channel layout for the slot files");
  out.slots = *slots;
  out.readers.resize(slots->size());
  for (std::size_t p = 0; p < slots->size(); ++p) {
    const int slot = (*slots)[p];
    if (slot >= kMulticolorInks.first && !present(slot)) {
      ctx.host.Log("no " + SlotFileName(slot) + ": position " + std::to_string(p) + " is left without dots");
      continue;
    }
    out.readers[p] = std::make_unique<imaging::PlaneRowReader>(working / SlotFileName(slot));
    const imaging::PlaneInfo& info = out.readers[p]->Info();
    if (out.first && (info.width != out.first->width || info.height != out.first->height)) {
      return Status::Fail(SlotFileName(slot) + " is " + std::to_string(info.width) + " x " +
                          std::to_string(info.height) + ", unlike " + SlotFileName(0) + " (" +
                          std::to_string(out.first->width) + " x " + std::to_string(out.first->height) + ")");
    }
    if (!out.first) out.first = &info;
  }
  return Status::Ok();
}

// Packing: the halftoned slot files as ink values into
// RipIn/UserPrn/<base>.<Suffix>.
Status PackComposed(JobContext& ctx, const std::string& base, const LightInkBoxes& boxes) {
  const ActiveSetting& setting = ctx.setting;
  if (!setting.Applied()) {
    ctx.host.ShowMessage(kApplySettingFirst);
    return Status::Fail("the preset is not applied");
  }
  try {
    imaging::InitializeImaging();
    ComposedPositions positions;
    if (Status opened = OpenComposedPositions(ctx, boxes, positions); !opened) return opened;
    const std::vector<int>& slots = positions.slots;
    auto& readers = positions.readers;
    const imaging::PlaneInfo* first = positions.first;
    // The planes are read and packed band by band, so memory grows with the
    // page's width, never with its area (an A2 page at 720 dpi would hold
    // gigabytes as whole planes).
    ctx.host.SetProgress(ProgressBar::Prn, ComposeProgress::kPlanesOpen);

    const uint32_t width = first->width, height = first->height;
    constexpr uint32_t kBandRows = 64;
    std::vector<std::vector<float>> bands(slots.size());
    const std::vector<float> blank(width, 0.0f);
    uint32_t bandTop = 0, bandRows = 0;
    // Row y of position p as ink values (stored with 0 for full ink).
    auto row = [&](uint32_t y, std::size_t p) -> std::span<const float> {
      if (y >= bandTop + bandRows || y < bandTop) {
        bandTop = y - y % kBandRows;
        bandRows = std::min(kBandRows, height - bandTop);
        for (std::size_t q = 0; q < readers.size(); ++q) {
          if (!readers[q]) continue;
          bands[q].resize(std::size_t{bandRows} * width);
          readers[q]->Read(bandTop, bandRows, bands[q].data());
          for (float& v : bands[q]) v = 65535.0f - v;
        }
      }
      if (!readers[p]) return blank;
      return std::span<const float>(bands[p].data() + std::size_t{y - bandTop} * width, width);
    };
    const fs::path out = UserPrnDir() / (base + "." + setting.Suffix);
    const Status written = WritePrnFileRows(out, static_cast<uint32_t>(std::max(setting.xResolutionValue, 0)),
                                            static_cast<uint32_t>(std::max(setting.yResolutionValue, 0)), width,
                                            height, setting.Bits, slots.size(), row,
                                            HalftoneParams::Of(setting).levels);
    if (!written) return Status::Fail("cannot write " + out.string() + ": " + written.cause());
    return Status::Ok();
  } catch (const std::exception& e) {
    return Status::Fail(e.what());
  }
}

// The rip needs an applied preset and the printer's resolution.
Status CanRip(JobContext& ctx, const std::string& slotFile) {
  const ActiveSetting& setting = ctx.setting;
  if (!setting.Applied()) {
    ctx.host.ShowMessage(kSettingWrong);
    return Status::Fail("the preset is not applied");
  }
  if (setting.xResolutionValue <= 0 || setting.yResolutionValue <= 0) {
    return Status::Fail("cannot rip " + slotFile + " at a resolution of " + setting.xResolution + " x " +
                        setting.yResolution);
  }
  return Status::Ok();
}

// Rip and packing of undithered slot files in one pass, through the Print
// job's row pipeline: each plane read, turned, negated (the files hold 0
// for full ink), resampled and halftoned a few rows at a time, so memory
// grows with the page's width, never with its area. The rotation test
// counts the whole inches of the cyan slot file at the printer's
// xResolution. The white is never generated here: undithered planes are
// filed without one.
// `message` becomes "Fail to Rip the files !" when the rip itself fails.
Status RipComposed(JobContext& ctx, const std::string& base, const LightInkBoxes& boxes, const char*& message) {
  const ActiveSetting& setting = ctx.setting;
  const fs::path working = WorkingDir();
  ctx.host.SetStatus(StatusLine::Prn, (SeparationDir() / (base + "_*.tif")).string());
  ctx.host.SetProgress(ProgressBar::Prn, ComposeProgress::kRipFrom);
  try {
    imaging::InitializeImaging();
    ComposedPositions positions;
    if (Status opened = OpenComposedPositions(ctx, boxes, positions); !opened) return opened;
    const uint32_t width = positions.first->width;  // 00_0.tiff's: C is always there
    positions.readers.clear();
    const float limit = static_cast<float>(ParseLeadingDouble(ctx.init.dfRotLimit));
    const float inches = static_cast<float>(width / static_cast<uint32_t>(setting.xResolutionValue));

    const fs::path out = UserPrnDir() / (base + "." + setting.Suffix);
    auto created = PrnFile::Create(out);
    if (!created) return created.status();
    auto file = std::move(created.value());
    PrintRaster raster{setting, ctx.host, working, positions.slots};
    raster.turn = ctx.init.dfImageRt && inches > limit ? (ctx.init.dfRotatedOri ? -90 : 90) : 0;
    raster.upward = ctx.init.dfImageUp;
    raster.negate = true;
    raster.mirror = ctx.init.dfMirror;
    raster.underbase = false;
    raster.stop = ctx.stop;
    int shown = ComposeProgress::kRipFrom;
    raster.progress = [&](double fraction) {
      if (const int prn = ComposeProgress::kRipFrom + static_cast<int>(ComposeProgress::kRipSpan * fraction);
          prn > shown) {
        ctx.host.SetProgress(ProgressBar::Prn, shown = prn);
      }
    };
    const RasterResult result = RenderSequential(raster, *file);
    if (!result.status) {
      message = kFailRip;
      return result.status;
    }
    if (!file->Commit(result.fileSize)) return Status::Fail("cannot write " + out.string() + ": " + file->error());
    ctx.host.SetProgress(ProgressBar::Prn, ComposeProgress::kRipped);
    return Status::Ok();
  } catch (const std::exception& e) {
    return Status::Fail(e.what());
  }
}

}  // namespace

bool ComposeJob(JobContext& ctx, const std::string& item, const std::string& entry, const LightInkBoxes& boxes) {
  const std::size_t cut = entry.rfind('_');
  const std::string base = cut == std::string::npos ? std::string() : entry.substr(0, cut);
  const bool dithered = ctx.init.dfDitheredCk;
  const fs::path working = WorkingDir();

  for (const std::string& name : ListFolder(working, "*.*", EntryKind::Files)) DeleteFile(working / name);

  // Only base's own planes: base + "_" + a channel code + the extension.
  // They are staged (linked) into the Working folder and leave the
  // separation only when the Compose succeeded: a failed one keeps them.
  const fs::path folder = SeparationDir() / item;
  const std::string extension = dithered ? ".tiff" : ".tif";
  std::vector<StagedInput> planes;
  for (const std::string& name : ListFolder(folder, base + "_*" + extension, EntryKind::Files)) {
    if (IsPlaneOf(name, base, extension)) {
      auto staged = StagedInput::Stage(folder / name, working / ("00_" + AfterLastUnderscore(name)), false);
      if (!staged) {
        ctx.host.ShowMessage(kFailCompose, staged.cause());
        EndWithNone(ctx.host);
        return false;
      }
      planes.push_back(std::move(*staged));
    } else if (AfterLastUnderscore(name).size() == name.size() - base.size() - 1) {
      ctx.host.Warn(name + " is no channel plane of " + base + ": it is not printed");
    }
  }

  std::vector<std::string> toRip;
  if (!dithered) {
    AssignSlots(working, ctx.setting.PRNSequence, ctx.host);
    toRip = ListFolder(working, "00_*.tiff", EntryKind::Files);
  }
  if (!toRip.empty()) {
    if (const Status status = CanRip(ctx, toRip.front()); !status) {
      ctx.host.ShowMessage(kFailRip, status.cause());
      EndWithNone(ctx.host);
      return false;
    }
  }
  const char* message = kFailCompose;
  const Status packed =
      toRip.empty() ? PackComposed(ctx, base, boxes) : RipComposed(ctx, base, boxes, message);
  const bool ok = packed.ok();
  if (!ok) {
    ctx.host.ShowMessage(message, packed.cause());
  } else {
    for (StagedInput& plane : planes) plane.Commit();
    ctx.host.RefreshLists();
  }
  EndWithNone(ctx.host);
  return ok;
}

bool ComposeCommand(JobContext& ctx, const std::string& item, const std::string& entry,
                    const LightInkBoxes& boxes) {
  if (!IsImageListItem(item)) {
    ctx.host.ShowMessage(kChooseImageItem);
    return false;
  }
  const auto entries = ListFolder(SeparationDir() / item, "*.tif?", EntryKind::Files);
  if (entry.empty() || std::find(entries.begin(), entries.end(), entry) == entries.end()) {
    ctx.host.ShowMessage(kChooseSeparationItem);
    return false;
  }
  std::optional<JobLock> lock;
  if (!TakeJobLock(ctx, lock)) return false;
  return ComposeJob(ctx, item, entry, boxes);
}

}  // namespace qm
