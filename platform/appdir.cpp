#include <cstdlib>
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
}  // namespace

void SetAppDirOverride(const fs::path& dir) {
  std::lock_guard lock(g_overrideMutex);
  std::error_code ec;
  fs::path abs = fs::absolute(dir, ec);
  g_override = WithTrailingSeparator(ec ? dir : abs);
}

fs::path AppDir() {
  {
    std::lock_guard lock(g_overrideMutex);
    if (!g_override.empty()) return g_override;
  }
  if (const char* env = std::getenv("QUILLMARK_APPDIR"); env && *env) {
    std::error_code ec;
    fs::path abs = fs::absolute(env, ec);
    return WithTrailingSeparator(ec ? fs::path(env) : abs);
  }
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return WithTrailingSeparator(fs::current_path(ec));
  return WithTrailingSeparator(exe.parent_path());
}

fs::path ConfigurationDir() { return AppDir() / "Configuration" / ""; }
fs::path CustomFilesDir() { return EnsureFolder(AppDir() / "RipIn" / "CustomFiles" / ""); }
fs::path SeparationDir() { return EnsureFolder(AppDir() / "RipIn" / "Separation" / ""); }
fs::path UserPrnDir() { return EnsureFolder(AppDir() / "RipIn" / "UserPrn" / ""); }
fs::path WorkingDir() { return EnsureFolder(AppDir() / "RipIn" / "Working" / ""); }

}  // namespace qm
