// Internal to imaging/: libtiff handles with their errors captured, a row
// decoder for strips and tiles (contiguous or separate planes), and atomic
// output paths. Not part of the public interface.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/atomic_file.h"

namespace qm::imaging::detail {

namespace fs = std::filesystem;

// A libtiff handle whose errors are collected into `Error()` instead of being
// printed; warnings (unknown tags and the like) are dropped.
class AtomicPath;

class TiffFile {
 public:
  TiffFile(const fs::path& path, const char* mode);  // throws ImagingError
  explicit TiffFile(const AtomicPath& out);          // writes out's temporary
  ~TiffFile();
  TiffFile(const TiffFile&) = delete;
  TiffFile& operator=(const TiffFile&) = delete;

  TIFF* get() const { return tif_; }
  const std::string& Error() const { return error_; }
  // Throws ImagingError "what: <file>: <libtiff message>".
  [[noreturn]] void Fail(const std::string& what) const;
  // Closes the handle (flushing a written file); throws when that fails.
  void Close();

 private:
  static int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap);
  static int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }
  TIFF* tif_ = nullptr;
  fs::path path_;
  std::string error_;
};

// The layout of the current directory of an open TIFF.
struct TiffLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t samplesPerPixel = 1;
  uint16_t bitsPerSample = 8;
  uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  uint16_t planarConfig = PLANARCONFIG_CONTIG;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  uint16_t compression = COMPRESSION_NONE;
  bool tiled = false;
  double xResolution = 72.0;
  double yResolution = 72.0;
  std::vector<uint16_t> extraSamples;  // ExtraSamples types, one per extra sample
};

TiffLayout ReadLayout(const TiffFile& file);

// Decodes rows of the current directory into interleaved samples of
// bitsPerSample / 8 bytes each (16-bit in host order), whatever the storage
// (strips or tiles, contiguous or separate planes). Only 8 and 16 bits.
class RowDecoder {
 public:
  RowDecoder(const TiffFile& file, const TiffLayout& layout);
  std::size_t RowBytes() const { return rowBytes_; }
  // Rows [first, first + count) into `out` (count * RowBytes() bytes).
  void Read(uint32_t first, uint32_t count, uint8_t* out);

 private:
  void ReadStrips(uint32_t first, uint32_t count, uint8_t* out);
  void ReadTiles(uint32_t first, uint32_t count, uint8_t* out);
  const TiffFile& file_;
  TiffLayout layout_;
  std::size_t bytesPerSample_;
  std::size_t rowBytes_;
  std::vector<uint8_t> buffer_;
};

// Refuses, before anything of that size is reserved, an image whose stored
// strips or tiles are too few bytes for its dimensions: less than the
// decoded size when uncompressed, less than 1/4096 of it when compressed (no
// TIFF codec packs 8- or 16-bit samples tighter); the stored size is at
// most the file's. A header that claims
// 100000 x 100000 pixels over a few bytes of data fails here.
void CheckStoredSize(const TiffFile& file, const TiffLayout& layout, std::size_t rowBytes);

// Resolution in pixels per inch from the tags (centimetres converted; no unit
// or missing tags give 72).
void ReadResolution(TIFF* tif, double& x, double& y);

// The temporary of a file this layer writes (platform/atomic_file.h), its
// failures thrown as ImagingError. libtiff writes through fd() (TiffFile),
// a stream opens temp() by name; Commit flushes it and renames it over the
// target.
class AtomicPath {
 public:
  // Throws when the temporary cannot be made; `scratch`: see AtomicFile::Create.
  explicit AtomicPath(const fs::path& target, bool scratch = false);
  const fs::path& temp() const { return file_->tempPath(); }
  int fd() const { return file_->fd(); }
  void Commit();  // throws with the cause; the temporary is then removed

 private:
  std::unique_ptr<AtomicFile> file_;
};

bool LooksLikeTiff(const fs::path& path);

}  // namespace qm::imaging::detail
