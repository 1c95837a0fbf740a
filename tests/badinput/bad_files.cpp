#include "tests/badinput/bad_files.h"

#include <cstdint>
#include <cstring>

#include "tests/support/test_support.h"

namespace qm::test {

namespace {

void Put16(std::string& s, uint16_t v) { s.append({static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}); }
void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v & 0xFFFF));
  Put16(s, static_cast<uint16_t>(v >> 16));
}

std::string Sample(const char* name) { return ReadFileBytes(SamplesDir() / name); }

std::string Head(const std::string& bytes, double fraction) {
  return bytes.substr(0, static_cast<std::size_t>(static_cast<double>(bytes.size()) * fraction));
}

std::string WithBytes(std::string bytes, std::size_t at, const std::string& replacement) {
  bytes.replace(at, replacement.size(), replacement);
  return bytes;
}

}  // namespace

std::string MakeTiff(uint32_t width, uint32_t height, uint16_t colourSamples, uint16_t extraSamples,
                     uint16_t photometric, uint32_t claimedWidth, uint32_t claimedHeight) {
  const uint16_t spp = static_cast<uint16_t>(colourSamples + extraSamples);
  const uint32_t dataBytes = width * height * spp;
  const uint16_t entries = extraSamples > 0 ? 11 : 10;
  const uint32_t ifdSize = 2 + 12u * entries + 4;
  const uint32_t bitsAt = 8 + ifdSize;
  const uint32_t extraAt = bitsAt + 2u * spp;
  const uint32_t dataAt = extraAt + 2u * extraSamples;
  std::string s = "II*";
  s.push_back('\0');
  Put32(s, 8);
  Put16(s, entries);
  auto tag = [&](uint16_t code, uint16_t type, uint32_t count, uint32_t value) {
    Put16(s, code);
    Put16(s, type);
    Put32(s, count);
    Put32(s, value);
  };
  tag(256, 4, 1, claimedWidth ? claimedWidth : width);
  tag(257, 4, 1, claimedHeight ? claimedHeight : height);
  tag(258, 3, spp, spp == 1 ? 8 : bitsAt);
  tag(259, 3, 1, 1);
  tag(262, 3, 1, photometric);
  tag(273, 4, 1, dataAt);
  tag(277, 3, 1, spp);
  tag(278, 4, 1, height);
  tag(279, 4, 1, dataBytes);
  tag(284, 3, 1, 1);
  if (extraSamples > 0) tag(338, 3, extraSamples, extraSamples <= 2 ? 0 : extraAt);
  Put32(s, 0);
  for (uint16_t i = 0; i < spp; ++i) Put16(s, 8);
  for (uint16_t i = 0; i < extraSamples; ++i) Put16(s, 0);
  for (uint32_t i = 0; i < dataBytes; ++i) s.push_back(static_cast<char>((i * 37) & 0xFF));
  return s;
}

std::vector<BadFile> BadInputCorpus() {
  const std::string pdf = Sample("tcl_logo.pdf");
  const std::string tif = Sample("tcl_logo_cmyk_2extra.tif");
  const std::string jpg = Sample("flowers_rgb.jpg");
  std::vector<BadFile> files = {
      {"zero_length.pdf", ""},
      {"zero_length.tif", ""},
      {"zero_length.jpg", ""},
      {"truncated.pdf", Head(pdf, 0.3)},
      {"truncated.tif", Head(tif, 0.5)},
      {"truncated_header.tif", Head(tif, 0.002)},
      {"truncated.jpg", Head(jpg, 0.01)},
      {"corrupt_header.jpg", WithBytes(jpg, 2, std::string(64, '\xFF'))},
      {"wrong_magic.pdf", WithBytes(pdf, 0, "%PXF")},
      {"wrong_magic.jpg", WithBytes(Head(jpg, 0.5), 0, "GIF8")},
      {"wrong_magic.tif", WithBytes(tif, 0, "XX*")},
      {"huge_dimension.tif", MakeTiff(4, 4, 4, 0, 5, 100000, 100000)},
      {"corrupt_strip.tif", WithBytes(MakeTiff(4, 4, 4, 0, 5), 8 + 2 + 12 * 5 + 8, "\xF0\xFF\xFF\x0F")},
      {"corrupt_body.pdf", "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 7 0 R >>\nendobj\nxref\nnonsense\n"},
      {"seven_extra_channels.tif", MakeTiff(2, 2, 4, 7, 5)},
      {"ghostscript_fails.pdf", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\ngarbage that is no object\n%%EOF\n"},
  };
  return files;
}

}  // namespace qm::test
