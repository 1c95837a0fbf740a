// Fuzz target: our `magick` reading a TIFF, as its channel extraction does
// (the whole raster with every extra sample, then one plane file per listed
// sample). Errors come out as ImagingError, which the program reports; any
// other way out is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/magick/operations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const auto path = qm::fuzz::WriteInput("input.tif", data, size);
  int samples = 0;
  try {
    const qm::imaging::TiffRaster r = qm::imaging::ReadTiffRaster(path);
    if (r.data.size() != r.RowBytes() * r.height) std::abort();
    samples = r.samplesPerPixel;
  } catch (const qm::imaging::ImagingError&) {
    return 0;
  }
  qm::magick::ChannelCommand c;
  c.input = path;
  c.negate = (size % 2) == 1;
  c.samples = {0, 1, 2, 3};
  for (int k = 4; k < samples && k < 10; ++k) c.samples.push_back(k);
  c.outputPattern = (qm::fuzz::ScratchFolder() / "out_%d.tif").string();
  try {
    qm::magick::ExtractChannels(c);
  } catch (const qm::imaging::ImagingError&) {
  }
  return 0;
}
