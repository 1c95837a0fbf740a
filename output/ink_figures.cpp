#include "output/ink_figures.h"

#include <cmath>
#include <cstdlib>

#include "platform/platform.h"

namespace qm {

namespace {

constexpr std::size_t kInkLines = 100;
constexpr double kMlPerPicolitre = 1e-9;

// A number of 0 or more, the whole text read; nullopt otherwise.
std::optional<double> NonNegative(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (end == text.c_str() || (end && *end != '\0') || !std::isfinite(v) || v < 0.0) return std::nullopt;
  return v;
}

}  // namespace

std::optional<double> InkSettings::PriceOf(std::string_view ink) const {
  if (const auto it = pricePerInk.find(std::string(ink)); it != pricePerInk.end()) return it->second;
  return price;
}

InkSettings ReadInkSettings(const std::filesystem::path& file) {
  InkSettings s;
  const auto lines = ReadLines(file, kInkLines);
  if (!lines) return s;
  const std::string pricePrefix = "InkPrice.";
  for (const std::string& line : *lines) {
    const KeyValue kv = SplitKeyValue(line);
    const auto value = NonNegative(kv.value);
    if (!value) continue;
    if (kv.key == "DropVolume01") s.drop01 = *value;
    else if (kv.key == "DropVolume10") s.drop10 = *value;
    else if (kv.key == "DropVolume11") s.drop11 = *value;
    else if (kv.key == "DropVolume1") s.drop1 = *value;
    else if (kv.key == "InkPrice") s.price = *value;
    else if (kv.key.rfind(pricePrefix, 0) == 0 && kv.key.size() > pricePrefix.size())
      s.pricePerInk[kv.key.substr(pricePrefix.size())] = *value;
  }
  return s;
}

InkSettings InkSettingsOfPreset(const std::filesystem::path& presetFile) {
  const std::string name = presetFile.filename().string();
  const std::filesystem::path folder =
      ResolveCaseInsensitive(presetFile.parent_path(), name.substr(0, name.rfind('.')));
  return ReadInkSettings(ResolveCaseInsensitive(folder, kInkSettingsFile));
}

InkFigures FiguresOf(const PrnDotCounts& dots, int bits, uint64_t pixels, const InkSettings& settings,
                     std::string_view ink) {
  InkFigures f;
  const uint64_t withDot = bits == 1 ? dots[1] : dots[1] + dots[2] + dots[3];
  f.coverage = pixels == 0 ? 0.0 : static_cast<double>(withDot) / static_cast<double>(pixels);
  const double picolitres = bits == 1 ? static_cast<double>(dots[1]) * settings.drop1
                                      : static_cast<double>(dots[1]) * settings.drop01 +
                                            static_cast<double>(dots[2]) * settings.drop10 +
                                            static_cast<double>(dots[3]) * settings.drop11;
  f.inkMl = picolitres * kMlPerPicolitre;
  if (const auto price = settings.PriceOf(ink)) f.cost = f.inkMl / 1000.0 * *price;
  return f;
}

InkFigures TotalOf(std::span<const InkFigures> positions) {
  InkFigures total;
  double cost = 0.0;
  bool priced = !positions.empty();
  for (const InkFigures& f : positions) {
    total.inkMl += f.inkMl;
    if (f.cost) cost += *f.cost;
    else priced = false;
  }
  if (priced) total.cost = cost;
  return total;
}

}  // namespace qm
