#include "server/job_naming.h"

#include <cstring>

#include "platform/platform.h"

namespace qm::server {

std::string ItemNameOf(const std::string& jobName, int jobId) {
  std::string name = jobName == "Untitled" ? std::string() : jobName;
  for (const char* extension : {".pdf", ".jpg", ".jpeg", ".tif", ".tiff"}) {
    const std::size_t n = std::strlen(extension);
    if (name.size() > n && EqualsNoCase(name.substr(name.size() - n), extension)) {
      name.resize(name.size() - n);
      break;
    }
  }
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || std::strchr("/\\:*?\"<>|", c) != nullptr) c = '_';
  }
  for (char& c : name) {
    if (c != '.') break;
    c = '_';
  }
  if (name.size() > 200) {
    std::size_t cut = 200;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  if (name.find_first_not_of(" _") == std::string::npos) return "job-" + std::to_string(jobId);
  return name;
}

namespace {
bool Taken(const std::string& name) {
  for (const std::string& item : ListFolder(CustomFilesDir(), "*", EntryKind::Folders)) {
    if (EqualsNoCase(item, name)) return true;
  }
  for (const std::string& file : ListFolder(UserPrnDir(), "*", EntryKind::Files)) {
    if (EqualsNoCase(StemOf(file), name)) return true;
  }
  return false;
}
}  // namespace

std::string FreeItemName(const std::string& name) {
  if (!Taken(name)) return name;
  for (int k = 2;; ++k) {
    const std::string candidate = name + "-" + std::to_string(k);
    if (!Taken(candidate)) return candidate;
  }
}

}  // namespace qm::server
