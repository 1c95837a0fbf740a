// What our `magick` does with a parsed command. Input is a CMYK TIFF (8 or 16
// bits, any number of extra samples), read with libtiff. Failures throw
// qm::imaging::ImagingError (or std::runtime_error) with the file named.
#pragma once

#include "tools/magick/command_line.h"

namespace qm::magick {

// ICC conversion with Little CMS; the result replaces OUTPUT through a
// temporary file, so converting in place never loses the input on failure.
//
// Profiles as ImageMagick applies them: the first -profile converts from the
// image's embedded CMYK profile to P1 when there is one and "+profile icm"
// did not drop it (that step uses the default perceptual intent, without
// black-point compensation, as the intent option comes after it); without an
// embedded profile P1 is simply the source. The second -profile converts to P2
// with the given intent and black-point compensation. Both steps run as one
// Little CMS transform. Only the four colour samples change; extra samples are
// copied byte for byte. P2 is embedded in the output. P1 and P2 must be CMYK
// profiles (the output stays a CMYK TIFF).
void ConvertIcc(const IccCommand& command);

// One grey TIFF per listed sample, numbered from 0 in list order, with the
// input's bit depth and resolution; -negate inverts every written plane.
void ExtractChannels(const ChannelCommand& command);

}  // namespace qm::magick
