#include "tools/magick/operations.h"

#include <lcms2.h>
#include <tiffio.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "imaging/imaging.h"
#include "imaging/tiff_raster.h"
#include "platform/parallel.h"

namespace qm::magick {

using imaging::ImagingError;
using imaging::TiffRaster;

namespace {

struct ProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ImagingError("cannot open profile " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Profile OpenCmykProfile(const std::vector<uint8_t>& bytes, const std::string& name) {
  Profile p(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
  if (!p) throw ImagingError("not an ICC profile: " + name);
  if (cmsGetColorSpace(p.get()) != cmsSigCmykData) {
    throw ImagingError("color profile operates on another colorspace: " + name + " is not a CMYK profile");
  }
  return p;
}

TiffRaster ReadCmyk(const std::filesystem::path& path) {
  TiffRaster r = imaging::ReadTiffRaster(path);
  if (r.photometric != PHOTOMETRIC_SEPARATED || r.ColourSamples() != 4) {
    throw ImagingError("not a CMYK TIFF: " + path.string());
  }
  return r;
}

}  // namespace

void ConvertIcc(const IccCommand& c) {
  TiffRaster raster = ReadCmyk(c.input);
  const std::vector<uint8_t> p1 = ReadBytes(c.sourceProfile);
  const std::vector<uint8_t> p2 = ReadBytes(c.outputProfile);
  // Little CMS takes one intent and one black-point flag per profile. A
  // profile in the middle of a chain is used once as output and once as
  // input, so the embedded case lists P1 twice: E -> P1, then P1 -> P2.
  std::vector<Profile> profiles;
  std::vector<cmsUInt32Number> intents;
  std::vector<cmsBool> bpc;
  const cmsUInt32Number intent = static_cast<cmsUInt32Number>(c.intent);
  const cmsBool compensate = c.blackPointCompensation ? TRUE : FALSE;
  if (!c.dropEmbeddedProfile && !raster.iccProfile.empty()) {
    Profile e(cmsOpenProfileFromMem(raster.iccProfile.data(), static_cast<cmsUInt32Number>(raster.iccProfile.size())));
    if (e && cmsGetColorSpace(e.get()) == cmsSigCmykData) {
      profiles.push_back(std::move(e));
      profiles.push_back(OpenCmykProfile(p1, c.sourceProfile.string()));
      intents.insert(intents.end(), {INTENT_PERCEPTUAL, INTENT_PERCEPTUAL});
      bpc.insert(bpc.end(), {FALSE, FALSE});
    }
  }
  profiles.push_back(OpenCmykProfile(p1, c.sourceProfile.string()));
  profiles.push_back(OpenCmykProfile(p2, c.outputProfile.string()));
  intents.insert(intents.end(), {intent, intent});
  bpc.insert(bpc.end(), {compensate, compensate});
  std::vector<cmsHPROFILE> handles;
  for (auto& p : profiles) handles.push_back(p.get());
  std::vector<cmsFloat64Number> adaptation(handles.size(), 1.0);

  const int extras = static_cast<int>(raster.extraSamples.size());
  const cmsUInt32Number format = COLORSPACE_SH(PT_CMYK) | CHANNELS_SH(4) | EXTRA_SH(extras) |
                                 BYTES_SH(raster.depth == 16 ? 2 : 1);
  cmsHTRANSFORM transform = cmsCreateExtendedTransform(
      nullptr, static_cast<cmsUInt32Number>(handles.size()), handles.data(), bpc.data(), intents.data(),
      adaptation.data(), nullptr, 0, format, format, cmsFLAGS_NOCACHE);
  if (transform == nullptr) {
    throw ImagingError("cannot build the colour transform " + c.sourceProfile.string() + " -> " +
                       c.outputProfile.string());
  }
  // Each row goes into a copy of itself: the transform writes only the four
  // colour samples, so the extra samples stay byte-equal. Rows are independent
  // (the transform keeps no cache), so blocks of them run on every core.
  const std::size_t rowBytes = raster.RowBytes();
  constexpr std::size_t kRowsPerBlock = 16;
  ParallelForBlocks(raster.height, kRowsPerBlock, [&](std::size_t begin, std::size_t end) {
    std::vector<uint8_t> out(rowBytes);
    for (std::size_t y = begin; y < end; ++y) {
      uint8_t* row = raster.Row(static_cast<uint32_t>(y));
      std::memcpy(out.data(), row, rowBytes);
      cmsDoTransform(transform, row, out.data(), raster.width);
      std::memcpy(row, out.data(), rowBytes);
    }
  });
  cmsDeleteTransform(transform);
  raster.iccProfile = p2;
  imaging::WriteTiffRaster(c.output, raster);
}

void ExtractChannels(const ChannelCommand& c) {
  const TiffRaster raster = ReadCmyk(c.input);
  for (int sample : c.samples) {
    if (sample >= raster.samplesPerPixel) {
      throw ImagingError("no channel Meta" + std::to_string(sample - 4) + " in " + c.input.string() + " (" +
                         std::to_string(raster.extraSamples.size()) + " extra channels)");
    }
  }
  imaging::Plane plane;
  plane.width = raster.width;
  plane.height = raster.height;
  plane.xResolution = raster.xResolution;
  plane.yResolution = raster.yResolution;
  plane.depth = raster.depth;
  plane.pixels.resize(std::size_t{raster.width} * raster.height);
  const float scale = raster.depth == 16 ? 1.0f : 257.0f;
  for (std::size_t k = 0; k < c.samples.size(); ++k) {
    for (uint32_t y = 0; y < raster.height; ++y) {
      float* dst = plane.Row(y);
      for (uint32_t x = 0; x < raster.width; ++x) {
        const float v = static_cast<float>(raster.Sample(x, y, c.samples[k])) * scale;
        dst[x] = c.negate ? 65535.0f - v : v;
      }
    }
    imaging::WritePlane(OutputName(c.outputPattern, static_cast<int>(k)), plane, raster.depth);
  }
}

}  // namespace qm::magick
