#include "output/job_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"

namespace qm {

bool IsImageListItem(const std::string& item) {
  if (item.empty()) return false;
  const auto items = ListFolder(CustomFilesDir(), "*", EntryKind::Folders);
  return std::find(items.begin(), items.end(), item) != items.end();
}

std::vector<DiskNeed> PrintDiskNeeds(uint64_t width, uint64_t height, int bits, uint64_t planePixels) {
  const uint64_t stride = width * static_cast<uint64_t>(bits) / 32 * 4 + 4;
  return {{UserPrnDir(), kPrnHeaderSize + height * kPrnMinChannels * stride},
          {WorkingDir(), planePixels * 4}};
}

std::string SizeText(uint64_t bytes) {
  char text[32];
  const double gb = static_cast<double>(bytes) / 1e9;
  if (gb >= 10.0) std::snprintf(text, sizeof text, "%.0f GB", gb);
  else if (gb >= 1.0) std::snprintf(text, sizeof text, "%.1f GB", gb);
  else std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

Status CheckDiskRoom(const std::vector<DiskNeed>& needs) {
  struct Disk {
    dev_t device;
    std::filesystem::path folder;
    uint64_t bytes;
  };
  std::vector<Disk> disks;
  for (const DiskNeed& need : needs) {
    struct stat st {};
    if (::stat(need.folder.c_str(), &st) != 0) continue;  // made later; nothing to judge
    const auto same = std::find_if(disks.begin(), disks.end(), [&](const Disk& d) { return d.device == st.st_dev; });
    if (same != disks.end()) same->bytes += need.bytes;
    else disks.push_back({st.st_dev, need.folder, need.bytes});
  }
  for (const Disk& disk : disks) {
    std::error_code ec;
    const std::filesystem::space_info space = std::filesystem::space(disk.folder, ec);
    if (ec || space.available >= disk.bytes) continue;
    std::string folder = disk.folder.string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return Status::Fail("needs " + SizeText(disk.bytes) + " on " + folder + ", " +
                        SizeText(space.available) + " free");
  }
  return Status::Ok();
}

}  // namespace qm
