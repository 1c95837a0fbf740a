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

// The sink of one source plane: each contone row to the white's gathering.
class GatherSink final : public RowSink {
 public:
  explicit GatherSink(std::function<void(const float*)> gather) : gather_(std::move(gather)) {}
  Status Row(const float* row) override {
    gather_(row);
    return Status::Ok();
  }

 private:
  std::function<void(const float*)> gather_;
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

  // Every source; the artwork's white only for "both". Each is read as the
  // halftoner would take it (PlaneRows without the halftone): turned,
  // negated, resampled. The negation comes before the resampling in either
  // job's order, so both jobs make the same white of the same planes.
  PlaneRecipe contone = recipe;
  contone.order = kPrintOrder;
  std::vector<std::unique_ptr<PlaneRows>> planes;
  std::vector<WhiteSource::Role> roles;
  for (const WhiteSource& source : sources) {
    if (source.role == WhiteSource::Role::kArtWhite && !keepArt) continue;
    planes.push_back(std::make_unique<PlaneRows>(contone, source.file, nullptr, 0));
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
  std::vector<GatherSink> sinks;
  sinks.reserve(planes.size());
  for (std::size_t i = 0; i < planes.size(); ++i) {
    sinks.emplace_back([&, i, role = roles[i]](const float* row) {
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
  }
  // Rows every plane has given make their mask rows after each round.
  const Status pumped = PumpInTurns(
      planes.size(), [&](std::size_t i) { return !planes[i]->Done(); },
      [&](std::size_t i) { return planes[i]->Pump(kStepRows, sinks[i]); },
      [&] {
        while (!gathering.empty() && gathering.front().planes == planes.size()) {
          addMaskRow(gathering.front());
          gathering.pop_front();
          ++gatheredFirst;
        }
      });
  if (!pumped) throw imaging::ImagingError(pumped.cause());
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
