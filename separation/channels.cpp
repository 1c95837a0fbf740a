#include "separation/channels.h"

#include <system_error>

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

void AssignSlots(const fs::path& working, const std::string& prnSequence, JobHost& host,
                 const std::function<std::string(int)>& inkName) {
  const auto codes = SequenceCodes(prnSequence);
  for (int k = 0; k < kSlotCount; ++k) {
    if (ChannelIndexOfCode(codes[k]) < 0) continue;
    MoveFile(working / ChannelPlaneName(codes[k]), working / SlotFileName(k));
  }
  for (int i = 0; i < kSlotCount; ++i) {
    std::error_code ec;
    if (fs::exists(working / ChannelPlaneName(ChannelCode(i)), ec)) {
      host.Warn(UnplacedInkWarning(i, inkName ? inkName(i) : std::string()));
    }
  }
}

std::string InkLabel(int index, const std::string& name) {
  const std::string code = ChannelCode(index);
  if (kProcessInks.contains(index) || kLightInks.contains(index)) {
    return std::string(kInkChannels[static_cast<std::size_t>(index)].name) + " (" + code + ")";
  }
  const std::string kind = index < kMulticolorInks.end ? "multicolor " : "spot ";
  return kind + code + (name.empty() ? std::string() : " (" + name + ")");
}

std::string UnplacedInkWarning(int index, const std::string& name) {
  return InkLabel(index, name) + " is not printed: PRNSequence places " + ChannelCode(index) + " in no position";
}

std::array<std::string, 18> SequenceCodes(const std::string& prnSequence) {
  std::array<std::string, 18> codes;
  for (std::size_t k = 0; k < codes.size(); ++k) codes[k] = Field(prnSequence, ',', k);
  return codes;
}

}  // namespace qm
