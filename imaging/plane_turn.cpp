// A quarter turn of a plane file in bounded memory: the turned plane's tile
// columns are the source's bands of rows, so the source is read once, a band
// of 256 rows at a time from the top, and each band is written out as the
// column of tiles it turns into (libtiff places tiles in any order).
#include <algorithm>

#include "imaging/imaging.h"
#include "imaging/tiff_internal.h"

namespace qm::imaging {

void TurnPlaneFile(const fs::path& from, const fs::path& to, int degrees) {
  const int turn = ((degrees % 360) + 360) % 360;
  if (turn != 90 && turn != 270) throw ImagingError("a turned plane file needs a quarter turn, not " + std::to_string(degrees));
  const bool clockwise = turn == 90;
  const PlaneInfo info = ReadPlaneInfo(from);
  const uint32_t w = info.width, h = info.height;  // source
  const int depth = info.depth == 16 ? 16 : 8;
  constexpr uint32_t kTile = 256;

  detail::AtomicPath out(to);
  detail::TiffFile file(out.temp(), "w");
  TIFF* tif = file.get();
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, h);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, w);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1});
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(depth));
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTile);
  TIFFSetField(tif, TIFFTAG_TILELENGTH, kTile);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(info.yResolution));
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(info.xResolution));

  const std::size_t bytes = static_cast<std::size_t>(depth / 8);
  std::vector<uint8_t> tile(std::size_t{kTile} * kTile * bytes);
  // Turned pixel (tx, ty) is source (ty, h - 1 - tx) clockwise and
  // (w - 1 - ty, tx) anticlockwise, as Rotate maps them: turned column tx is
  // source row h - 1 - tx or tx. The tile columns go in the order of their
  // source rows, top first, so a plane still growing is turned as it arrives.
  const uint32_t columns = (h + kTile - 1) / kTile;
  for (uint32_t c = 0; c < columns; ++c) {
    const uint32_t x0 = (clockwise ? columns - 1 - c : c) * kTile;
    const uint32_t x1 = std::min(h, x0 + kTile);
    const uint32_t top = clockwise ? h - x1 : x0;
    const Plane band = ReadPlaneRows(from, top, x1 - x0);
    for (uint32_t y0 = 0; y0 < w; y0 += kTile) {
      const uint32_t y1 = std::min(w, y0 + kTile);
      std::fill(tile.begin(), tile.end(), uint8_t{0});
      for (uint32_t ty = y0; ty < y1; ++ty) {
        const uint32_t sx = clockwise ? ty : w - 1 - ty;
        uint8_t* dst = tile.data() + std::size_t{ty - y0} * kTile * bytes;
        for (uint32_t tx = x0; tx < x1; ++tx) {
          const uint32_t sy = clockwise ? h - 1 - tx : tx;
          const float v = band.pixels[std::size_t{sy - top} * w + sx];
          if (depth == 16) {
            const uint16_t q = v >= 65535.0f ? 65535 : (v > 0.0f ? static_cast<uint16_t>(v + 0.5f) : 0);
            std::copy_n(reinterpret_cast<const uint8_t*>(&q), 2, dst + std::size_t{tx - x0} * 2);
          } else {
            const float b = v / 257.0f;
            dst[tx - x0] = b >= 255.0f ? 255 : (b > 0.0f ? static_cast<uint8_t>(b + 0.5f) : 0);
          }
        }
      }
      if (TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, 0), tile.data(),
                               static_cast<tmsize_t>(tile.size())) < 0) {
        file.Fail("cannot write turned tile");
      }
    }
  }
  file.Close();
  out.Commit();
}

}  // namespace qm::imaging
