// Internal to imaging/: the parts that go through Magick++ 6.
#pragma once

#include <filesystem>

#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"

namespace qm::imaging::detail {

// A one-channel (grey) image of any format the library reads.
Plane ReadPlaneWithMagick(const std::filesystem::path& path);

// Any image the library reads as an 8- or 16-bit raster: grey (min-is-black),
// RGB or CMYK (separated, with an Adobe-inverted CMYK JPEG already undone by
// the library), plus one unassociated alpha sample when the image has alpha.
TiffRaster ReadRasterWithMagick(const std::filesystem::path& path);
ImageHeader PingWithMagick(const std::filesystem::path& path);

// The library's own resize (Mitchell when growing, Lanczos when shrinking)
// on a grey image built from the buffer: the comparison for Resample.
void ResampleWithMagick(Plane& plane, double xResolution, double yResolution);

}  // namespace qm::imaging::detail
