// Import and the three lists of the main window.
#include <optional>
#include <system_error>

#include "platform/platform.h"
#include "separation/commands.h"

namespace qm {

namespace {

// A stem that names a folder directly inside CustomFiles: nothing that could
// climb out of it or land in it.
bool SafeStem(const std::string& stem) {
  return !stem.empty() && stem != "." && stem != ".." && stem.find_first_of("/\\") == std::string::npos;
}

// The item folder of `stem`: an existing folder whose name matches it
// without regard to case (as the Image List compares), else a new one.
std::string ItemFolderFor(const std::string& stem) {
  for (const std::string& folder : ImageList()) {
    if (EqualsNoCase(folder, stem)) return folder;
  }
  return stem;
}

// Copies `file` into its item folder; the folder name on success.
std::optional<std::string> ImportOne(const fs::path& file) {
  const std::string name = FileNameOf(file.string());
  const std::string stem = StemOf(name);
  std::error_code ec;
  if (!SafeStem(stem) || name == ".." || !fs::is_regular_file(file, ec)) return std::nullopt;
  const std::string item = ItemFolderFor(stem);
  const fs::path folder = CustomFilesDir() / item;
  if (!CreateFolder(folder)) return std::nullopt;
  // Never overwrite: a second file of that name gets a numbered copy.
  if (!fs::copy_file(file, FreeName(folder, name), fs::copy_options::none, ec) || ec) return std::nullopt;
  return item;
}

}  // namespace

std::vector<std::string> ImportFiles(const std::vector<fs::path>& files, MessageSink& sink, bool* allOk) {
  std::vector<std::string> stems;
  bool ok = true;
  for (const fs::path& file : files) {
    if (const auto item = ImportOne(file)) {
      stems.push_back(*item);
    } else {
      sink.ShowMessage(kFailImport);
      ok = false;
    }
  }
  if (allOk) *allOk = ok;
  return stems;
}

std::string BatchItemName(const std::string& item) { return "." + item + ".batch"; }

// A hot folder's batch folder is the system's own, never an item.
std::vector<std::string> ImageList() {
  std::vector<std::string> items = ListFolder(CustomFilesDir(), "*", EntryKind::Folders);
  std::erase_if(items, [](const std::string& name) {
    return name.size() > 7 && name.front() == '.' && name.ends_with(".batch");
  });
  return items;
}

std::vector<std::string> SeparationList(const std::string& item) {
  if (!SafeStem(item)) return {};
  return ListFolder(SeparationDir() / item, "*.tif?", EntryKind::Any);
}

std::vector<std::string> PrnList() { return ListFolder(UserPrnDir(), "*.pr?", EntryKind::Any); }

}  // namespace qm
