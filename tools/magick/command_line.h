// Our `magick`: the three ImageMagick command forms the separation runs, and
// nothing else.
//
//   magick IN [+profile icm] -profile P1 -intent I [-black-point-compensation] -profile P2 OUT
//   magick IN [-negate] -channel-fx "0;1;2;3[;Meta0[;Meta1...]]" OUT_%d.tif
//   magick IN -channel-fx "Meta0[;Meta1...]" OUT_S%d.tif
//
// Parse is a pure function of the arguments; anything outside these forms is
// a usage error with its message.
#pragma once

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace qm::magick {

enum class Intent { Perceptual = 0, Relative = 1, Saturation = 2, Absolute = 3 };

struct IccCommand {
  std::filesystem::path input;
  bool dropEmbeddedProfile = false;  // "+profile icm"
  std::filesystem::path sourceProfile;
  Intent intent = Intent::Perceptual;
  bool blackPointCompensation = false;
  std::filesystem::path outputProfile;
  std::filesystem::path output;
};

struct ChannelCommand {
  std::filesystem::path input;
  bool negate = false;
  // Sample indices to extract, in order: 0..3 the CMYK colours, 4 + k the
  // extra sample k (Meta k).
  std::vector<int> samples;
  std::string outputPattern;  // holds one "%d", replaced by 0, 1, 2, ...
};

struct UsageError {
  std::string message;
};

using Command = std::variant<IccCommand, ChannelCommand, UsageError>;

Command Parse(const std::vector<std::string>& args);  // args without the program name

// "0;1;2;3;Meta0;Meta1" -> {0, 1, 2, 3, 4, 5}; empty when the list is not one
// of the accepted lists (process channels 0..3 with Meta0..Meta5 in order, or
// Meta0..Meta5 alone).
std::vector<int> ParseChannelList(const std::string& list);

std::string OutputName(const std::string& pattern, int index);

}  // namespace qm::magick
