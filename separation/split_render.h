// Ghostscript's separation of a page in horizontal bands, one process per
// band, several at once, each band's planes put into the page's plane files as
// soon as that band ends.
//
// What Ghostscript 10.00 does here (measured on this machine):
// - One tiffsep process keeps one core busy (-dNumRenderingThreads does
//   nothing for this device); two processes rendering half a page each finish
//   in about half the time, and a band costs about 0.5 s of CPU for reading the
//   page (the A3 test page at 720 dpi, 100 rows against 5955).
// - A band: the device is the band's size (-g, which fixes the media; we add
//   -dFIXEDMEDIA to say so), and an Install procedure moves the page by whole
//   device pixels by adding to the translation of the default matrix, which
//   the PDF interpreter keeps under the page's own matrix (also for /Rotate,
//   a MediaBox off the origin and UserUnit). The page sits on the device's
//   bottom edge, so band rows [top, top + rows) of a page H rows high need a
//   shift of H - rows - top.
// - The page's size in device pixels comes from a probe that quits at the
//   page's BeginPage, after the interpreter sized the device (0.1 s): a
//   sentinel page size of 1 x 1 points tells the page's own call apart.
// - Bands equal the same rows of the whole-page render except for one level in
//   smooth shadings and some pixels along path edges (Ghostscript splits
//   shadings and clips paths by the device's extent): on the sample PDFs at
//   300 dpi in 3 bands 0 to 0.06 % of a plane's pixels, on the A3 test page at
//   720 dpi 0.03 to 0.05 % (a spot plane 0.0003 %), with and without ICC
//   profiles and with a 6-colour output profile (multicolor planes alike).
// - tiffsep names a band's planes as it names the page's; a spot colour gets
//   its plane in every band (the interpreter sets the colour space whatever
//   the band shows), blank where the band has none of it. A band without a
//   plane that another band has gets paper-white rows; a band with a plane no
//   earlier band had fails the job, since the planes were already handed out.
// - -sCompression=none (the planes are read back at once) saves about a third
//   of Ghostscript's time against its default LZW.
//
// The band plan is a pure function of the page's size in device pixels (so of
// the page and the resolution), never of the cores or the load: a job gives
// the same bytes on every machine and run. Pages the plan does not split, a
// PDF of more than one page, and a probe that fails run the documented command
// as it stands.
//
// Planes that are read while they grow (Print, Separate with dithering), and
// the planes of a page the plan would split that are filed as they are
// (Separate without dithering: written compressed, as a split render writes
// them, so that they are the planes Print reads), come instead from one
// render of the whole page by Ghostscript's psdcmyk device
// (separation/psd_planes.h), with the documented command's arguments: the
// page is read once into a display list that several threads render
// (-dNumRenderingThreads; the planes are the same for any number of threads),
// and the rows are handed out as the PSD file grows (each copied row is
// punched out of the PSD file, so the page takes its disk space once). The A3 test page at 720
// dpi: psdcmyk alone 11.5 s, with two threads 7.3 s of wall time for 12.9 s
// of CPU, against 22.4 s for tiffsep with its default LZW and about 1.5 x a
// render's CPU time for 4 bands that each read the page. These are the
// planes of the documented whole-page render, so they do not differ from it
// along band edges. tiffsep renders the page as before when psdcmyk cannot
// stand in for it: output colours whose first four are not Cyan, Magenta,
// Yellow and Black, too little disk space for the PSD file beside the
// planes, or a PSD file that does not name its planes before Ghostscript
// ends (a render that fails before drawing, a colorant name with control
// characters or over 100 bytes, a resolution with a fraction).
//
// Error policy: a band that fails (exit status, no planes) fails the rendering
// with its cause (band, rows, exit status, Ghostscript's first words); the
// other bands are killed. Readers of a plane waiting for that band's rows get
// the cause as an ImagingError. Temporary files (band planes, the probe, a
// link to the input) live in the Working folder under names starting with
// ".qm" and are removed when the rendering ends, also on failure.
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

// About this many device pixels per band: A3 at 720 dpi takes 4 bands, US
// Letter at 720 dpi 2, 24 x 36 inches at 720 dpi 18; a page under 25
// megapixels is rendered whole. (A band costs about 0.5 s more of reading the
// page. On two cores 4 bands render in two rounds with both cores busy, and
// the raster work of the first round runs beside the second; with 3 bands the
// last band rendered alone leaves a core to the raster work, which a job with
// a 90-degree turn cannot use before the whole page is in.)
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

// Runs the documented Ghostscript command `documented` (tiffsep, output
// W/00_.tif, input W/00.pdf) and returns once the plane files
// W/00_(<colorant>).tif exist: growing (see imaging/growing_plane.h) with
// `overlap`, else complete. nullptr with the cause when nothing came of it.
// A rendering that is dropped before Finish kills its processes.
std::shared_ptr<SeparationRender> RenderSeparation(const ToolCommand& documented, JobHost& host,
                                                   const RenderOptions& options, std::string* failure);

// Copies a plane file; a plane still growing is linked instead (the same
// plane under a second name), so the copy never misses rows.
bool CopyPlaneFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace qm
