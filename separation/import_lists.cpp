// Import and the three lists of the main window.
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

// The first of name, "stem (2).ext", "stem (3).ext", ... that does not exist.
fs::path FreeTarget(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  fs::path target = folder / name;
  if (!fs::exists(target, ec)) return target;
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  for (int n = 2;; ++n) {
    target = folder / (stem + " (" + std::to_string(n) + ")" + ext);
    if (!fs::exists(target, ec)) return target;
  }
}

bool ImportOne(const fs::path& file) {
  const std::string name = FileNameOf(file.string());
  const std::string stem = StemOf(name);
  std::error_code ec;
  if (!SafeStem(stem) || name == ".." || !fs::is_regular_file(file, ec)) return false;
  const fs::path folder = CustomFilesDir() / stem;
  if (!CreateFolder(folder)) return false;
  // Never overwrite: a second file of that name gets a numbered copy.
  fs::path target = FreeTarget(folder, name);
  return fs::copy_file(file, target, fs::copy_options::none, ec) && !ec;
}

}  // namespace

std::vector<std::string> ImportFiles(const std::vector<fs::path>& files, MessageSink& sink, bool* allOk) {
  std::vector<std::string> stems;
  bool ok = true;
  for (const fs::path& file : files) {
    if (ImportOne(file)) {
      stems.push_back(StemOf(FileNameOf(file.string())));
    } else {
      sink.ShowMessage(kFailImport);
      ok = false;
    }
  }
  if (allOk) *allOk = ok;
  return stems;
}

std::vector<std::string> ImageList() { return ListFolder(CustomFilesDir(), "*", EntryKind::Folders); }

std::vector<std::string> SeparationList(const std::string& item) {
  if (!SafeStem(item)) return {};
  return ListFolder(SeparationDir() / item, "*.tif?", EntryKind::Any);
}

std::vector<std::string> PrnList() { return ListFolder(UserPrnDir(), "*.pr?", EntryKind::Any); }

}  // namespace qm
