// Internal to imaging/ (and its tests): the pixel steps behind Image.
#pragma once

#include "imaging/tiff_raster.h"

namespace qm::imaging {

// Removes alpha samples, flattening the colour onto white (full tone for grey
// and RGB, no ink for separated data) and multiplying each kept extra channel
// by the alpha; min-is-white grey becomes min-is-black. Extra channels that
// are not alpha are kept in order, their type set to unspecified.
TiffRaster FlattenAlpha(const TiffRaster& in);

// Grey or RGB to CMYK by the plain conversion (no colour management); CMYK
// stays as it is. Extra channels are copied unchanged.
TiffRaster ToCmyk(const TiffRaster& flat);

}  // namespace qm::imaging
