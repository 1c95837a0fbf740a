#include "output/job_support.h"

#include <algorithm>

#include "platform/platform.h"

namespace qm {

bool IsImageListItem(const std::string& item) {
  if (item.empty()) return false;
  const auto items = ListFolder(CustomFilesDir(), "*", EntryKind::Folders);
  return std::find(items.begin(), items.end(), item) != items.end();
}

}  // namespace qm
