// Ghostscript's separation of a PDF page into plane files, run from the
// documented tiffsep command (separation/tool_commands.h), which the log
// keeps; the command executed is logged after it ("executed: ...").
//
// First a size probe: the documented command with a procedure that quits at
// the page's BeginPage, after the interpreter sized the device (0.1 s); a
// sentinel page size of 1 x 1 points tells the page's own call apart. It
// gives the page count and the page's size in device pixels, which the job
// admits or refuses before any drawing.
//
// The page is then rendered whole by Ghostscript's psdcmyk device, with the
// documented arguments but the device and the output (separation/
// psd_planes.h): the interpreter reads the page once into a display list that
// one thread per core draws (-dNumRenderingThreads; the planes are the same
// for any number of threads), and its one PSD file holds tiffsep's planes.
// The rows are taken as the file grows: into growing plane files, handed out
// at once, for planes read while they grow (Print, Separate with dithering);
// into compressed plane files, handed out at the end, for the planes of a
// page the band plan would split that are filed as they are (Separate
// without dithering), so that they are the planes Print reads. A row copied
// is punched out of the PSD file, so the page takes its disk space once.
//
// tiffsep renders the page, as documented, where psdcmyk cannot be shown to
// give its planes: a PDF of more than one page, a probe that fails, output
// colours whose first four are not Cyan, Magenta, Yellow and Black, too
// little disk space, or a PSD file that does not name its planes before
// Ghostscript ends (a render that fails before drawing, a colorant name with
// control characters or over 100 bytes, a resolution with a fraction); and
// an undithered Separate of a page the plan does not split (its plane files
// are tiffsep's own). tiffsep renders such a page in horizontal bands when
// the plan splits it, one process per band, several at once:
// - A band: the device is the band's size (-g, which fixes the media; we add
//   -dFIXEDMEDIA to say so), and an Install procedure moves the page by whole
//   device pixels by adding to the translation of the default matrix, which
//   the PDF interpreter keeps under the page's own matrix (also for /Rotate,
//   a MediaBox off the origin and UserUnit). The page sits on the device's
//   bottom edge, so band rows [top, top + rows) of a page H rows high need a
//   shift of H - rows - top.
// - Bands equal the same rows of the whole-page render except for one level in
//   smooth shadings and some pixels along path edges (Ghostscript splits
//   shadings and clips paths by the device's extent), under 0.1 % of a
//   plane's pixels.
// - tiffsep names a band's planes as it names the page's; a spot colour gets
//   its plane in every band (the interpreter sets the colour space whatever
//   the band shows), blank where the band has none of it. A band without a
//   plane that another band has gets paper-white rows; a band with a plane no
//   earlier band had fails the job, since the planes were already handed out.
// - Bands are uncompressed (-sCompression=none) when the disk has room: the
//   planes are read back at once.
// The band plan is a pure function of the page's size in device pixels (so of
// the page and the resolution), never of the cores or the load: a job gives
// the same bytes on every machine and run.
//
// Error policy: RenderSeparation returns StatusOr<the started render>,
// Finish a Status; the band plan and the commands are plain values. A render
// that fails (exit status, no planes, a PSD file cut short) fails with its
// cause (band and rows, exit status, Ghostscript's first words); the other
// bands are killed. Readers of a plane waiting for rows get the cause as an
// ImagingError. A whole-page render whose planes are complete but whose
// Ghostscript exited with an error goes on: its result's warnings say so.
// Temporary files (the PSD file, band planes, the probe, a link to the input)
// live in the Working folder under names starting with ".qm" and are removed
// when the rendering ends, also on failure.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/job_host.h"
#include "platform/status.h"
#include "separation/tool_commands.h"

namespace qm {

struct RenderBand {
  uint32_t top = 0;   // first device row of the page
  uint32_t rows = 0;
};

// About this many device pixels per tiffsep band: A3 at 720 dpi takes 4
// bands, US Letter at 720 dpi 2, 24 x 36 inches at 720 dpi 18; a page under
// 25 megapixels is rendered whole. Every band reads the whole page again.
inline constexpr uint64_t kBandPixels = 25ull << 20;
inline constexpr uint32_t kMinBandRows = 256;
inline constexpr uint32_t kMaxBands = 64;

// The bands of a page of width x height device pixels: ceil(pixels /
// bandPixels) bands, at most kMaxBands and none under minBandRows rows, band
// k taking rows [k x height / n, (k + 1) x height / n). One band means the
// page is rendered whole.
std::vector<RenderBand> PlanRenderBands(uint32_t width, uint32_t height, uint64_t bandPixels = kBandPixels,
                                        uint32_t minBandRows = kMinBandRows);

// The documented command with one band's options: the device size, fixed
// media, uncompressed planes when asked, the Install shift, the output `base`
// and the input `input`.
ToolCommand BandCommand(const ToolCommand& documented, uint32_t pageWidth, uint32_t pageHeight,
                        const RenderBand& band, const std::filesystem::path& base,
                        const std::filesystem::path& input, bool uncompressed);

// The documented command as the size probe: prints "QMPAGES n" and
// "QMSIZE [w h]" for the first page and quits before drawing.
ToolCommand ProbeCommand(const ToolCommand& documented, const std::filesystem::path& base,
                         const std::filesystem::path& input);

// The documented command as psdcmyk runs it: the same arguments but the
// device, rendered by `threads` threads (the same bytes for any number),
// into the one file `psd`.
ToolCommand PsdCommand(const ToolCommand& documented, const std::filesystem::path& psd, int threads);

struct RenderOptions {
  // Hand the plane files out while later bands still render (they grow).
  // Otherwise the call returns when every band is in, and the planes are
  // written compressed.
  bool overlap = true;
  // The page rendered whole by psdcmyk, its rows taken as they come, where
  // the planes are read as they grow or the page is one the plan splits
  // (see RenderSeparation); otherwise tiffsep, in bands or whole.
  bool stream = false;
  int processes = 0;         // Ghostscript processes at once; 0: one per core
  uint64_t bandPixels = 0;   // 0: kBandPixels (tests choose their own plan)
  uint32_t minBandRows = 0;  // 0: kMinBandRows
  ToolRun run;               // time limit and temporary folder of every process
  // Judges the probed page (width x height device pixels) before it is
  // rendered; a failure ends the rendering with its cause.
  std::function<Status(uint32_t, uint32_t)> admit;
};

// The options of a job: the planes grow while they are read unless they are
// filed as they are (Separate without dithering). The band size is the
// product's unless a test set its own.
RenderOptions SplitRenderOptions(bool forPrint, bool dithering, ToolRun run = {});
void SetBandPlanForTests(uint64_t bandPixels, uint32_t minBandRows);  // 0, 0: the product's

// A rendering that may still be running.
class SeparationRender {
 public:
  virtual ~SeparationRender() = default;
  // Waits for every band and puts the log lines of the rendering into the
  // job's log; fails with the cause when a band failed.
  virtual Status Finish() = 0;
};

// A rendering under way, and what went wrong in it without stopping it.
struct StartedRender {
  std::shared_ptr<SeparationRender> render;
  // The cause of a whole-page Ghostscript that failed but left its planes
  // (the tool, its exit status and first line of error).
  std::vector<std::string> warnings;
};

// Runs the documented Ghostscript command `documented` (tiffsep, output
// W/00_.tif, input W/00.pdf) and returns once the plane files
// W/00_(<colorant>).tif exist: growing (see imaging/growing_plane.h) with
// `overlap`, else complete. Fails with the cause when nothing came of it.
// A rendering that is dropped before Finish kills its processes.
StatusOr<StartedRender> RenderSeparation(const ToolCommand& documented, JobHost& host, const RenderOptions& options);

// Copies a plane file; a plane still growing is linked instead (the same
// plane under a second name), so the copy never misses rows.
bool CopyPlaneFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace qm
