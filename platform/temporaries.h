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

namespace qm {

// Registers a temporary file; the handle unregisters it. -1 when the table
// is full (the file is then only not removed on a signal).
int RegisterTemporary(const std::filesystem::path& path);
void UnregisterTemporary(int handle);

// Unlinks every registered file. Async-signal-safe.
void RemoveRegisteredTemporaries() noexcept;

// SIGINT and SIGTERM remove the registered files and end the process with
// exit status 128 + the signal (130, 143).
void RemoveTemporariesOnSignals();

// Removes the hidden temporary files "." ... ".tmp" of `folder` that no
// writer holds locked any more (their writer is gone).
void RemoveAbandonedTemporaries(const std::filesystem::path& folder);

}  // namespace qm
