// Staged separation: the TIF/JPG route through our `magick`, the PDF route
// through Ghostscript's tiffsep, renaming to channel planes, light-ink copies
// and slot assignment. Every file lives in the Working folder.
#include <algorithm>
#include <system_error>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "separation/channels.h"
#include "separation/split_render.h"
#include "separation/stages.h"
#include "separation/tool_commands.h"
#include "settings/apply.h"

namespace qm {

namespace {

struct Failure {
  std::string reason;
};

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
      if (!ctx_.init.dfTifToPdf && extension_ != "pdf") {
        TifRoute();
      } else {
        PdfRoute();
      }
      if (!HasProcessPlane()) throw Failure{"the separation produced none of the four process planes"};
      LightInkCopies();
      Progress(65);
      if (assignSlots) AssignSlots();
      out_.ok = true;
    } catch (const Failure& f) {
      out_.reason = f.reason;
    } catch (const std::exception& e) {
      out_.reason = e.what();
    }
    return out_;
  }

 private:
  void Progress(int position) { ctx_.host.SetProgress(ProgressBar::Separation, position); }
  fs::path W(const std::string& name) const { return working_ / name; }

  // The image's extra channels that are not alpha; more than six have no
  // extraction command and no slots.
  static int ExtraChannels(const imaging::Image& image) {
    const int e = image.ExtraChannelCount();
    if (e > 6) throw Failure{"the image has " + std::to_string(e) + " extra channels; at most 6 are separated"};
    return e;
  }

  void TifRoute() {
    int e = 0;
    {
      const imaging::Image image = imaging::Image::Read(staged_);
      e = ExtraChannels(image);
      image.WriteCmykTiff(W("00.tif"));
    }
    Progress(15);
    // A failed conversion leaves the unconverted image in place; printing
    // it would look like success in the wrong colours, so it fails the job.
    if (ctx_.setting.UseICC == "1" && !RunTool(IccConversionCommand(ctx_.setting, appDir_), ctx_.host)) {
      throw Failure{"the ICC conversion failed"};
    }
    Progress(45);
    // Continuous-tone planes of the Separate job hold 0 for full ink, like
    // Ghostscript's; planes for halftoning keep ink amounts.
    const bool negate = purpose_ == SeparationPurpose::Separate && !dithering_;
    if (auto command = ChannelExtractionCommand(appDir_, e, negate)) RunTool(*command, ctx_.host);
    for (int i = 0; i < e; ++i) {
      MoveFile(W(ChannelPlaneName(std::to_string(4 + i))), W(ChannelPlaneName("S" + std::to_string(i))));
    }
    out_.spotCount = e;
    DeleteFile(staged_);
    DeleteFile(W("00.tif"));
    // The extra channels keep the polarity of the colour channels they came
    // with (ink amounts in the file), so they are not turned over here.
  }

  void PdfRoute() {
    std::optional<imaging::Image> image;
    int e = 0;
    if (extension_ != "pdf") {
      image.emplace(imaging::Image::Read(staged_));
      e = ExtraChannels(*image);
      image->WritePdf(W("00.pdf"));
    }
    Progress(15);
    const std::string resolution =
        purpose_ == SeparationPurpose::Print
            ? VectorResolution(ctx_.setting, ctx_.init.dfVectorX, ctx_.init.dfVectorY)
            : PresetResolution(ctx_.setting);
    std::string failure;
    out_.rendering = RenderSeparation(GhostscriptCommand(ctx_.setting, appDir_, resolution, ctx_.init.dfPDFRGBOpt),
                                      ctx_.host, SplitRenderOptions(purpose_ == SeparationPurpose::Print, dithering_), &failure);
    if (!out_.rendering) throw Failure{failure};
    Progress(purpose_ == SeparationPurpose::Print ? 40 : 50);

    static const char* const kProcess[4] = {"Cyan", "Magenta", "Yellow", "Black"};
    for (int i = 0; i < 4; ++i) MoveFile(W(SeparatorPlaneName(kProcess[i])), W(ChannelPlaneName(std::to_string(i))));
    for (int j = 0; j < 4; ++j) {
      const std::string name = Field(ctx_.setting.ICCOutputColors, ',', static_cast<std::size_t>(j + 4));
      if (name.empty()) continue;
      if (MoveFile(W(SeparatorPlaneName(name)), W(ChannelPlaneName("M" + std::to_string(j))))) {
        ++out_.multicolorCount;
      }
    }
    DeleteFile(W("00_.tif"));
    DeleteFile(W("00.pdf"));
    Progress(50);

    if (extension_ == "pdf") {
      int planes = 0;
      for (const std::string& name : ListFolder(working_, "00_*.tif", EntryKind::Files)) {
        if (name != "00_().tif") ++planes;
      }
      const int s = std::clamp(planes - 4 - out_.multicolorCount, 0, 6);
      for (int i = 0; i < s; ++i) {
        const std::string name = Field(ctx_.setting.PdfSpotColorName, ',', static_cast<std::size_t>(i));
        MoveFile(W(SeparatorPlaneName(name)), W(ChannelPlaneName("S" + std::to_string(i))));
      }
      out_.spotCount = s;
    } else {
      image->WriteCmykTiff(W("00.tif"));
      image.reset();
      if (auto command = SpotExtractionCommand(appDir_, e)) RunTool(*command, ctx_.host);
      DeleteFile(staged_);
      DeleteFile(W("00.tif"));
      out_.spotCount = e;
      // Ghostscript's planes hold 0 for full ink; the extracted spot planes
      // hold ink amounts, so they are turned over to match before the planes
      // are negated together for halftoning.
      for (int i = 0; i < e; ++i) {
        const fs::path spot = W(ChannelPlaneName("S" + std::to_string(i)));
        std::error_code ec;
        if (!fs::exists(spot, ec)) continue;
        imaging::Plane plane = imaging::ReadPlane(spot);
        imaging::Negate(plane);
        imaging::WritePlane(spot, plane, plane.depth);
      }
    }
    out_.fromPdfRoute = true;
  }

  bool HasProcessPlane() const {
    std::error_code ec;
    for (int i = 0; i < 4; ++i) {
      if (fs::exists(W(ChannelPlaneName(std::to_string(i))), ec)) return true;
    }
    return false;
  }

  void LightInkCopies() {
    const int32_t use[4] = {ctx_.setting.UseLc, ctx_.setting.UseLm, ctx_.setting.UseLk, ctx_.setting.UseLlk};
    static const char* const kSource[4] = {"0", "1", "3", "3"};
    for (int i = 0; i < 4; ++i) {
      if (!use[i]) continue;
      CopyPlaneFile(W(ChannelPlaneName(kSource[i])), W(ChannelPlaneName("L" + std::to_string(i))));
      out_.lightFlags[i] = 1;
    }
  }

  // Position k of PRNSequence takes the plane its code names into slot file
  // k; a code named twice fills only its first position. Only channel codes
  // name planes.
  void AssignSlots() {
    const auto codes = SequenceCodes(ctx_.setting.PRNSequence);
    for (int k = 0; k < kSlotCount; ++k) {
      if (ChannelIndexOfCode(codes[k]) < 0) continue;
      MoveFile(W(ChannelPlaneName(codes[k])), W(SlotFileName(k)));
    }
  }

  JobContext& ctx_;
  std::string extension_;
  bool dithering_;
  SeparationPurpose purpose_;
  fs::path appDir_, working_, staged_;
  SeparationOutcome out_;
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

}  // namespace qm
