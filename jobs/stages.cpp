// Staged separation: the TIF/JPG route through our `magick`, the PDF route
// through Ghostscript's tiffsep, renaming to channel planes, light-ink copies
// and slot assignment. Every file lives in the Working folder.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "separation/channels.h"
#include "separation/split_render.h"
#include "jobs/print_job.h"
#include "jobs/stages.h"
#include "separation/tool_commands.h"
#include "settings/apply.h"

namespace qm {

namespace {

class Stager {
 public:
  Stager(JobContext& ctx, const std::string& extension, bool dithering, SeparationPurpose purpose)
      : ctx_(ctx),
        extension_(extension),
        dithering_(dithering),
        purpose_(purpose),
        appDir_(AppDir()),
        working_(WorkingDir()),
        staged_(working_ / ("00." + extension)) {}

  SeparationOutcome Run(bool assignSlots) {
    try {
      out_.status = Separate(assignSlots);
    } catch (const std::exception& e) {  // the image library throws its failures (imaging/imaging.h)
      out_.status = Status::Fail(e.what());
    }
    return out_;
  }

 private:
  Status Separate(bool assignSlots) {
    const Status routed = !ctx_.init.dfTifToPdf && extension_ != "pdf" ? TifRoute() : PdfRoute();
    if (!routed) return routed;
    if (!HasProcessPlane()) {
      return Status::Fail("the separation produced none of the four process planes" +
                          (toolFailure_.empty() ? std::string() : ": " + toolFailure_));
    }
    // A tool that failed but left the process planes: the job goes on
    // with what it left, and says so.
    if (!toolFailure_.empty()) ctx_.host.Warn(toolFailure_ + "; the job went on with the planes it left");
    LightInkCopies();
    Progress(Steps().separated);
    out_.lightSlots = out_.lightFlags;
    out_.multicolorSlots = out_.multicolorCount;
    out_.spotSlots = out_.spotCount;
    if (assignSlots) AssignSlots();
    return Status::Ok();
  }

  void Progress(int position) { ctx_.host.SetProgress(ProgressBar::Separation, position); }
  // The bar's positions of the job running the stage.
  const SeparationStageProgress& Steps() const {
    return purpose_ == SeparationPurpose::Print ? PrintProgress::kStage : SeparateProgress::kStage;
  }
  // Keeps the first tool failure, the cause of what goes missing after it;
  // a tool that was killed fails the separation (what it left is cut short).
  Status Note(const Status& status) {
    if (IsKilledToolFailure(status)) return status;
    if (!status && toolFailure_.empty()) toolFailure_ = status.cause();
    return Status::Ok();
  }
  fs::path InWorking(const std::string& name) const { return working_ / name; }
  ToolRun ToolRunFor(std::string stage) const { return JobToolRun(ctx_.toolTimeLimit, std::move(stage), ctx_.stop); }

  // The image's extra channels that are not alpha; more than six have no
  // extraction command and no slots.
  static StatusOr<int> ExtraChannels(const imaging::Image& image) {
    const int e = image.ExtraChannelCount();
    if (e > 6) return Status::Fail("the image has " + std::to_string(e) + " extra channels; at most 6 are separated");
    return e;
  }

  Status TifRoute() {
    int e = 0;
    {
      const imaging::Image image = imaging::Image::Read(staged_);
      const StatusOr<int> extra = ExtraChannels(image);
      if (!extra) return extra.status();
      e = *extra;
      image.WriteCmykTiff(InWorking("00.tif"));
    }
    Progress(Steps().imageWritten);
    // A failed conversion leaves the unconverted image in place; printing
    // it would look like success in the wrong colours, so it fails the job.
    if (ctx_.setting.UsesIcc()) {
      if (const Status icc = RunTool(IccConversionCommand(ctx_.setting, appDir_), ctx_.host, ToolRunFor("the ICC conversion")); !icc) {
        return Status::Fail("the ICC conversion failed: " + icc.cause());
      }
    }
    Progress(Steps().iccConverted);
    // Continuous-tone planes of the Separate job hold 0 for full ink, like
    // Ghostscript's; planes for halftoning keep ink amounts.
    const bool negate = purpose_ == SeparationPurpose::Separate && !dithering_;
    if (auto command = ChannelExtractionCommand(appDir_, e, negate)) {
      if (Status noted = Note(RunTool(*command, ctx_.host, ToolRunFor("the channel extraction"))); !noted) return noted;
    }
    for (int i = 0; i < e; ++i) {
      // The extraction numbers the extra channels on from the process inks.
      MoveFile(InWorking(ChannelPlaneName(std::to_string(kProcessInks.size() + i))),
               InWorking(ChannelPlaneName(ChannelCode(kSpotInks.first + i))));
    }
    out_.spotCount = e;
    DeleteFile(staged_);
    DeleteFile(InWorking("00.tif"));
    // The extra channels keep the polarity of the colour channels they came
    // with (ink amounts in the file), so they are not turned over here.
    return Status::Ok();
  }

  Status PdfRoute() {
    std::optional<imaging::Image> image;
    int e = 0;
    if (extension_ != "pdf") {
      image.emplace(imaging::Image::Read(staged_));
      const StatusOr<int> extra = ExtraChannels(*image);
      if (!extra) return extra.status();
      e = *extra;
      image->WritePdf(InWorking("00.pdf"));
    }
    Progress(Steps().imageWritten);
    const std::string resolution =
        purpose_ == SeparationPurpose::Print
            ? VectorResolution(ctx_.setting, ctx_.init.dfVectorX, ctx_.init.dfVectorY)
            : PresetResolution(ctx_.setting);
    RenderOptions options = SplitRenderOptions(purpose_ == SeparationPurpose::Print, dithering_, ToolRunFor(""));
    options.admit = ctx_.admitPage;
    StatusOr<StartedRender> started = RenderSeparation(
        GhostscriptCommand(ctx_.setting, appDir_, resolution, ctx_.init.dfPDFRGBOpt), ctx_.host, options);
    if (!started) return started.status();
    out_.rendering = std::move(started->render);
    // A Ghostscript that failed but left its planes: the first of what went
    // wrong, as a tool failure of the separation.
    if (!started->warnings.empty() && toolFailure_.empty()) toolFailure_ = started->warnings.front();
    Progress(Steps().rendered);

    for (int i = kProcessInks.first; i < kProcessInks.end; ++i) {
      MoveFile(InWorking(SeparatorPlaneName(kInkChannels[static_cast<std::size_t>(i)].separator)),
               InWorking(ChannelPlaneName(ChannelCode(i))));
    }
    for (int j = 0; j < 4; ++j) {
      const std::string name = Field(ctx_.setting.ICCOutputColors, ',', static_cast<std::size_t>(j + 4));
      if (name.empty()) continue;
      if (MoveFile(InWorking(SeparatorPlaneName(name)), InWorking(ChannelPlaneName(ChannelCode(kMulticolorInks.first + j))))) {
        ++out_.multicolorCount;
      }
    }
    DeleteFile(InWorking("00_.tif"));
    DeleteFile(InWorking("00.pdf"));
    Progress(Steps().planesNamed);

    if (extension_ == "pdf") {
      SpotsByName();
    } else {
      image->WriteCmykTiff(InWorking("00.tif"));
      image.reset();
      if (auto command = SpotExtractionCommand(appDir_, e)) {
        if (Status noted = Note(RunTool(*command, ctx_.host, ToolRunFor("the spot extraction"))); !noted) return noted;
      }
      DeleteFile(staged_);
      DeleteFile(InWorking("00.tif"));
      out_.spotCount = e;
      // Ghostscript's planes hold 0 for full ink; the extracted spot planes
      // hold ink amounts, so they are turned over to match before the planes
      // are negated together for halftoning.
      for (int i = 0; i < e; ++i) {
        const fs::path spot = InWorking(ChannelPlaneName(ChannelCode(kSpotInks.first + i)));
        std::error_code ec;
        if (!fs::exists(spot, ec)) continue;
        imaging::Plane plane = imaging::ReadPlane(spot);
        imaging::Negate(plane);
        imaging::WritePlane(spot, plane, plane.depth);
      }
    }
    out_.fromPdfRoute = true;
    return Status::Ok();
  }

  // Every spot colour Ghostscript separated whose name is the i-th of
  // PdfSpotColorName becomes spot i; s is 1 + the highest i found, so the
  // spots before it are blank channels and each ink keeps its place.
  void SpotsByName() {
    const std::vector<std::string> names = SplitFields(ctx_.setting.PdfSpotColorName, ',');
    std::vector<std::string> beyondSix;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const fs::path plane = InWorking(SeparatorPlaneName(names[i]));
      std::error_code ec;
      if (names[i].empty() || !fs::exists(plane, ec)) continue;
      if (i >= 6) {
        ctx_.host.Warn("spot colour \"" + names[i] + "\" is not printed: it is name " + std::to_string(i + 1) +
                       " of PdfSpotColorName and only six spots have channels");
        beyondSix.push_back(names[i]);
        continue;
      }
      MoveFile(plane, InWorking(ChannelPlaneName(ChannelCode(kSpotInks.first + static_cast<int>(i)))));
      spotNames_[i] = names[i];
      out_.spotCount = static_cast<int>(i) + 1;
    }
    // What is left of the separator's planes are colorants the list does not name.
    for (const std::string& file : ListFolder(working_, "00_(*).tif", EntryKind::Files)) {
      const std::string colorant = file.substr(4, file.size() - 9);
      if (colorant.empty() || std::find(beyondSix.begin(), beyondSix.end(), colorant) != beyondSix.end()) continue;
      ctx_.host.Warn("spot colour \"" + colorant + "\" is not printed: PdfSpotColorName does not name it");
    }
  }

  bool HasProcessPlane() const {
    std::error_code ec;
    for (int i = 0; i < 4; ++i) {
      if (fs::exists(InWorking(ChannelPlaneName(std::to_string(i))), ec)) return true;
    }
    return false;
  }

  void LightInkCopies() {
    const int32_t use[4] = {ctx_.setting.UseLc, ctx_.setting.UseLm, ctx_.setting.UseLk, ctx_.setting.UseLlk};

    for (int i = 0; i < 4; ++i) {
      if (!use[i]) continue;
      const InkChannel& light = kInkChannels[static_cast<std::size_t>(kLightInks.first + i)];
      CopyPlaneFile(InWorking(ChannelPlaneName(ChannelCode(light.lightens))), InWorking(ChannelPlaneName(light.code)));
      out_.lightFlags[i] = 1;
    }
  }

  // Position k of PRNSequence takes the plane its code names into slot file
  // k; an ink no position names is not printed and the job says so. Every
  // slot file that holds an ink is processed and packed: a light slot joins
  // the channels, and the multicolour and spot channels reach up to it.
  void AssignSlots() {
    qm::AssignSlots(working_, ctx_.setting.PRNSequence, ctx_.host, [this](int index) { return InkName(index); });
    auto filled = [&](int slot) {
      std::error_code ec;
      return fs::exists(InWorking(SlotFileName(slot)), ec);
    };
    for (int k = kLightInks.first; k < kSlotCount; ++k) {
      if (filled(k)) out_.IncludeSlot(k);
    }
  }

  // The name the artwork gives an ink, when it has one.
  std::string InkName(int index) const {
    // ICCOutputColors names the process inks, then the multicolour inks.
    if (kMulticolorInks.contains(index))
      return Field(ctx_.setting.ICCOutputColors, ',', static_cast<std::size_t>(kProcessInks.size() + index - kMulticolorInks.first));
    if (kSpotInks.contains(index)) return spotNames_[static_cast<std::size_t>(index - kSpotInks.first)];
    return {};
  }

  JobContext& ctx_;
  std::string extension_;
  bool dithering_;
  SeparationPurpose purpose_;
  fs::path appDir_, working_, staged_;
  SeparationOutcome out_;
  std::array<std::string, 6> spotNames_;  // PDF route: the colorant of each spot plane
  std::string toolFailure_;
};

}  // namespace

SeparationOutcome SeparateStaged(JobContext& ctx, const std::string& extension, bool dithering, bool assignSlots,
                                 SeparationPurpose purpose) {
  return Stager(ctx, extension, dithering, purpose).Run(assignSlots);
}

bool WiderThanRotationLimit(double columns, double xResolution, const std::string& rotLimit) {
  const float width = static_cast<float>(columns / xResolution);
  const float limit = rotLimit.empty() ? 0.0f : static_cast<float>(ParseLeadingDouble(rotLimit));
  return width > limit;
}

namespace {
double ProcessCpuSeconds() {
  rusage u{};
  if (::getrusage(RUSAGE_SELF, &u) != 0) return 0;
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

StageClock::StageClock() : wall_(std::chrono::steady_clock::now()), cpu_(ProcessCpuSeconds()) {}

std::string StageClock::Text() const {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f s (this process's CPU %.2f s)",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count(),
                ProcessCpuSeconds() - cpu_);
  return text;
}

}  // namespace qm
