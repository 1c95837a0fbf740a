// Ink figures of a printer file: how much of the page each ink covers, how
// much ink it takes and, with ink prices, what that ink costs.
//
// What holds for all of it:
// - coverage: the fraction 0..1 of the page's pixels (width x height) where
//   a position has a dot of any size; 0 for an empty page.
// - inkMl: the dots of each size times that size's drop volume, in
//   millilitres (1 picolitre is 1e-9 ml). Bits 2: codes 01, 10 and 11 are
//   the small, middle and large drop; Bits 1: every dot is one drop.
// - cost: inkMl / 1000 x the ink's price per litre, in whatever currency
//   the prices are written in; absent when the ink has no price.
// - The drop volumes and prices come from the optional file "inks.txt" in
//   the preset's folder (Configuration/<preset>/inks.txt): 8-bit text,
//   KEY=VALUE lines read like the preset file (first 100 lines, keys
//   case-sensitive, unknown lines ignored):
//     DropVolume01, DropVolume10, DropVolume11   picolitres per drop, Bits 2
//     DropVolume1                                picolitres per drop, Bits 1
//     InkPrice                                   price per litre of every ink
//     InkPrice.<ink code>  (InkPrice.0, InkPrice.L0, InkPrice.S1, ...)
//                                                price per litre of one ink
//   A value that is not a number of 0 or more keeps the default. Without
//   the file: the defaults of InkSettings and no prices.
// - Error policy: nothing here fails, throws or prints.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "output/prn_reader.h"

namespace qm {

struct InkSettings {
  double drop01 = 4.0;   // picolitres: small drop (code 01)
  double drop10 = 8.0;   // middle drop (code 10)
  double drop11 = 12.0;  // large drop (code 11)
  double drop1 = 12.0;   // the one drop of Bits 1
  std::optional<double> price;                 // per litre, every ink
  std::map<std::string, double> pricePerInk;   // per litre, by ink code

  std::optional<double> PriceOf(std::string_view ink) const;
};

inline constexpr const char* kInkSettingsFile = "inks.txt";

// Reads an ink settings file; a missing file gives the defaults.
InkSettings ReadInkSettings(const std::filesystem::path& file);
// The ink settings of the preset file `presetFile` (Configuration/NAME.cfg):
// NAME/inks.txt beside it, names matched case-insensitively.
InkSettings InkSettingsOfPreset(const std::filesystem::path& presetFile);

struct InkFigures {
  double coverage = 0.0;
  double inkMl = 0.0;
  std::optional<double> cost;
};

// Figures of one position of a width x height page from its dot counts.
InkFigures FiguresOf(const PrnDotCounts& dots, int bits, uint64_t pixels, const InkSettings& settings,
                     std::string_view ink);

// The ink of all positions; cost only when there are positions and every one
// has a cost.
InkFigures TotalOf(std::span<const InkFigures> positions);

}  // namespace qm
