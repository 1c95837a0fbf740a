#include "output/prn_preview.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "output/prn_reader.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// A PNG written row by row. libpng reports errors by longjmp, so every call
// into it sits in a function of its own whose locals are trivial.
class PngSink {
 public:
  ~PngSink() {
    if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
    if (file_) std::fclose(file_);
  }

  bool Begin(const fs::path& path, uint32_t width, uint32_t height) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &PngSink::OnError,
                                   &PngSink::OnWarning);
    if (!png_) return false;
    info_ = png_create_info_struct(png_);
    if (!info_) return false;
    return BeginPng(width, height);
  }

  bool Row(const uint8_t* rgb) {
    if (setjmp(png_jmpbuf(png_))) return false;
    png_write_row(png_, rgb);
    return true;
  }

  // Ends the PNG and closes the file, checking both.
  bool End() {
    if (!EndPng()) return false;
    std::FILE* f = file_;
    file_ = nullptr;
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    return std::fclose(f) == 0 && flushed;
  }

 private:
  bool BeginPng(uint32_t width, uint32_t height) {
    if (setjmp(png_jmpbuf(png_))) return false;
    png_init_io(png_, file_);
    png_set_IHDR(png_, info_, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png_, 6);
    png_write_info(png_, info_);
    return true;
  }

  bool EndPng() {
    if (setjmp(png_jmpbuf(png_))) return false;
    png_write_end(png_, nullptr);
    return true;
  }

  static void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
  static void OnWarning(png_structp, png_const_charp) {}

  std::FILE* file_ = nullptr;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

}  // namespace

std::array<float, 3> PreviewInkColour(std::string_view ink) {
  const int index = ChannelIndexOfCode(ink);
  return index < 0 ? kUnknownInkPreview : kInkChannels[static_cast<std::size_t>(index)].preview;
}

std::optional<std::array<float, 3>> ParsePreviewColour(std::string_view text) {
  if (!text.empty() && text[0] == '#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  std::array<float, 3> rgb{};
  for (std::size_t i = 0; i < 3; ++i) {
    int v = 0;
    for (const char c : text.substr(2 * i, 2)) {
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
      if (d < 0) return std::nullopt;
      v = v * 16 + d;
    }
    rgb[i] = static_cast<float>(v) / 255.0f;
  }
  return rgb;
}

uint32_t PreviewScale(uint32_t width, uint32_t height, uint32_t maxSide) {
  const uint32_t side = std::max(width, height);
  const uint32_t limit = std::max<uint32_t>(maxSide, 1);
  if (side <= limit) return 1;
  return static_cast<uint32_t>((static_cast<uint64_t>(side) + limit - 1) / limit);
}

Status RenderPrnPreviewRows(const fs::path& prnPath, std::span<const std::string> inks,
                            const PrnPreviewOptions& options, const PreviewBegin& begin, const PreviewRow& row) {
  auto reader = PrnReader::Open(prnPath);
  if (!reader) return reader.status();
  const PrnFileHeader h = reader->header();
  if (!reader->layoutOk()) {
    const std::string problem = PrnHeaderProblem(h);
    return Status::Fail(prnPath.string() + ": " + (problem.empty() ? "file size does not match the header" : problem));
  }
  if (options.onlyPosition && *options.onlyPosition >= h.channels) {
    return Status::Fail("position " + std::to_string(*options.onlyPosition) + " is not in " + prnPath.string() +
                        " (" + std::to_string(h.channels) + " positions)");
  }

  std::vector<uint32_t> drawn;
  for (uint32_t p = 0; p < h.channels; ++p)
    if (!options.onlyPosition || *options.onlyPosition == p) drawn.push_back(p);
  std::vector<std::array<float, 3>> colours;
  std::vector<bool> white;  // drawn as the opaque white layer
  for (const uint32_t p : drawn) {
    const std::string_view code = p < inks.size() ? std::string_view(inks[p]) : ChannelCode(static_cast<int>(p));
    colours.push_back(PreviewInkColour(code));
    white.push_back(options.background && code == options.whiteInk);
  }
  const std::array<float, 3> paper = options.background.value_or(std::array<float, 3>{1.0f, 1.0f, 1.0f});

  const uint32_t scale = PreviewScale(h.width, h.height, options.maxSide);
  const uint32_t outW = std::max<uint32_t>(1, (h.width + scale - 1) / scale);
  const uint32_t outH = std::max<uint32_t>(1, (h.height + scale - 1) / scale);
  // Coverage of one pixel by its code: bits 2 codes 00..11, bits 1 codes 0..1.
  const float cover2[4] = {0.0f, 1.0f / 3.0f, 2.0f / 3.0f, 1.0f};

  std::vector<float> coverage(drawn.size() * outW, 0.0f);
  std::vector<uint8_t> rgb(static_cast<std::size_t>(outW) * 3);
  uint32_t rowsInBlock = 0;

  if (Status begun = begin(outW, outH); !begun) return begun;
  auto emit = [&]() {
    for (uint32_t ox = 0; ox < outW; ++ox) {
      const uint32_t x0 = ox * scale;
      const uint32_t bw = h.width > x0 ? std::min(scale, h.width - x0) : 1;
      const float pixels = static_cast<float>(bw) * static_cast<float>(std::max<uint32_t>(rowsInBlock, 1));
      float r = paper[0], g = paper[1], b = paper[2];
      for (std::size_t i = 0; i < drawn.size(); ++i) {  // the white first, under the others
        if (!white[i]) continue;
        const float a = coverage[i * outW + ox] / pixels;
        r += a * (1.0f - r);
        g += a * (1.0f - g);
        b += a * (1.0f - b);
      }
      for (std::size_t i = 0; i < drawn.size(); ++i) {
        if (white[i]) continue;
        const float a = coverage[i * outW + ox] / pixels;
        r *= 1.0f - a * (1.0f - colours[i][0]);
        g *= 1.0f - a * (1.0f - colours[i][1]);
        b *= 1.0f - a * (1.0f - colours[i][2]);
      }
      rgb[ox * 3 + 0] = static_cast<uint8_t>(std::clamp(r, 0.0f, 1.0f) * 255.0f + 0.5f);
      rgb[ox * 3 + 1] = static_cast<uint8_t>(std::clamp(g, 0.0f, 1.0f) * 255.0f + 0.5f);
      rgb[ox * 3 + 2] = static_cast<uint8_t>(std::clamp(b, 0.0f, 1.0f) * 255.0f + 0.5f);
    }
    std::fill(coverage.begin(), coverage.end(), 0.0f);
    rowsInBlock = 0;
    return row(rgb.data());
  };

  Status status = reader->ForEachRow(
      [&](uint32_t y, std::span<const uint8_t> fileRow) {
        if (options.cancel && options.cancel->load(std::memory_order_relaxed)) return Status::Fail("cancelled");
        for (std::size_t i = 0; i < drawn.size(); ++i) {
          const uint8_t* bytes = fileRow.data() + static_cast<std::size_t>(drawn[i]) * h.rowStride;
          float* acc = coverage.data() + i * outW;
          for (uint32_t x = 0; x < h.width; ++x) {
            float c;
            if (h.bits == 1)
              c = static_cast<float>((bytes[x >> 3] >> (7 - (x & 7))) & 1u);
            else
              c = cover2[(bytes[x >> 2] >> (6 - 2 * (x & 3))) & 3u];
            acc[x / scale] += c;
          }
        }
        ++rowsInBlock;
        if (rowsInBlock == scale || y + 1 == h.height) return emit();
        return Status::Ok();
      });
  if (status && h.height == 0) status = emit();  // an empty file gives one white pixel
  return status;
}

StatusOr<PrnPreviewImage> RenderPrnPreview(const fs::path& prnPath, std::span<const std::string> inks,
                                           const PrnPreviewOptions& options) {
  PrnPreviewImage image;
  const Status status = RenderPrnPreviewRows(
      prnPath, inks, options,
      [&](uint32_t width, uint32_t height) {
        image.width = width;
        image.height = height;
        image.rgb.reserve(std::size_t{width} * height * 3);
        return Status::Ok();
      },
      [&](const uint8_t* rgb) {
        image.rgb.insert(image.rgb.end(), rgb, rgb + std::size_t{image.width} * 3);
        return Status::Ok();
      });
  if (!status) return status;
  return image;
}

Status WritePrnPreview(const fs::path& prnPath, const fs::path& pngPath, std::span<const std::string> inks,
                       const PrnPreviewOptions& options) {
  PngSink png;
  bool begun = false;
  const std::string cannot = "cannot write " + pngPath.string();
  Status status = RenderPrnPreviewRows(
      prnPath, inks, options,
      [&](uint32_t width, uint32_t height) {
        begun = true;
        return png.Begin(pngPath, width, height) ? Status::Ok() : Status::Fail(cannot);
      },
      [&](const uint8_t* rgb) { return png.Row(rgb) ? Status::Ok() : Status::Fail(cannot); });
  if (status && !png.End()) status = Status::Fail(cannot);
  if (!status && begun) {
    std::error_code ec;
    fs::remove(pngPath, ec);
  }
  return status;
}

}  // namespace qm
