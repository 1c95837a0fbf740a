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

// Copies one file into its item folder; the copy's path, or the reason it
// failed.
Status ImportOne(const fs::path& file, fs::path& copy) {
  const std::string name = FileNameOf(file.string());
  const std::string stem = StemOf(name);
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec) return Status::Fail(ec.message());
  if (fs::is_directory(status)) return Status::Fail("it is a folder");
  if (!fs::is_regular_file(status)) return Status::Fail("it is not a regular file");
  if (!SafeStem(stem) || name == "..") return Status::Fail("its name gives no item name");
  const fs::path folder = CustomFilesDir() / stem;
  if (!CreateFolder(folder)) return Status::Fail("cannot create the folder " + folder.string());
  // Never overwrite: a second file of that name gets a numbered copy.
  copy = FreeTarget(folder, name);
  if (!fs::copy_file(file, copy, fs::copy_options::none, ec) || ec) {
    return Status::Fail("cannot copy it to " + copy.string() + ": " + ec.message());
  }
  return Status::Ok();
}

}  // namespace

ImportReport ImportFilesReport(const std::vector<fs::path>& files, MessageSink& sink) {
  ImportReport report;
  for (const fs::path& file : files) {
    fs::path copy;
    if (const Status status = ImportOne(file, copy); status) {
      report.imported.push_back({file, StemOf(FileNameOf(file.string())), copy});
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

std::vector<std::string> ImageList() { return ListFolder(CustomFilesDir(), "*", EntryKind::Folders); }

std::vector<std::string> SeparationList(const std::string& item) {
  if (!SafeStem(item)) return {};
  return ListFolder(SeparationDir() / item, "*.tif?", EntryKind::Any);
}

std::vector<std::string> PrnList() { return ListFolder(UserPrnDir(), "*.pr?", EntryKind::Any); }

}  // namespace qm
