#include "imaging/pdf_writer.h"

#include <zlib.h>

#include <charconv>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/imaging.h"
#include "imaging/tiff_internal.h"

namespace qm::imaging {

namespace {

std::string Number(double v) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 4);
  std::string s(text, result.ptr);
  while (s.size() > 1 && s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

class PdfOut {
 public:
  explicit PdfOut(const std::filesystem::path& path) : out_(path, std::ios::binary) {}
  bool ok() const { return static_cast<bool>(out_); }
  void Write(const std::string& s) { Write(s.data(), s.size()); }
  void Write(const void* data, std::size_t n) {
    out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
    offset_ += n;
  }
  void BeginObject(int number) {
    if (offsets_.size() < static_cast<std::size_t>(number)) offsets_.resize(number);
    offsets_[number - 1] = offset_;
    Write(std::to_string(number) + " 0 obj\n");
  }
  void Finish(int rootObject) {
    const std::size_t xref = offset_;
    Write("xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n");
    for (std::size_t o : offsets_) {
      char entry[32];
      std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", o);
      Write(entry);
    }
    Write("trailer\n<< /Size " + std::to_string(offsets_.size() + 1) + " /Root " + std::to_string(rootObject) +
          " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
    out_.flush();
  }

 private:
  std::ofstream out_;
  std::size_t offset_ = 0;
  std::vector<std::size_t> offsets_;
};

}  // namespace

void WriteImagePdf(const std::filesystem::path& path, const TiffRaster& r) {
  const char* space = nullptr;
  if (r.photometric == PHOTOMETRIC_MINISBLACK && r.samplesPerPixel == 1) space = "/DeviceGray";
  if (r.photometric == PHOTOMETRIC_RGB && r.samplesPerPixel == 3) space = "/DeviceRGB";
  if (r.photometric == PHOTOMETRIC_SEPARATED && r.samplesPerPixel == 4) space = "/DeviceCMYK";
  if (space == nullptr) throw ImagingError("no PDF colour space for this image: " + path.string());
  if (r.width == 0 || r.height == 0 || r.xResolution <= 0.0 || r.yResolution <= 0.0) {
    throw ImagingError("cannot write an empty image as PDF: " + path.string());
  }
  const double pageW = r.width / r.xResolution * 72.0;
  const double pageH = r.height / r.yResolution * 72.0;

  detail::AtomicPath target(path);
  {
    PdfOut pdf(target.temp());
    if (!pdf.ok()) throw ImagingError("cannot write " + path.string());
    pdf.Write("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
    pdf.BeginObject(1);
    pdf.Write("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    pdf.BeginObject(2);
    pdf.Write("<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n");
    pdf.BeginObject(3);
    pdf.Write("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Number(pageW) + " " + Number(pageH) +
              "] /Resources << /XObject << /Im0 4 0 R >> >> /Contents 5 0 R >>\nendobj\n");
    // The image, compressed row by row; its length follows as object 6.
    pdf.BeginObject(4);
    pdf.Write("<< /Type /XObject /Subtype /Image /Width " + std::to_string(r.width) + " /Height " +
              std::to_string(r.height) + " /ColorSpace " + space + " /BitsPerComponent " + std::to_string(r.depth) +
              " /Filter /FlateDecode /Length 6 0 R >>\nstream\n");
    z_stream z{};
    if (deflateInit(&z, Z_BEST_SPEED) != Z_OK) throw ImagingError("zlib failed writing " + path.string());
    std::vector<uint8_t> row(r.RowBytes());
    std::vector<uint8_t> packed(1 << 18);
    std::size_t streamLength = 0;
    for (uint32_t y = 0; y <= r.height; ++y) {
      const bool last = y == r.height;
      if (!last) {
        const uint8_t* src = r.Row(y);
        if (r.depth == 16) {  // PDF samples are big-endian
          for (std::size_t i = 0; i + 1 < row.size(); i += 2) {
            uint16_t v;
            std::memcpy(&v, src + i, 2);
            row[i] = static_cast<uint8_t>(v >> 8);
            row[i + 1] = static_cast<uint8_t>(v & 0xFF);
          }
        } else {
          std::memcpy(row.data(), src, row.size());
        }
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
      }
      int status = Z_OK;
      do {
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        const std::size_t produced = packed.size() - z.avail_out;
        pdf.Write(packed.data(), produced);
        streamLength += produced;
      } while (z.avail_out == 0 || (last && status != Z_STREAM_END));
    }
    deflateEnd(&z);
    pdf.Write("\nendstream\nendobj\n");
    const std::string content = "q " + Number(pageW) + " 0 0 " + Number(pageH) + " 0 0 cm /Im0 Do Q\n";
    pdf.BeginObject(5);
    pdf.Write("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream\nendobj\n");
    pdf.BeginObject(6);
    pdf.Write(std::to_string(streamLength) + "\nendobj\n");
    pdf.Finish(1);
    if (!pdf.ok()) throw ImagingError("cannot write " + path.string());
  }
  target.Commit();
}

}  // namespace qm::imaging
