#include "imaging/tiff_internal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "imaging/imaging.h"

namespace qm::imaging::detail {

TiffFile::TiffFile(const fs::path& path, const char* mode) : path_(path) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, &TiffFile::OnError, this);
  TIFFOpenOptionsSetWarningHandlerExtR(options, &TiffFile::OnWarning, this);
  tif_ = TIFFOpenExt(path.c_str(), mode, options);
  TIFFOpenOptionsFree(options);
  if (tif_ == nullptr) {
    Fail(mode[0] == 'r' ? "cannot read TIFF" : "cannot write TIFF");
  }
}

TiffFile::TiffFile(const AtomicPath& out) : path_(out.temp()) {
  // Written through the temporary's own descriptor (a duplicate, which
  // TIFFClose closes), not reopened by name: libtiff's reopen truncates with
  // O_TRUNC, and ext4 flushes a file truncated to nothing when it is closed
  // (its guard for files replaced in place), so every plane went to the disk
  // at close, scratch copies included. AtomicFile flushes the kept ones.
  const int fd = ::fcntl(out.fd(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    error_ = std::strerror(errno);
    Fail("cannot write TIFF");
  }
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, &TiffFile::OnError, this);
  TIFFOpenOptionsSetWarningHandlerExtR(options, &TiffFile::OnWarning, this);
  tif_ = TIFFFdOpenExt(fd, path_.c_str(), "w", options);
  TIFFOpenOptionsFree(options);
  if (tif_ == nullptr) {
    ::close(fd);
    Fail("cannot write TIFF");
  }
}

TiffFile::~TiffFile() {
  if (tif_ != nullptr) TIFFClose(tif_);
}

void TiffFile::Close() {
  if (tif_ == nullptr) return;
  const bool flushed = TIFFFlush(tif_) == 1;
  TIFFClose(tif_);
  tif_ = nullptr;
  if (!flushed || !error_.empty()) Fail("cannot write TIFF");
}

void TiffFile::Fail(const std::string& what) const {
  std::string message = what + ": " + path_.string();
  if (!error_.empty()) message += ": " + error_;
  throw ImagingError(message);
}

int TiffFile::OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* self = static_cast<TiffFile*>(user);
  char text[512];
  std::vsnprintf(text, sizeof text, fmt, ap);
  if (!self->error_.empty()) self->error_ += "; ";
  if (module != nullptr && *module != '\0') self->error_ += std::string(module) + ": ";
  self->error_ += text;
  return 1;
}

void ReadResolution(TIFF* tif, double& x, double& y) {
  float xr = 0.0f;
  float yr = 0.0f;
  uint16_t unit = RESUNIT_INCH;
  const bool hasX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xr) == 1 && xr > 0.0f;
  const bool hasY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yr) == 1 && yr > 0.0f;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  x = 72.0;
  y = 72.0;
  if (!hasX && !hasY) return;
  if (unit == RESUNIT_NONE) return;  // an aspect ratio only, no size
  const double scale = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
  x = (hasX ? xr : yr) * scale;
  y = (hasY ? yr : xr) * scale;
}

TiffLayout ReadLayout(const TiffFile& file) {
  TIFF* tif = file.get();
  TiffLayout l;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samplesPerPixel);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l.sampleFormat);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planarConfig);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &l.compression);
  if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric) != 1) {
    l.photometric = l.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  }
  l.tiled = TIFFIsTiled(tif) != 0;
  uint16_t count = 0;
  uint16_t* types = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &types) == 1 && types != nullptr) {
    l.extraSamples.assign(types, types + count);
  }
  ReadResolution(tif, l.xResolution, l.yResolution);
  return l;
}

RowDecoder::RowDecoder(const TiffFile& file, const TiffLayout& layout)
    : file_(file), layout_(layout) {
  if (layout_.bitsPerSample != 8 && layout_.bitsPerSample != 16) {
    file_.Fail("unsupported TIFF sample size " + std::to_string(layout_.bitsPerSample) + " bits");
  }
  if (layout_.sampleFormat != SAMPLEFORMAT_UINT) file_.Fail("unsupported TIFF sample format");
  if (layout_.width == 0 || layout_.height == 0) file_.Fail("empty TIFF image");
  bytesPerSample_ = layout_.bitsPerSample / 8;
  rowBytes_ = static_cast<std::size_t>(layout_.width) * layout_.samplesPerPixel * bytesPerSample_;
}

void CheckStoredSize(const TiffFile& file, const TiffLayout& layout, std::size_t rowBytes) {
  TIFF* tif = file.get();
  uint64_t* counts = nullptr;
  const uint32_t pieces = layout.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  const ttag_t tag = layout.tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS;
  if (pieces == 0 || TIFFGetField(tif, tag, &counts) != 1 || counts == nullptr) {
    file.Fail("TIFF without image data");
  }
  long double stored = 0;
  for (uint32_t i = 0; i < pieces; ++i) stored += static_cast<long double>(counts[i]);
  // libtiff replaces byte counts it judges bogus by what the dimensions
  // need, so the file's own size bounds them too.
  const uint64_t fileSize = TIFFGetSizeProc(tif)(TIFFClientdata(tif));
  stored = std::min(stored, static_cast<long double>(fileSize));
  const long double decoded = static_cast<long double>(rowBytes) * layout.height;
  const long double ratio = layout.compression == COMPRESSION_NONE ? 1.0L : 4096.0L;
  if (stored * ratio < decoded) {
    file.Fail("TIFF data of " + std::to_string(static_cast<uint64_t>(stored)) + " bytes is too short for " +
              std::to_string(layout.width) + " x " + std::to_string(layout.height) + " pixels");
  }
}

void RowDecoder::Read(uint32_t first, uint32_t count, uint8_t* out) {
  if (count == 0) return;
  if (first >= layout_.height || count > layout_.height - first) {
    file_.Fail("rows " + std::to_string(first) + ".." + std::to_string(first + count) +
               " outside the image of " + std::to_string(layout_.height) + " rows in");
  }
  if (layout_.tiled) {
    ReadTiles(first, count, out);
  } else {
    ReadStrips(first, count, out);
  }
}

void RowDecoder::ReadStrips(uint32_t first, uint32_t count, uint8_t* out) {
  TIFF* tif = file_.get();
  uint32_t rowsPerStrip = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, layout_.height);
  const bool separate = layout_.planarConfig == PLANARCONFIG_SEPARATE && layout_.samplesPerPixel > 1;
  const std::size_t spp = layout_.samplesPerPixel;
  const std::size_t stripRowBytes = separate ? layout_.width * bytesPerSample_ : rowBytes_;
  buffer_.resize(stripRowBytes * rowsPerStrip);
  const uint32_t stripsPerPlane = (layout_.height + rowsPerStrip - 1) / rowsPerStrip;
  const uint32_t last = first + count;  // exclusive
  for (uint32_t s = first / rowsPerStrip; s * rowsPerStrip < last; ++s) {
    const uint32_t s0 = s * rowsPerStrip;
    const uint32_t s1 = std::min(s0 + rowsPerStrip, layout_.height);
    const uint32_t r0 = std::max(s0, first);
    const uint32_t r1 = std::min(s1, last);
    const std::size_t planes = separate ? spp : 1;
    for (std::size_t p = 0; p < planes; ++p) {
      const tmsize_t want = static_cast<tmsize_t>((s1 - s0) * stripRowBytes);
      if (TIFFReadEncodedStrip(tif, static_cast<uint32_t>(s + p * stripsPerPlane), buffer_.data(), want) < 0) {
        file_.Fail("cannot decode TIFF strip " + std::to_string(s));
      }
      for (uint32_t r = r0; r < r1; ++r) {
        const uint8_t* src = buffer_.data() + (r - s0) * stripRowBytes;
        uint8_t* dst = out + (r - first) * rowBytes_;
        if (!separate) {
          std::memcpy(dst, src, rowBytes_);
        } else {
          for (uint32_t x = 0; x < layout_.width; ++x) {
            std::memcpy(dst + (x * spp + p) * bytesPerSample_, src + x * bytesPerSample_, bytesPerSample_);
          }
        }
      }
    }
  }
}

void RowDecoder::ReadTiles(uint32_t first, uint32_t count, uint8_t* out) {
  TIFF* tif = file_.get();
  uint32_t tw = 0;
  uint32_t th = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
  if (tw == 0 || th == 0) file_.Fail("bad TIFF tile size");
  const bool separate = layout_.planarConfig == PLANARCONFIG_SEPARATE && layout_.samplesPerPixel > 1;
  const std::size_t spp = layout_.samplesPerPixel;
  const std::size_t pixelBytes = separate ? bytesPerSample_ : spp * bytesPerSample_;
  // Tiles may pad the image, but a tile far larger than the whole image is
  // a damaged header: refuse it instead of allocating what it claims.
  const uint64_t tileBytes = static_cast<uint64_t>(TIFFTileSize64(tif));
  const uint64_t imageBytes = static_cast<uint64_t>(rowBytes_) * layout_.height;
  if (tileBytes == 0 || tileBytes > std::max<uint64_t>(uint64_t{64} << 20, 4 * imageBytes)) {
    file_.Fail("TIFF tile of " + std::to_string(tw) + " x " + std::to_string(th) + " is out of proportion to the image");
  }
  buffer_.resize(static_cast<std::size_t>(tileBytes));
  // Uncompressed tiles in the machine's byte order (the turned copies of the
  // large-image mode) are read with one pread each: libtiff seeks, then reads.
  uint64_t* offsets = nullptr;
  uint64_t* counts = nullptr;
  const bool stored = layout_.compression == COMPRESSION_NONE && (bytesPerSample_ == 1 || !TIFFIsByteSwapped(tif)) &&
                      TIFFGetField(tif, TIFFTAG_TILEOFFSETS, &offsets) == 1 &&
                      TIFFGetField(tif, TIFFTAG_TILEBYTECOUNTS, &counts) == 1 && offsets != nullptr && counts != nullptr;
  const uint32_t tiles = TIFFNumberOfTiles(tif);
  auto readTile = [&](uint32_t tx, uint32_t ty, uint16_t p) {
    const uint32_t t = TIFFComputeTile(tif, tx, ty, 0, p);
    if (stored && t < tiles && counts[t] == tileBytes) {
      std::size_t done = 0;
      while (done < tileBytes) {
        const ssize_t n = ::pread(TIFFFileno(tif), buffer_.data() + done, tileBytes - done,
                                  static_cast<off_t>(offsets[t] + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
      }
      return true;
    }
    return TIFFReadTile(tif, buffer_.data(), tx, ty, 0, p) >= 0;
  };
  const uint32_t last = first + count;
  for (uint32_t ty = first / th * th; ty < last; ty += th) {
    for (uint32_t tx = 0; tx < layout_.width; tx += tw) {
      const std::size_t planes = separate ? spp : 1;
      for (std::size_t p = 0; p < planes; ++p) {
        if (!readTile(tx, ty, static_cast<uint16_t>(p))) {
          file_.Fail("cannot decode TIFF tile at " + std::to_string(tx) + "," + std::to_string(ty));
        }
        const uint32_t cols = std::min(tw, layout_.width - tx);
        for (uint32_t r = std::max(ty, first); r < std::min(ty + th, last); ++r) {
          const uint8_t* src = buffer_.data() + (r - ty) * tw * pixelBytes;
          uint8_t* dst = out + (r - first) * rowBytes_ + tx * spp * bytesPerSample_;
          if (!separate) {
            std::memcpy(dst, src, cols * pixelBytes);
          } else {
            for (uint32_t x = 0; x < cols; ++x) {
              std::memcpy(dst + (x * spp + p) * bytesPerSample_, src + x * bytesPerSample_, bytesPerSample_);
            }
          }
        }
      }
    }
  }
}

AtomicPath::AtomicPath(const fs::path& target, bool scratch) {
  auto created = AtomicFile::Create(target, scratch);
  if (!created) throw ImagingError(created.cause());
  file_ = std::move(created.value());
}

void AtomicPath::Commit() {
  if (const Status status = file_->Commit(); !status) {
    throw ImagingError("cannot replace " + file_->finalPath().string() + ": " + status.cause());
  }
}

bool LooksLikeTiff(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[4] = {};
  if (!in.read(magic, 4)) return false;
  const bool little = magic[0] == 'I' && magic[1] == 'I' && (magic[2] == 42 || magic[2] == 43) && magic[3] == 0;
  const bool big = magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && (magic[3] == 42 || magic[3] == 43);
  return little || big;
}

}  // namespace qm::imaging::detail
