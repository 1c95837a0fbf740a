// imaging/pdf_writer: a one-page PDF holding one raster image, for the
// separation by Ghostscript (the PDF coder of ImageMagick is forbidden by the
// system's security policy, and a private policy cannot lift that).
//
// The page is width / xResolution by height / yResolution inches (72 points
// each); the image fills it as a Flate-compressed XObject in DeviceGray,
// DeviceRGB or DeviceCMYK at 8 or 16 bits per component. Written through a
// temporary file and a rename; failures throw ImagingError.
#pragma once

#include <filesystem>

#include "imaging/tiff_raster.h"

namespace qm::imaging {

// `raster` holds colour samples only (no extra samples): min-is-black grey,
// RGB or 4-colour separated.
void WriteImagePdf(const std::filesystem::path& path, const TiffRaster& raster);

}  // namespace qm::imaging
