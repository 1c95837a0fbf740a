#include "separation/underbase_white.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <memory>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "separation/channels.h"

namespace qm {

namespace {

// One plane's rows as the halftoner would take them: read (bottom up, each
// row reversed, for the half turn), negated, resampled.
class ContoneRows {
 public:
  ContoneRows(const PlaneRecipe& recipe, const std::filesystem::path& file)
      : halfTurn_(recipe.halfTurn),
        negate_(recipe.negate),
        reader_(file),
        info_(reader_.Info()),
        resampler_(info_.width, info_.height, info_.xResolution, info_.yResolution, recipe.xResolution,
                   recipe.yResolution),
        row_(info_.width) {}

  uint32_t OutputWidth() const { return resampler_.OutputWidth(); }
  uint32_t OutputHeight() const { return resampler_.OutputHeight(); }
  bool Done() const { return next_ == info_.height; }

  // The next `count` source rows; `emit` gets every output row they complete.
  void Pump(uint32_t count, const std::function<void(const float*)>& emit) {
    count = std::min(count, info_.height - next_);
    const uint32_t top = halfTurn_ ? info_.height - next_ - count : next_;
    rows_.resize(std::size_t{count} * info_.width);
    reader_.Read(top, count, rows_.data());
    for (uint32_t i = 0; i < count; ++i) {
      const float* src = rows_.data() + std::size_t{halfTurn_ ? count - 1 - i : i} * info_.width;
      if (halfTurn_) {
        std::reverse_copy(src, src + info_.width, row_.begin());
      } else {
        std::copy(src, src + info_.width, row_.begin());
      }
      if (negate_) {
        for (float& v : row_) v = 65535.0f - v;
      }
      resampler_.Push(row_.data(), emit);
    }
    next_ += count;
  }

 private:
  const bool halfTurn_, negate_;
  imaging::PlaneRowReader reader_;
  const imaging::PlaneInfo info_;
  imaging::RowResampler resampler_;
  std::vector<float> rows_, row_;
  uint32_t next_ = 0;
};

// What the white needs of one output row, gathered from every plane.
struct Gathered {
  std::vector<uint8_t> other;  // an ink other than black and white above the threshold
  std::vector<float> black;    // the black's ink value
  std::vector<float> art;      // the artwork's white
  std::size_t planes = 0;      // planes that gave this row
};

// A row of the mask as runs: left[x] / right[x] the coloured pixels in a row
// ending / starting at x, so the row eroded by half-width w keeps x when both
// exceed w.
struct MaskRow {
  std::vector<uint32_t> left, right;
  std::vector<float> tone;  // the white's tone before the choke
  std::vector<float> art;
};

constexpr uint32_t kStepRows = 8;

}  // namespace

std::string UnderbaseNotPrinted(const UnderbaseSettings& settings, const std::string& prnSequence,
                                const std::string& pdfSpotColorName) {
  if (!settings.Generates()) return "";
  const std::string code = settings.InkCode();
  const std::vector<std::string> names = SplitFields(pdfSpotColorName, ',');
  const std::size_t at = static_cast<std::size_t>(settings.inkSpot);
  if (at >= names.size() || names[at].empty()) {
    return "the white underbase " + code + " is not printed: PdfSpotColorName names no spot " + code;
  }
  if (FirstSlotOf(prnSequence, code) < 0) {
    return "the white underbase " + code + " (" + names[at] + ") is not printed: PRNSequence places " + code +
           " in no position";
  }
  return "";
}

int FirstSlotOf(const std::string& prnSequence, const std::string& code) {
  const auto codes = SequenceCodes(prnSequence);
  for (std::size_t k = 0; k < codes.size(); ++k) {
    if (codes[k] == code) return static_cast<int>(k);
  }
  return -1;
}

void WriteWhitePlane(const UnderbaseSettings& u, const PlaneRecipe& recipe, const std::vector<WhiteSource>& sources,
                     uint32_t width, uint32_t height, const std::filesystem::path& out, bool storeNegated) {
  const float threshold = u.knockoutWhite ? static_cast<float>(u.knockoutTolerance / 100.0 * 65535.0) : 0.0f;
  const double full = u.density / 100.0 * 65535.0;
  const double blackCut = 1.0 - u.underBlack / 100.0;  // of the white, under full black alone
  const bool keepArt = u.mode == UnderbaseMode::kBoth;
  const int choke = u.choke;

  // Every source; the artwork's white only for "both".
  std::vector<std::unique_ptr<ContoneRows>> planes;
  std::vector<WhiteSource::Role> roles;
  for (const WhiteSource& source : sources) {
    if (source.role == WhiteSource::Role::kArtWhite && !keepArt) continue;
    planes.push_back(std::make_unique<ContoneRows>(recipe, source.file));
    roles.push_back(source.role);
    if (planes.back()->OutputWidth() != width || planes.back()->OutputHeight() != height) {
      throw imaging::ImagingError(source.file.filename().string() + " is not of the page's size " +
                                  std::to_string(width) + " x " + std::to_string(height) + " for the white");
    }
  }

  imaging::PlaneWriter writer(out, width, height, recipe.xResolution, recipe.yResolution, 16);
  std::deque<Gathered> gathering;  // rows from `gatheredFirst` on
  uint32_t gatheredFirst = 0;
  std::vector<uint32_t> emitted(planes.size(), 0);
  std::deque<MaskRow> window;  // mask rows from `windowFirst` on
  uint32_t windowFirst = 0, written = 0;
  std::vector<float> white(width);

  // Widths of the disc's rows: dy in -choke .. choke.
  std::vector<uint32_t> halfWidth;
  for (int dy = -choke; dy <= choke; ++dy) {
    halfWidth.push_back(static_cast<uint32_t>(std::floor(std::sqrt(static_cast<double>(choke * choke - dy * dy)))));
  }

  // Output row y = windowFirst + index; written once rows y - choke .. y +
  // choke are in, or the page ends.
  auto writeRow = [&](uint32_t y) {
    const MaskRow& row = window[y - windowFirst];
    for (uint32_t x = 0; x < width; ++x) {
      bool kept = true;
      for (int dy = -choke; dy <= choke && kept; ++dy) {
        const int64_t yy = int64_t{y} + dy;
        if (yy < 0 || yy >= int64_t{height}) {
          kept = false;
          break;
        }
        const MaskRow& m = window[static_cast<std::size_t>(yy - windowFirst)];
        const uint32_t w = halfWidth[static_cast<std::size_t>(dy + choke)];
        kept = m.left[x] > w && m.right[x] > w;
      }
      float v = kept ? row.tone[x] : 0.0f;
      if (keepArt) v = std::max(v, row.art[x]);
      white[x] = storeNegated ? 65535.0f - v : v;
    }
    writer.WriteRow(white.data());
  };
  auto addMaskRow = [&](Gathered& g) {
    MaskRow m;
    m.left.resize(width);
    m.right.resize(width);
    m.tone.resize(width);
    for (uint32_t x = 0; x < width; ++x) {
      const bool coloured = g.other[x] != 0 || g.black[x] > threshold;
      m.left[x] = coloured ? (x > 0 ? m.left[x - 1] : 0) + 1 : 0;
      // Black alone: less white, in proportion to its tone.
      const double cut = g.other[x] != 0 ? 0.0 : blackCut * std::clamp(g.black[x] / 65535.0, 0.0, 1.0);
      m.tone[x] = static_cast<float>(std::round(full * (1.0 - cut)));
    }
    for (uint32_t x = width; x-- > 0;) {
      m.right[x] = m.left[x] == 0 ? 0 : (x + 1 < width ? m.right[x + 1] : 0) + 1;
    }
    m.art = std::move(g.art);
    window.push_back(std::move(m));
    const uint32_t last = windowFirst + static_cast<uint32_t>(window.size()) - 1;
    if (last >= static_cast<uint32_t>(choke)) {
      writeRow(written++);
      // Rows above written - 1 - choke are no longer needed.
      while (windowFirst + static_cast<uint32_t>(choke) < written) {
        window.pop_front();
        ++windowFirst;
      }
    }
  };

  auto gathered = [&](uint32_t y) -> Gathered& {
    while (gatheredFirst + gathering.size() <= y) {
      Gathered g;
      g.other.assign(width, 0);
      g.black.assign(width, 0.0f);
      if (keepArt) g.art.assign(width, 0.0f);
      gathering.push_back(std::move(g));
    }
    return gathering[y - gatheredFirst];
  };
  for (bool more = !planes.empty(); more;) {
    more = false;
    for (std::size_t i = 0; i < planes.size(); ++i) {
      if (planes[i]->Done()) continue;
      const WhiteSource::Role role = roles[i];
      planes[i]->Pump(kStepRows, [&](const float* row) {
        Gathered& g = gathered(emitted[i]++);
        if (role == WhiteSource::Role::kArtWhite) {
          std::copy(row, row + width, g.art.begin());
        } else if (role == WhiteSource::Role::kBlack) {
          std::copy(row, row + width, g.black.begin());
        } else {
          for (uint32_t x = 0; x < width; ++x) g.other[x] |= row[x] > threshold ? 1 : 0;
        }
        ++g.planes;
      });
      more = more || !planes[i]->Done();
    }
    while (!gathering.empty() && gathering.front().planes == planes.size()) {
      addMaskRow(gathering.front());
      gathering.pop_front();
      ++gatheredFirst;
    }
  }
  if (planes.empty()) {  // nothing coloured: rows without white
    for (uint32_t y = 0; y < height; ++y) {
      Gathered g;
      g.other.assign(width, 0);
      g.black.assign(width, 0.0f);
      if (keepArt) g.art.assign(width, 0.0f);
      addMaskRow(g);
    }
  }
  while (written < height) writeRow(written++);
  writer.Commit();
}

}  // namespace qm
