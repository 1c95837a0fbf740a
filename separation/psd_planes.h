// The separation planes in a file of Ghostscript's psdcmyk device, as tiffsep
// would have written them.
//
// psdcmyk renders a page with the same colour model and values as tiffsep
// (8 bits, 0 for full ink; compared plane by plane on the sample PDFs, with and
// without ICC profiles, with spot colours and with a six-colour output
// profile), into one PhotoShop file instead of one TIFF per colorant plus a
// composite CMYK file. Its layout, as Ghostscript 10.00 writes it:
// - a 26-byte header ("8BPS", version 1, channels, height, width, depth 8,
//   mode 4 for CMYK), an empty colour-mode section, then image resources:
//   1006 holds the names of the channels after Cyan, Magenta, Yellow and
//   Black as Pascal strings in channel order, 1005 the resolution (16.16
//   fixed point pixels per inch), 1039 the output ICC profile when one is set;
// - an empty layer section, a compression word (0: raw), and the channels one
//   after the other, each `height` rows of `width` bytes.
// Ghostscript writes the rows in page order: row y of every channel, seeking
// from one channel to the next (which flushes its buffer), so the file's size
// tells how many rows of every channel are in: the last channel's rows are
// the only ones that make it longer.
//
// Error policy: ReadPsdLayout returns the layout or the cause why the planes
// cannot be taken from the file (not written yet, or not a layout tiffsep's
// planes can be shown to equal: then tiffsep renders the page).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/status.h"

namespace qm {

struct PsdLayout {
  uint32_t width = 0, height = 0;
  double xResolution = 0, yResolution = 0;
  // The colorant of every channel as tiffsep puts it in its file names
  // (Cyan, Magenta, Yellow, Black, then the spot and extra colorants).
  std::vector<std::string> colorants;
  uint64_t dataOffset = 0;  // the first row of the first channel

  uint64_t PlaneBytes() const { return uint64_t{width} * height; }
  uint64_t ChannelOffset(std::size_t channel) const { return dataOffset + channel * PlaneBytes(); }
  uint64_t FileSize() const { return ChannelOffset(colorants.size()); }
  // Rows of every channel in a file of `size` bytes.
  uint32_t RowsIn(uint64_t size) const;
};

// `n` bytes at offset `at` of the file open as `fd`; false when the file
// ends first or cannot be read.
bool ReadFully(int fd, uint64_t at, void* into, std::size_t n);

// The layout of the psdcmyk file open as `fd`, `size` bytes long.
StatusOr<PsdLayout> ReadPsdLayout(int fd, uint64_t size);

// How tiffsep writes a colorant in a plane's file name: '%', '/', ':', '\\'
// and bytes from 0x80 up as %XX; empty for a name it cannot be shown to
// write that way (control characters, longer than 100 bytes).
std::string SeparationFileColorant(const std::string& name);

}  // namespace qm
