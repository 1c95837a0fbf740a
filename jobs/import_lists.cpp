// Import and the three lists of the main window.
#include <optional>
#include <system_error>

#include "platform/job_lock.h"
#include "platform/platform.h"
#include "jobs/commands.h"

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

// Copies one file into its item folder; the item and the copy's path, or
// the reason it failed.
Status ImportOne(const fs::path& file, std::string& item, fs::path& copy) {
  const std::string name = FileNameOf(file.string());
  const std::string stem = StemOf(name);
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec) return Status::Fail(ec.message());
  if (fs::is_directory(status)) return Status::Fail("it is a folder");
  if (!fs::is_regular_file(status)) return Status::Fail("it is not a regular file");
  if (!SafeStem(stem) || name == "..") return Status::Fail("its name gives no item name");
  item = ItemFolderFor(stem);
  const fs::path folder = CustomFilesDir() / item;
  if (!CreateFolder(folder)) return Status::Fail("cannot create the folder " + folder.string());
  // Never overwrite: a second file of that name gets a numbered copy.
  copy = FreeName(folder, name);
  if (!fs::copy_file(file, copy, fs::copy_options::none, ec) || ec) {
    return Status::Fail("cannot copy it to " + copy.string() + ": " + ec.message());
  }
  return Status::Ok();
}

}  // namespace

ImportReport ImportFilesReport(const std::vector<fs::path>& files, MessageSink& sink) {
  ImportReport report;
  for (const fs::path& file : files) {
    std::string item;
    fs::path copy;
    if (const Status status = ImportOne(file, item, copy); status) {
      report.imported.push_back({file, item, copy});
    } else {
      sink.ShowMessage(kFailImport, file.string() + ": " + status.cause());
      report.failed.push_back({file, status.cause()});
    }
  }
  return report;
}

std::vector<std::string> ImportFiles(const std::vector<fs::path>& files, MessageSink& sink, bool* allOk) {
  const ImportReport report = ImportFilesReport(files, sink);
  std::vector<std::string> stems;
  for (const ImportedFile& f : report.imported) stems.push_back(f.item);
  if (allOk) *allOk = report.failed.empty();
  return stems;
}

std::string BatchItemName(const std::string& item) { return BatchFolderName(item); }

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
