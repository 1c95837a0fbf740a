#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace qm::fuzz {

namespace fs = std::filesystem;

namespace {
struct Scratch {
  fs::path path;
  Scratch() {
    path = fs::temp_directory_path() / ("qm-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(path);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};
}  // namespace

const fs::path& ScratchFolder() {
  static Scratch scratch;
  return scratch.path;
}

fs::path WriteInput(const std::string& name, const uint8_t* data, std::size_t size) {
  const fs::path path = ScratchFolder() / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

const fs::path& FuzzAppDir() {
  static const fs::path dir = [] {
    const fs::path app = ScratchFolder() / "app";
    fs::create_directories(app);
    fs::copy(fs::path(QM_SOURCE_DIR) / "share" / "Configuration", app / "Configuration",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    return app;
  }();
  return dir;
}

}  // namespace qm::fuzz
