#include "tools/magick/command_line.h"

#include <algorithm>
#include <cctype>

namespace qm::magick {

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool IsOption(const std::string& a) { return !a.empty() && (a[0] == '-' || a[0] == '+'); }

Command IccForm(const std::vector<std::string>& a) {
  IccCommand c;
  std::size_t i = 0;
  c.input = a[i++];
  if (i + 1 < a.size() && a[i] == "+profile") {
    if (a[i + 1] != "icm") return UsageError{"magick: +profile takes only \"icm\""};
    c.dropEmbeddedProfile = true;
    i += 2;
  }
  if (i + 1 >= a.size() || a[i] != "-profile") return UsageError{"magick: expected -profile"};
  c.sourceProfile = a[i + 1];
  i += 2;
  if (i + 1 >= a.size() || a[i] != "-intent") return UsageError{"magick: expected -intent"};
  const std::string intent = Lower(a[i + 1]);
  if (intent == "perceptual") c.intent = Intent::Perceptual;
  else if (intent == "relative") c.intent = Intent::Relative;
  else if (intent == "saturation") c.intent = Intent::Saturation;
  else if (intent == "absolute") c.intent = Intent::Absolute;
  else return UsageError{"magick: unrecognized intent type `" + a[i + 1] + "'"};
  i += 2;
  if (i < a.size() && a[i] == "-black-point-compensation") {
    c.blackPointCompensation = true;
    ++i;
  }
  if (i + 1 >= a.size() || a[i] != "-profile") return UsageError{"magick: expected the output -profile"};
  c.outputProfile = a[i + 1];
  i += 2;
  if (i + 1 != a.size() || IsOption(a[i])) return UsageError{"magick: expected one output file after the profiles"};
  c.output = a[i];
  if (c.input.empty() || c.output.empty() || c.sourceProfile.empty() || c.outputProfile.empty()) {
    return UsageError{"magick: empty file name"};
  }
  return c;
}

Command ChannelForm(const std::vector<std::string>& a) {
  ChannelCommand c;
  std::size_t i = 0;
  c.input = a[i++];
  if (i < a.size() && a[i] == "-negate") {
    c.negate = true;
    ++i;
  }
  if (i + 3 != a.size() || a[i] != "-channel-fx") {
    return UsageError{"magick: expected -channel-fx LIST OUTPUT"};
  }
  c.samples = ParseChannelList(a[i + 1]);
  if (c.samples.empty()) return UsageError{"magick: unsupported channel list \"" + a[i + 1] + "\""};
  if (c.negate && c.samples.front() != 0) return UsageError{"magick: -negate goes only with \"0;1;2;3...\""};
  c.outputPattern = a[i + 2];
  const auto first = c.outputPattern.find('%');
  if (first == std::string::npos || c.outputPattern.compare(first, 2, "%d") != 0 ||
      c.outputPattern.find('%', first + 1) != std::string::npos) {
    return UsageError{"magick: the output must hold one %d: " + c.outputPattern};
  }
  if (c.input.empty()) return UsageError{"magick: empty file name"};
  return c;
}

}  // namespace

std::vector<int> ParseChannelList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t semi = list.find(';', start);
    items.push_back(list.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  std::vector<int> samples;
  std::size_t k = 0;
  if (items.size() >= 4 && items[0] == "0" && items[1] == "1" && items[2] == "2" && items[3] == "3") {
    samples = {0, 1, 2, 3};
    k = 4;
  }
  int meta = 0;
  for (; k < items.size(); ++k, ++meta) {
    if (meta > 5 || items[k] != "Meta" + std::to_string(meta)) return {};
    samples.push_back(4 + meta);
  }
  return samples;
}

std::string OutputName(const std::string& pattern, int index) {
  std::string name = pattern;
  const auto at = name.find("%d");
  if (at != std::string::npos) name.replace(at, 2, std::to_string(index));
  return name;
}

Command Parse(const std::vector<std::string>& args) {
  if (args.size() < 3) return UsageError{"magick: too few arguments"};
  const std::string& second = args[1];
  if (second == "+profile" || second == "-profile") return IccForm(args);
  if (second == "-negate" || second == "-channel-fx") return ChannelForm(args);
  return UsageError{"magick: unrecognized option `" + second + "'"};
}

}  // namespace qm::magick
