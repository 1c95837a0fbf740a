// Staging: an input image put into the Working folder as "00." + extension
// for one job, and given back when the job fails.
//
// The source stays in its item folder while the job runs: the staged name is
// a hard link to it (a copy where the file system has no links), so the
// stages may delete or replace the staged name without touching the source's
// bytes (every writer here replaces a file by writing a new one and renaming
// it). Commit() ends the source's stay when the job succeeded and "Preserved"
// is off; without Commit() the source is where it was, under its own name,
// so the operator can mend it and try again.
//
// Error policy: Stage returns StatusOr<the staged input>; nothing throws.
#pragma once

#include <filesystem>
#include <string>

#include "platform/status.h"

namespace qm {

class StagedInput {
 public:
  // Stages `source` at `staged` (replacing a file there); fails with the
  // cause when it cannot, or when a PDF lacks its closing "%%EOF" (cut
  // short, or still being written).
  static StatusOr<StagedInput> Stage(const std::filesystem::path& source, const std::filesystem::path& staged,
                                     bool preserve);

  // The job succeeded: without "Preserved" the source leaves its item folder.
  void Commit();

  const std::filesystem::path& source() const { return source_; }

 private:
  StagedInput(std::filesystem::path source, bool preserve) : source_(std::move(source)), preserve_(preserve) {}
  std::filesystem::path source_;
  bool preserve_ = true;
};

}  // namespace qm
