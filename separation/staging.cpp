#include "separation/staging.h"

#include <system_error>

#include "platform/platform.h"

namespace qm {

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
  return StagedInput(source, preserve);
}

void StagedInput::Commit() {
  if (!preserve_) DeleteFile(source_);
}

}  // namespace qm
