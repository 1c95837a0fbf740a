// platform: the one layer that talks to the operating system.
//
// Paths are std::filesystem paths; every path of the system is AppDir plus a
// fixed fragment. Text files are bytes, one byte per character.
//
// Error policy: file operations of the pipeline ignore their failures and
// report them only as a bool, which callers may ignore; nothing here shows a
// message or ends the process. Listings are sorted (case-insensitive, ties by
// bytes), so every run on every file system gives the same order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

namespace fs = std::filesystem;

// ---- AppDir ---------------------------------------------------------------

// SetAppDirOverride (--app-dir), else QUILLMARK_APPDIR, else the folder of
// the running executable (/proc/self/exe) when it holds Configuration/. An
// installed program (bin/ beside share/quillmark/Configuration) without one
// uses the per-user AppDir PerUserAppDirPath(), made on first use from the
// installed template with RipIn, "magick" linked to the installed tool and
// "bin/gs" to Debian's Ghostscript. Otherwise the executable's folder.
fs::path AppDir();
void SetAppDirOverride(const fs::path& dir);
// Empty, or why the AppDir named by --app-dir or QUILLMARK_APPDIR cannot be
// used (it is not an existing folder). Such a folder is never created.
std::string AppDirProblem();

// The installed layout around a program in PREFIX/bin: the AppDir template
// PREFIX/share/quillmark, our tools in PREFIX/lib/quillmark. nullopt when
// exeFolder holds Configuration/ itself or no template is installed.
struct InstalledLayout {
  fs::path templateDir, toolDir, ghostscript;
};
std::optional<InstalledLayout> InstalledLayoutOf(const fs::path& exeFolder);
// $XDG_DATA_HOME/quillmark, by default ~/.local/share/quillmark.
fs::path PerUserAppDirPath();

// The RipIn folders; each is created when missing, so a scratch AppDir that
// holds only Configuration works.
fs::path CustomFilesDir();  // RipIn/CustomFiles/
fs::path SeparationDir();   // RipIn/Separation/
fs::path UserPrnDir();      // RipIn/UserPrn/
fs::path WorkingDir();      // RipIn/Working/
fs::path ConfigurationDir();  // Configuration/ (not created)

// ---- Listing ----------------------------------------------------------------

// Windows wildcard match: case-insensitive, '*' any run, '?' one character or
// none at the end of the name; "*.*" matches every name.
bool WildcardMatch(std::string_view pattern, std::string_view name);

enum class EntryKind { Any, Files, Folders };

// Names (not paths) of the entries of `folder` that match `pattern`, sorted
// case-insensitively with ties by bytes. A missing folder lists nothing.
std::vector<std::string> ListFolder(const fs::path& folder, std::string_view pattern,
                                    EntryKind kind = EntryKind::Any);

// ---- File operations that ignore their failures ---------------------------

bool CopyFileOver(const fs::path& from, const fs::path& to);  // overwrite
bool MoveFile(const fs::path& from, const fs::path& to);      // replace target
bool DeleteFile(const fs::path& path);
bool CreateFolder(const fs::path& path);  // with parents; true if it exists after
bool CopyFolder(const fs::path& from, const fs::path& to);    // recursive, overwrite

// The first of `name`, "stem (2).ext", "stem (3).ext", ... (stem and ext
// split at the last '.') that no entry of `folder` has, letter case ignored:
// a name that never overwrites.
fs::path FreeName(const fs::path& folder, const std::string& name);

// Writes `bytes` to `path` through a temporary file in the same folder and a
// rename, so a failed write never loses the old file. Returns false on failure
// (the old file, if any, is untouched).
bool WriteFileAtomically(const fs::path& path, std::string_view bytes);

// A file name that comes from a preset: the exact name when it exists, else a
// case-insensitive match in the same folder, else the exact name.
fs::path ResolveCaseInsensitive(const fs::path& folder, const std::string& name);

// Why a file cannot be read, for a failure's cause: "cannot open PATH: No
// such file or directory" (the system's reason), or that it is a folder.
std::string OpenFailure(const fs::path& path);

// The memory limit a failed allocation of `neededBytes` ran into, for a
// failure's cause: "1200 MiB needed; the process may use at most 1024 MiB"
// (the address-space limit), else the machine's memory.
std::string MemoryLimitNote(uint64_t neededBytes);

// ---- Text -------------------------------------------------------------------

// Reads exactly `count` lines of 8-bit text; lines past the end are empty.
// Accepts CR LF or LF. Returns nullopt when the file cannot be opened. Reading
// stops after `count` lines, so a huge file costs no more than its first lines.
std::optional<std::vector<std::string>> ReadLines(const fs::path& path, std::size_t count);

// Key and value of a line: key before the first '=', value between the first
// and second '='. A line without '=' has an empty value.
struct KeyValue {
  std::string key;
  std::string value;
};
KeyValue SplitKeyValue(std::string_view line);

// The k-th field of a `sep`-separated text (k from 0); empty past the end.
std::string Field(std::string_view text, char sep, std::size_t k);
std::vector<std::string> SplitFields(std::string_view text, char sep);

std::string ToLower(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);

// The longest leading decimal number after leading blanks, as strtod reads it;
// 0 when there is none.
double ParseLeadingDouble(std::string_view s);

// File name of a path (after the last separator) and its stem (without the
// text from the last '.').
std::string FileNameOf(std::string_view path);
std::string StemOf(std::string_view name);
// Text after the last '.', lower-cased; empty without '.'.
std::string ExtensionLower(std::string_view name);

}  // namespace qm
