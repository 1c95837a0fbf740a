#include "separation/staging.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "platform/platform.h"

namespace qm {

namespace {

// A PDF ends with "%%EOF", which readers look for in its last 1024 bytes.
// Without it the file was cut short or is still being written, and
// Ghostscript would repair it into part of a page without failing.
bool PdfEnds(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0) return false;
  const std::streamoff tail = std::min<std::streamoff>(size, 1024);
  std::string bytes(static_cast<std::size_t>(tail), '\0');
  in.seekg(size - tail);
  in.read(bytes.data(), tail);
  return in && bytes.find("%%EOF") != std::string::npos;
}

}  // namespace

std::optional<StagedInput> StagedInput::Stage(const fs::path& source, const fs::path& staged, bool preserve,
                                              std::string* error) {
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) {
    if (error) *error = "cannot stage " + source.string() + ": it is no file";
    return std::nullopt;
  }
  fs::remove(staged, ec);
  fs::create_hard_link(source, staged, ec);
  if (ec && !CopyFileOver(source, staged)) {
    if (error) *error = "cannot stage " + source.string() + " in " + staged.parent_path().string();
    return std::nullopt;
  }
  if (ExtensionLower(staged.filename().string()) == "pdf" && !PdfEnds(staged)) {
    if (error) *error = source.filename().string() + " is cut short: no %%EOF in its last 1024 bytes";
    return std::nullopt;
  }
  return StagedInput(source, preserve);
}

void StagedInput::Commit() {
  if (!preserve_) DeleteFile(source_);
}

}  // namespace qm
