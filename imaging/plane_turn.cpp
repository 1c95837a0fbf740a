// A quarter turn of a plane file in bounded memory: the turned plane's tile
// columns are the source's bands of rows, so the source is read once, a band
// of 512 rows at a time from the top, and each band is written out as the
// column of tiles it turns into (libtiff places tiles in any order). The
// samples are moved as they are stored, never converted.
#include <emmintrin.h>

#include <algorithm>
#include <iterator>
#include <cstring>

#include "imaging/growing_plane.h"
#include "imaging/imaging.h"
#include "imaging/tiff_internal.h"

namespace qm::imaging {

namespace {

constexpr uint32_t kTile = 512;     // turned columns: source rows
constexpr uint32_t kTileRows = 64;  // turned rows: a band reads little beyond its own

// Transposes 16 x 16 bytes: out[b][a] = in[a][b], rows of 16 bytes. Four
// rounds of interleaving rows a and a + 8 move each byte's row and column
// index one bit further round, so after four the two have changed places.
void Transpose16(const uint8_t* const in[16], uint8_t* const out[16]) {
  __m128i x[16], y[16];
  for (int a = 0; a < 16; ++a) x[a] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[a]));
  for (int round = 0; round < 4; ++round) {
    for (int a = 0; a < 8; ++a) {
      y[2 * a] = _mm_unpacklo_epi8(x[a], x[a + 8]);
      y[2 * a + 1] = _mm_unpackhi_epi8(x[a], x[a + 8]);
    }
    std::copy(std::begin(y), std::end(y), std::begin(x));
  }
  for (int b = 0; b < 16; ++b) _mm_storeu_si128(reinterpret_cast<__m128i*>(out[b]), x[b]);
}

// One turned tile (kTile x kTileRows, samples of `bytes` bytes) from `band`,
// the n source rows of width w that its columns turn from; its rows are the
// turned rows y0 .. y0 + m. Tile pixel (i, j) is band row n - 1 - i, column
// y0 + j clockwise, and band row i, column w - 1 - y0 - j anticlockwise.
// Positions past the plane's edge are 0. Whole 16 x 16 blocks of 8-bit
// samples are transposed in registers; the rest pixel by pixel.
void TurnTile(const uint8_t* band, uint32_t w, uint32_t n, uint32_t y0, uint32_t m, bool clockwise,
              std::size_t bytes, uint8_t* tile) {
  if (n < kTile || m < kTileRows) std::fill(tile, tile + std::size_t{kTile} * kTileRows * bytes, uint8_t{0});
  auto source = [&](uint32_t i, uint32_t j) {
    const uint32_t row = clockwise ? n - 1 - i : i;
    const uint32_t col = clockwise ? y0 + j : w - 1 - y0 - j;
    return band + (std::size_t{row} * w + col) * bytes;
  };
  auto pixels = [&](uint32_t i0, uint32_t i1, uint32_t j0, uint32_t j1) {
    for (uint32_t j = j0; j < j1; ++j) {
      uint8_t* dst = tile + std::size_t{j} * kTile * bytes;
      for (uint32_t i = i0; i < i1; ++i) std::memcpy(dst + std::size_t{i} * bytes, source(i, j), bytes);
    }
  };
  if (bytes != 1) {
    pixels(0, n, 0, m);
    return;
  }
  const uint32_t n16 = n / 16 * 16, m16 = m / 16 * 16;
  const uint8_t* in[16];
  uint8_t* out[16];
  for (uint32_t j = 0; j < m16; j += 16) {
    for (uint32_t i = 0; i < n16; i += 16) {
      // Rows of the block: tile columns i.., read along the source row from
      // its lowest column; clockwise that is tile row j, anticlockwise j + 15.
      for (uint32_t a = 0; a < 16; ++a) in[a] = source(i + a, clockwise ? j : j + 15);
      for (uint32_t b = 0; b < 16; ++b) out[b] = tile + std::size_t{clockwise ? j + b : j + 15 - b} * kTile + i;
      Transpose16(in, out);
    }
  }
  pixels(n16, n, 0, m16);
  pixels(0, n, m16, m);
}

}  // namespace

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

  detail::AtomicPath out(to, /*scratch=*/true);  // a job's hidden turned copy
  detail::TiffFile file(out);
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
      TurnTile(band.data(), w, x1 - x0, y0, y1 - y0, clockwise, bytes, tile.data());
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
