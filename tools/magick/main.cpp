// `magick`: our stand-in for the ImageMagick 7 command-line program, for the
// three command forms of the separation (see command_line.h). Exit status 0
// on success; 1 with a message on standard error otherwise.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/magick/command_line.h"
#include "tools/magick/operations.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const qm::magick::Command command = qm::magick::Parse(args);
  try {
    if (const auto* usage = std::get_if<qm::magick::UsageError>(&command)) {
      std::cerr << usage->message << '\n';
      return 1;
    }
    if (const auto* icc = std::get_if<qm::magick::IccCommand>(&command)) {
      qm::magick::ConvertIcc(*icc);
    } else {
      qm::magick::ExtractChannels(std::get<qm::magick::ChannelCommand>(command));
    }
  } catch (const std::exception& e) {
    std::cerr << "magick: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
