// Starting the image library with the project's resource policy.
//
// Debian's /etc/ImageMagick-6/policy.xml caps memory at 256 MiB, the disk
// cache at 1 GiB, width and height at 16000 pixels and area at 128
// megapixels, far below a large-format plane (24 x 36 inches at 720 dpi is
// 17280 x 25920 pixels). ImageMagick 6.9.11 (Debian 12) behaves so:
// with MAGICK_CONFIGURE_PATH naming a folder that holds a policy.xml, the
// library loads that file first and the system's after it, and for resource
// limits the first file that names a resource wins, so our limits are the
// ones in force (`identify -list resource` shows them). Coder rules are
// different: the system's "PDF none" still applies even when our file grants
// PDF read|write, so the PDF route uses our own writer (pdf_writer.h). The
// system's file is never touched.
#include <Magick++.h>

#include <cstdlib>
#include <mutex>
#include <system_error>

#include "imaging/imaging.h"
#include "platform/platform.h"

namespace qm::imaging {

namespace {

bool HasPolicy(const std::filesystem::path& dir) {
  std::error_code ec;
  return std::filesystem::is_regular_file(dir / "policy.xml", ec);
}

}  // namespace

// The AppDir's copy first; a scratch AppDir made by tests may lack it, so then
// the one beside the running program, then the one the build installed.
std::filesystem::path PolicyDir() {
  const std::filesystem::path inAppDir = qm::AppDir() / "etc" / "quillmark";
  if (HasPolicy(inAppDir)) return inAppDir;
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec && HasPolicy(exe.parent_path() / "etc" / "quillmark")) return exe.parent_path() / "etc" / "quillmark";
#ifdef QM_BUILT_POLICY_DIR
  if (HasPolicy(QM_BUILT_POLICY_DIR)) return QM_BUILT_POLICY_DIR;
#endif
  return inAppDir;
}

void InitializeImaging() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Must be in the environment before the library reads its configuration.
    const std::filesystem::path dir = PolicyDir();
    ::setenv("MAGICK_CONFIGURE_PATH", dir.c_str(), 1);
    Magick::InitializeMagick(qm::AppDir().c_str());
  });
}

}  // namespace qm::imaging
