#include "separation/channels.h"

#include "platform/platform.h"
#include "settings/apply.h"

namespace qm {

std::string ChannelPlaneName(const std::string& code) { return "00_" + code + ".tif"; }

std::string SeparatorPlaneName(const std::string& colorant) { return "00_(" + colorant + ").tif"; }

std::string SlotFileName(int index) { return "00_" + std::string(ChannelCode(index)) + ".tiff"; }

int ChannelIndexFromName(const std::string& name) {
  // Only the file name counts, so an underscore in a folder name is no cut.
  std::string code = FileNameOf(name);
  if (const std::size_t underscore = code.rfind('_'); underscore != std::string::npos) {
    code.erase(0, underscore + 1);
  }
  // Without a '.', everything goes: the name matches no code.
  const std::size_t dot = code.rfind('.');
  code.erase(dot == std::string::npos ? 0 : dot);
  const int index = ChannelIndexOfCode(code);
  return index < 0 ? 0 : index;
}

std::array<std::string, 18> SequenceCodes(const std::string& prnSequence) {
  std::array<std::string, 18> codes;
  for (std::size_t k = 0; k < codes.size(); ++k) codes[k] = Field(prnSequence, ',', k);
  return codes;
}

}  // namespace qm
