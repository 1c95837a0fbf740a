// The bad-input corpus: malformed PDF, TIFF and JPEG files an operator may be
// handed by a customer, made from the shared samples with one thing broken
// each, small enough to commit to memory. Shared by the bad-input tests.
#pragma once

#include <string>
#include <vector>

namespace qm::test {

struct BadFile {
  std::string name;   // file name, with the extension the program sees
  std::string bytes;
};

// Every file of the corpus: zero-length, truncated, wrong-magic,
// huge-dimension TIFF, corrupt PDF, TIFF and JPEG files (damage the JPEG
// decoder cannot recover from: it repairs junk before a marker and missing
// Huffman tables), a CMYK TIFF with seven
// extra channels, and a PDF on which Ghostscript fails.
std::vector<BadFile> BadInputCorpus();

// A little-endian, uncompressed, single-strip TIFF; `extraSamples` of type
// unspecified follow the colour samples. `claimedWidth`/`claimedHeight`, when
// not 0, replace the dimensions in the directory only (the strip stays
// width x height).
std::string MakeTiff(uint32_t width, uint32_t height, uint16_t colourSamples, uint16_t extraSamples,
                     uint16_t photometric, uint32_t claimedWidth = 0, uint32_t claimedHeight = 0);

}  // namespace qm::test
