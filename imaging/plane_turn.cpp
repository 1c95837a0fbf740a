// A quarter turn of a plane file in bounded memory: the turned plane's tile
// columns are the source's bands of rows, so the source is read once, a band
// of 256 rows at a time from the top, and each band is written out as the
// column of tiles it turns into (libtiff places tiles in any order). The
// samples are moved as they are stored, never converted.
#include <algorithm>
#include <cstring>

#include "imaging/growing_plane.h"
#include "imaging/imaging.h"
#include "imaging/tiff_internal.h"

namespace qm::imaging {

void TurnPlaneFile(const fs::path& from, const fs::path& to, int degrees) {
  const int turn = ((degrees % 360) + 360) % 360;
  if (turn != 90 && turn != 270) throw ImagingError("a turned plane file needs a quarter turn, not " + std::to_string(degrees));
  const bool clockwise = turn == 90;
  detail::TiffFile source(from, "rm");
  const detail::TiffLayout l = detail::ReadLayout(source);
  if (l.samplesPerPixel != 1 || (l.bitsPerSample != 8 && l.bitsPerSample != 16) ||
      (l.photometric != PHOTOMETRIC_MINISBLACK && l.photometric != PHOTOMETRIC_MINISWHITE)) {
    source.Fail("not a grey 8- or 16-bit plane");
  }
  detail::CheckStoredSize(source, l, std::size_t{l.width} * (l.bitsPerSample / 8));
  detail::RowDecoder decoder(source, l);
  const uint32_t w = l.width, h = l.height;  // source
  const std::size_t bytes = l.bitsPerSample / 8;
  constexpr uint32_t kTile = 256;   // turned columns: source rows
  constexpr uint32_t kTileRows = 64;  // turned rows: a band reads little beyond its own

  detail::AtomicPath out(to, /*scratch=*/true);  // a job's hidden turned copy
  detail::TiffFile file(out.temp(), "w");
  TIFF* tif = file.get();
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, h);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, w);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1});
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bitsPerSample);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTile);
  TIFFSetField(tif, TIFFTAG_TILELENGTH, kTileRows);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(l.yResolution));
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(l.xResolution));

  std::vector<uint8_t> band(std::size_t{kTile} * w * bytes);
  std::vector<uint8_t> tile(std::size_t{kTile} * kTileRows * bytes);
  // Turned pixel (tx, ty) is source (ty, h - 1 - tx) clockwise and
  // (w - 1 - ty, tx) anticlockwise, as Rotate maps them: turned column tx is
  // source row h - 1 - tx or tx. The tile columns go in the order of their
  // source rows, top first, so a plane still growing is turned as it arrives.
  const uint32_t columns = (h + kTile - 1) / kTile;
  for (uint32_t c = 0; c < columns; ++c) {
    const uint32_t x0 = (clockwise ? columns - 1 - c : c) * kTile;
    const uint32_t x1 = std::min(h, x0 + kTile);
    const uint32_t top = clockwise ? h - x1 : x0;
    detail::WaitForRows(TIFFFileno(source.get()), top, x1 - x0);
    decoder.Read(top, x1 - x0, band.data());
    for (uint32_t y0 = 0; y0 < w; y0 += kTileRows) {
      const uint32_t y1 = std::min(w, y0 + kTileRows);
      std::fill(tile.begin(), tile.end(), uint8_t{0});
      for (uint32_t ty = y0; ty < y1; ++ty) {
        const uint32_t sx = clockwise ? ty : w - 1 - ty;
        uint8_t* dst = tile.data() + std::size_t{ty - y0} * kTile * bytes;
        for (uint32_t tx = x0; tx < x1; ++tx) {
          const uint32_t sy = clockwise ? h - 1 - tx : tx;
          const uint8_t* src = band.data() + (std::size_t{sy - top} * w + sx) * bytes;
          if (bytes == 1) {
            dst[tx - x0] = *src;
          } else {
            std::memcpy(dst + std::size_t{tx - x0} * 2, src, 2);
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
