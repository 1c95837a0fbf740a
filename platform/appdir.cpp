// Where the AppDir is: --app-dir, else QUILLMARK_APPDIR, else the program's
// own folder when it holds Configuration/ (the build tree's build/app, an
// AppDir copied as a whole), else, for an installed program, the per-user
// folder $XDG_DATA_HOME/quillmark made from the installed template.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

#include "platform/platform.h"

namespace qm {

namespace {
std::mutex g_overrideMutex;
fs::path g_override;

fs::path WithTrailingSeparator(fs::path p) {
  if (!p.empty() && !p.filename().empty()) p /= "";
  return p;
}

fs::path EnsureFolder(const fs::path& p) {
  std::error_code ec;
  fs::create_directories(p, ec);
  return p;
}

bool IsFolder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

fs::path Absolute(const fs::path& p) {
  std::error_code ec;
  fs::path abs = fs::absolute(p, ec);
  return ec ? p : abs;
}

fs::path ExecutableFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec) : exe.parent_path();
}

// The AppDir named from outside: --app-dir, else QUILLMARK_APPDIR. Empty
// when neither names one; `source` says which did.
fs::path NamedAppDir(const char** source) {
  {
    std::lock_guard lock(g_overrideMutex);
    if (!g_override.empty()) {
      *source = "--app-dir";
      return g_override;
    }
  }
  if (const char* env = std::getenv("QUILLMARK_APPDIR"); env && *env) {
    *source = "QUILLMARK_APPDIR";
    return WithTrailingSeparator(Absolute(env));
  }
  return {};
}

// Makes the per-user AppDir from the template when it has no Configuration
// yet, and adds whatever of RipIn and the tool links is missing; existing
// files are never replaced.
void PreparePerUserAppDir(const fs::path& dir, const InstalledLayout& layout) {
  std::error_code ec;
  if (!IsFolder(dir / "Configuration")) {
    fs::create_directories(dir, ec);
    fs::copy(layout.templateDir, dir, fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
  }
  for (const char* folder : {"CustomFiles", "Separation", "UserPrn", "Working"}) {
    fs::create_directories(dir / "RipIn" / folder, ec);
  }
  fs::create_directories(dir / "bin", ec);
  if (!fs::exists(fs::symlink_status(dir / "magick", ec))) {
    fs::create_symlink(layout.toolDir / "magick", dir / "magick", ec);
  }
  if (!fs::exists(fs::symlink_status(dir / "bin" / "gs", ec))) {
    fs::create_symlink(layout.ghostscript, dir / "bin" / "gs", ec);
  }
}

fs::path PerUserAppDir(const InstalledLayout& layout) {
  static std::once_flag once;
  static fs::path dir;
  std::call_once(once, [&] {
    dir = WithTrailingSeparator(PerUserAppDirPath());
    PreparePerUserAppDir(dir, layout);
  });
  return dir;
}
}  // namespace

std::optional<InstalledLayout> InstalledLayoutOf(const fs::path& exeFolder) {
  InstalledLayout layout;
  const fs::path prefix = exeFolder.parent_path();
  layout.templateDir = prefix / "share" / "quillmark";
  layout.toolDir = prefix / "lib" / "quillmark";
  layout.ghostscript = "/usr/bin/gs";
  if (IsFolder(exeFolder / "Configuration") || !IsFolder(layout.templateDir / "Configuration")) return std::nullopt;
  return layout;
}

fs::path PerUserAppDirPath() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') return fs::path(data) / "quillmark";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/") / ".local" / "share" / "quillmark";
}

void SetAppDirOverride(const fs::path& dir) {
  std::lock_guard lock(g_overrideMutex);
  g_override = WithTrailingSeparator(Absolute(dir));
}

std::string AppDirProblem() {
  const char* source = nullptr;
  const fs::path named = NamedAppDir(&source);
  if (named.empty() || IsFolder(named)) return {};
  return std::string("the AppDir ") + named.parent_path().string() + " named by " + source +
         " is not an existing folder";
}

fs::path AppDir() {
  const char* source = nullptr;
  if (fs::path named = NamedAppDir(&source); !named.empty()) return named;
  const fs::path exe = ExecutableFolder();
  if (const auto layout = InstalledLayoutOf(exe)) return PerUserAppDir(*layout);
  return WithTrailingSeparator(exe);
}

fs::path ConfigurationDir() { return AppDir() / "Configuration" / ""; }
fs::path CustomFilesDir() { return EnsureFolder(AppDir() / "RipIn" / "CustomFiles" / ""); }
fs::path SeparationDir() { return EnsureFolder(AppDir() / "RipIn" / "Separation" / ""); }
fs::path UserPrnDir() { return EnsureFolder(AppDir() / "RipIn" / "UserPrn" / ""); }
fs::path WorkingDir() { return EnsureFolder(AppDir() / "RipIn" / "Working" / ""); }

std::string OpenFailure(const fs::path& path) {
  if (IsFolder(path)) return "cannot open " + path.string() + ": it is a folder";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "cannot open " + path.string() + ": " + std::strerror(errno);
  ::close(fd);
  return "cannot read " + path.string();
}

}  // namespace qm
