// The steps one plane takes from its slot file to dots, as data: turn,
// negate, resample, halftone. Every pipeline runs the same four steps with
// the same arithmetic; they differ only in order, on purpose:
//
// - Separate (jobs/plane_loop.cpp) resamples first and turns the
//   plane at the printer's resolution: its plane files are filed at the
//   printer's size, and Compose turns them again later.
// - Compose (jobs/compose_job.cpp) and Print (output/print_raster.cpp,
//   output/band_renderer.cpp) turn first, so the resampling runs along the
//   printer's axes and a turned plane resamples as the printed one does.
//
// Whole planes go through ApplyRecipe. A plane that goes through in rows
// (the Separate job's planes without a turn, the Print job's sequential and
// turbo modes, the white underbase's sources) takes the same steps in
// PlaneRows: a source of rows (the plane file), the recipe's steps, a sink
// (a plane file, a PRN position, the white's gathering); its bytes equal
// ApplyRecipe's on the whole plane. The large-image mode runs the steps on
// bands (output/band_renderer.cpp). The Print modes take their recipe from
// raster::Recipe (output/print_raster_internal.h).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "halftone/halftone.h"
#include "imaging/imaging.h"
#include "platform/status.h"

namespace qm {

enum class PlaneStep { kTurn, kNegate, kResample, kHalftone };
using PlaneOrder = std::array<PlaneStep, 4>;

inline constexpr PlaneOrder kSeparateOrder = {PlaneStep::kResample, PlaneStep::kTurn, PlaneStep::kNegate,
                                              PlaneStep::kHalftone};
inline constexpr PlaneOrder kPrintOrder = {PlaneStep::kTurn, PlaneStep::kNegate, PlaneStep::kResample,
                                           PlaneStep::kHalftone};

struct PlaneRecipe {
  PlaneOrder order = kPrintOrder;
  int quarterTurn = 0;      // 0, 90 (clockwise) or -90
  bool halfTurn = false;    // then by 180 degrees
  bool negate = false;      // the plane holds 0 for full ink
  // dfMirror: after the last step, the halftoned plane flipped left to right,
  // so the dots are those of the unmirrored job, mirrored (error diffusion
  // scans from the left; flipping its input would move the dots).
  bool mirror = false;
  double xResolution = 0.0;  // of the printer
  double yResolution = 0.0;
};

// The recipe's steps on a whole plane, in its order, then the mirror; the
// halftone step halftones slot `slot` (band `band`) with `halftone`.
void ApplyRecipe(const PlaneRecipe& recipe, const HalftoneParams& halftone, int32_t slot, imaging::Plane& plane,
                 uint32_t band = 0);

// Where the rows of a PlaneRows go, in order, OutputWidth() values each.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual Status Row(const float* row) = 0;
  // After the last row.
  virtual Status End() { return Status::Ok(); }
};

// The sink of a plane file at 16 bits, stored negated (0 where a full dot
// prints; 16 bits keep the levels exact); the file takes its name at End.
class PlaneFileSink final : public RowSink {
 public:
  PlaneFileSink(const std::filesystem::path& path, uint32_t width, uint32_t height, double xResolution,
                double yResolution);
  Status Row(const float* row) override;
  Status End() override;

 private:
  imaging::PlaneWriter writer_;
  std::vector<float> row_;
};

// One plane from its file through the recipe a step of source rows at a
// time, with a few rows of memory: read (bottom up, each row reversed, for
// the half turn), negated before or after the resampling as the order puts
// it, resampled (RowResampler), halftoned (HalftoneRows), mirrored, into a
// sink. A quarter turn is not done in rows: the file is read as turned
// already, or the plane goes whole. The half turn is read before the
// resampling, so in rows it belongs to kPrintOrder. Without `halftone` the
// rows stop before the halftone step and the mirror: the contone rows the
// halftoner would take. A plane still being rendered is read as its rows
// arrive.
class PlaneRows {
 public:
  // Opens the plane file; throws imaging::ImagingError when it cannot.
  PlaneRows(const PlaneRecipe& recipe, const std::filesystem::path& file, const HalftoneParams* halftone,
            int32_t slot);
  ~PlaneRows();
  PlaneRows(const PlaneRows&) = delete;
  PlaneRows& operator=(const PlaneRows&) = delete;

  uint32_t OutputWidth() const { return resampler_.OutputWidth(); }
  uint32_t OutputHeight() const { return resampler_.OutputHeight(); }
  bool Done() const { return next_ == info_.height; }
  uint32_t Remaining() const { return info_.height - next_; }

  // The next `count` source rows through the steps into `sink`; after the
  // last, the rows the halftoner still holds, then sink.End(). The first
  // failure of the sink or the imaging layer (its message) stops it.
  Status Pump(uint32_t count, RowSink& sink);
  // Pump on two planes at once, on one thread: each gets what its own Pump
  // would give it, but their halftone scans run side by side where their rows
  // match (HalftoneRows::PushTwo), which is faster. A plane that fails stops;
  // the other goes on. The Status of each, in order.
  static std::array<Status, 2> PumpTwo(uint32_t count, PlaneRows& a, RowSink& sinkA, PlaneRows& b,
                                       RowSink& sinkB);

 private:
  // Reads the next `count` source rows (fewer at the end); returns how many.
  uint32_t Load(uint32_t count);
  // Loaded row i of `count` through the turn, the negation and the
  // resampling: each row it gives, to `emit`.
  void Source(uint32_t i, uint32_t count, const std::function<void(const float*)>& emit);
  Status Finished(const float* row, RowSink& sink);
  // After the last row: the halftoner's rows, then the sink's End.
  Status Close(RowSink& sink);

  const bool halfTurn_, negateBefore_, negateAfter_, mirror_;
  imaging::PlaneRowReader reader_;
  const imaging::PlaneInfo info_;
  imaging::RowResampler resampler_;
  std::unique_ptr<HalftoneRows> halftone_;
  std::vector<float> rows_, row_, out_, mirrored_;
  std::vector<float> ready_;  // PumpTwo's resampled rows of one source row
  uint32_t next_ = 0;
};

// The planes of a job taking turns on one thread, so the rows of a plane
// still being rendered are worked on as they arrive: round after round,
// every plane `pending` names takes one `step`, until a round leaves none
// pending; `afterRound` (may be empty) runs after every round. The first
// failed step ends it with its Status.
Status PumpInTurns(std::size_t planes, const std::function<bool(std::size_t)>& pending,
                   const std::function<Status(std::size_t)>& step, const std::function<void()>& afterRound = {});

// PumpInTurns with the planes of a round stepped two at a time by `stepTwo`
// (PlaneRows::PumpTwo), in order, and the last alone by `step` when their
// number is odd.
Status PumpInPairs(std::size_t planes, const std::function<bool(std::size_t)>& pending,
                   const std::function<Status(std::size_t)>& step,
                   const std::function<Status(std::size_t, std::size_t)>& stepTwo);

}  // namespace qm
