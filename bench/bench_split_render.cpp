// Banded against whole-page Ghostscript separations of one PDF: for every
// plane, how many pixels differ and by how much, and whether one process and
// two give the same bands. Not a Google Benchmark run: a measurement printed
// once. It works in the Working folder of APPDIR (use a scratch copy of
// build/app: it is emptied).
//
// usage: bench_split_render APPDIR PDF RESOLUTION ICC BANDS
//   ICC    0 (no profiles), 1 (the Default preset's), 6clr (CMYK + Orange +
//          Green through Configuration/Default/Output/cmykog_6clr.icc)
//   BANDS  the number of bands to aim at (the product's plan takes ~25 Mpixels a band)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "separation/split_render.h"
#include "settings/active_setting.h"

namespace {

using namespace qm;
using Planes = std::map<std::string, imaging::Plane>;

Planes Render(const ActiveSetting& s, const fs::path& app, const fs::path& pdf, const std::string& resolution,
              uint64_t bandPixels, int processes) {
  const fs::path working = WorkingDir();
  for (const std::string& name : ListFolder(working, "*.*", EntryKind::Files)) DeleteFile(working / name);
  fs::copy_file(pdf, working / "00.pdf");
  RenderOptions options;
  options.bandPixels = bandPixels;
  options.minBandRows = 16;
  options.processes = processes;
  NullJobHost host;
  Planes planes;
  const auto render = RenderSeparation(GhostscriptCommand(s, app, resolution, false), host, options);
  const Status finished = render ? render->render->Finish() : render.status();
  if (!finished) {
    std::fprintf(stderr, "failed: %s\n", finished.cause().c_str());
    std::exit(1);
  }
  for (const std::string& name : ListFolder(working, "00_(*).tif", EntryKind::Files)) {
    planes[name] = imaging::ReadPlane(working / name);
  }
  return planes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s APPDIR PDF RESOLUTION ICC BANDS\n", argv[0]);
    return 2;
  }
  const fs::path app = fs::absolute(argv[1]), pdf = fs::absolute(argv[2]);
  const std::string resolution = argv[3], icc = argv[4];
  const int bands = std::max(1, std::atoi(argv[5]));
  SetAppDirOverride(app);
  imaging::InitializeImaging();
  ActiveSetting s;
  s.presetName = "Default";
  s.UseICC = icc == "0" ? "0" : "1";
  s.defaultRGBProfile = "default_rgb.icc";
  s.defaultCMYKProfile = "default_cmyk.icc";
  s.defaultGrayProfile = "default_gray.icc";
  s.defaultOutputProfile = icc == "6clr" ? "cmykog_6clr.icc" : "default_cmyk.icc";
  s.ICCOutputColors = icc == "6clr" ? "Cyan,Magenta,Yellow,Black,Orange,Green" : "Cyan,Magenta,Yellow,Black";
  s.gsRenderIntent = "0";
  s.OverrideICC = "false";
  s.BlackPtComp = "1";
  s.KPreserve = "0";

  const Planes whole = Render(s, app, pdf, resolution, uint64_t{1} << 50, 2);
  if (whole.empty()) return 1;
  const imaging::Plane& first = whole.begin()->second;
  const uint64_t bandPixels = (uint64_t{first.width} * first.height + bands - 1) / bands;
  const Planes two = Render(s, app, pdf, resolution, bandPixels, 2);
  const Planes one = Render(s, app, pdf, resolution, bandPixels, 1);
  std::printf("%s at %s dpi, ICC %s, %u x %u pixels, %d bands: %zu planes whole, %zu banded\n",
              pdf.filename().c_str(), resolution.c_str(), icc.c_str(), first.width, first.height, bands, whole.size(),
              two.size());
  for (const auto& [name, w] : whole) {
    const auto it = two.find(name);
    if (it == two.end() || it->second.width != w.width || it->second.height != w.height) {
      std::printf("  %-22s missing or of another size in the bands\n", name.c_str());
      continue;
    }
    std::size_t differ = 0;
    float most = 0.0f;
    for (std::size_t i = 0; i < w.pixels.size(); ++i) {
      if (w.pixels[i] == it->second.pixels[i]) continue;
      ++differ;
      most = std::max(most, std::fabs(w.pixels[i] - it->second.pixels[i]) / 257.0f);
    }
    const bool same = one.count(name) && one.at(name).pixels == it->second.pixels;
    std::printf("  %-22s %9zu pixels differ (%.4f %%), by up to %3.0f levels; 1 and 2 processes: %s\n", name.c_str(),
                differ, 100.0 * differ / w.pixels.size(), most, same ? "same bytes" : "DIFFER");
  }
  return 0;
}
