#include "output/job_support.h"

#include <algorithm>

#include "platform/platform.h"

namespace qm {

std::string SlotFile(int slot) { return "00_" + std::string(PrnSlotCode(slot)) + ".tiff"; }

int SlotIndexOfFile(std::string_view name) {
  const std::size_t underscore = name.rfind('_');
  if (underscore != std::string_view::npos) name.remove_prefix(underscore + 1);
  const std::size_t dot = name.rfind('.');
  name = dot == std::string_view::npos ? std::string_view() : name.substr(0, dot);
  return PrnSlotFromCode(name).value_or(0);
}

std::array<std::string, kPrnSlotCount> SequenceFields(std::string_view prnSequence) {
  std::array<std::string, kPrnSlotCount> fields;
  for (int k = 0; k < kPrnSlotCount; ++k) fields[k] = Field(prnSequence, ',', static_cast<std::size_t>(k));
  return fields;
}

DotLevels JobDotLevels(const ActiveSetting& setting) {
  return DeriveDotLevels(setting.middleDotLevel, setting.largeDotLevel, setting.Bits, setting.UseDots);
}

bool IsImageListItem(const std::string& item) {
  if (item.empty()) return false;
  const auto items = ListFolder(CustomFilesDir(), "*", EntryKind::Folders);
  return std::find(items.begin(), items.end(), item) != items.end();
}

}  // namespace qm
