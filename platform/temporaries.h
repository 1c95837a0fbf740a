// Temporary files of a running job: the printer file under its hidden name,
// a plane file being written. Two things make sure none outlives its job:
//
// - A registry of their paths, which the SIGINT and SIGTERM handler (and a
//   program that quits) empties by unlinking them: a job ended by Ctrl-C
//   leaves none behind.
// - The writer of a printer file's temporary holds an exclusive flock on it
//   for as long as it writes. A job killed outright (SIGKILL, power loss)
//   leaves its temporary unlocked, and the next job on the AppDir removes
//   it; the temporary of a writer that still runs stays locked and is kept.
//
// The registry is a fixed table of C strings, so the signal handler reads it
// without allocating or locking (async-signal-safe); registering and
// unregistering are thread-safe.
#pragma once

#include <filesystem>
#include <string>

namespace qm {

// Registers a temporary file; the handle unregisters it. -1 when the table
// is full (the file is then only not removed on a signal).
int RegisterTemporary(const std::filesystem::path& path);
void UnregisterTemporary(int handle);

// Registers a folder whose entries named ".qm..." are a running job's
// temporaries (a tool's band files, the job's private temporary folder);
// the handle unregisters it. -1 when the table is full.
int RegisterTemporaryFolder(const std::filesystem::path& folder);
void UnregisterTemporaryFolder(int handle);

// Unlinks every registered file and the ".qm..." entries of every registered
// folder (a folder among them with what it holds). Async-signal-safe.
void RemoveRegisteredTemporaries() noexcept;

// Kills the running tools' process groups, then removes the registered
// temporaries: what a stopping process does before it exits.
// Async-signal-safe.
void AbandonRunningWork() noexcept;

// Makes `handler` the handler of SIGINT and SIGTERM.
void HandleStopSignals(void (*handler)(int));

// SIGINT and SIGTERM abandon the running work (AbandonRunningWork) and end
// the process with exit status 128 + the signal (130, 143).
void RemoveTemporariesOnSignals();

// The job's private temporary folder, RipIn/Working/.qmtmp (mode 0700), made
// when missing: the only temporary folder its tools and the image library
// are given (TMPDIR, TEMP, TMP, MAGICK_TEMPORARY_PATH), so artwork that
// writes temporary files writes them inside its own job.
std::filesystem::path JobTemporaryFolder();

// The temporaries of the job that holds the Working folder: everything named
// ".qm..." in it (the tools' band files, the linked input, the private
// temporary folder). Made by the holder of the job lock: it removes what a
// dead job's tools left, makes the private temporary folder, points the
// in-process image library's temporary path at it and registers the Working
// folder with the signal handler; the end of the job removes them again.
class JobTemporaries {
 public:
  JobTemporaries();
  ~JobTemporaries();
  JobTemporaries(const JobTemporaries&) = delete;
  JobTemporaries& operator=(const JobTemporaries&) = delete;

 private:
  int handle_ = -1;
  bool hadMagickPath_ = false;
  std::string magickPath_;
};

// Removes every ".qm..." entry of `folder` (a folder among them with what it
// holds).
void RemoveJobTemporaries(const std::filesystem::path& folder);

// Removes the hidden temporary files "." ... ".tmp" of `folder` that no
// writer holds locked any more (their writer is gone).
void RemoveAbandonedTemporaries(const std::filesystem::path& folder);

}  // namespace qm
