#include "tests/support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

namespace qm::test {

namespace {
fs::path MakeTempFolder(const char* prefix) {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / (std::string(prefix) + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) return p;
  }
  throw std::runtime_error("cannot create a temporary folder");
}
}  // namespace

ScratchAppDir::ScratchAppDir() : path_(MakeTempFolder("qm-app-")) {
  const fs::path built = BuiltAppDir();
  fs::copy(built / "Configuration", path_ / "Configuration", fs::copy_options::recursive);
  if (fs::exists(built / "ICC")) fs::copy(built / "ICC", path_ / "ICC", fs::copy_options::recursive);
  fs::create_directories(path_ / "bin");
  fs::create_symlink("/usr/bin/gs", path_ / "bin" / "gs");
  if (fs::exists(built / "magick")) fs::create_symlink(built / "magick", path_ / "magick");
}

ScratchAppDir::~ScratchAppDir() {
  std::error_code ec;
  if (!std::getenv("QM_KEEP_TEST_DIRS")) fs::remove_all(path_, ec);
}

bool ProcessAlive(int pid) {
  if (pid <= 0) return false;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  std::getline(in, stat);
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z' && stat[close + 2] != 'X';
}

TempDir::TempDir() : path_(MakeTempFolder("qm-tmp-")) {}
TempDir::~TempDir() {
  std::error_code ec;
  if (!std::getenv("QM_KEEP_TEST_DIRS")) fs::remove_all(path_, ec);
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string FirstDifference(const std::string& expected, const std::string& actual) {
  const std::size_t n = std::min(expected.size(), actual.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (expected[i] != actual[i]) {
      std::ostringstream s;
      s << "first difference at offset " << i << ": expected 0x" << std::hex
        << (static_cast<unsigned>(static_cast<unsigned char>(expected[i]))) << ", got 0x"
        << (static_cast<unsigned>(static_cast<unsigned char>(actual[i])));
      return s.str();
    }
  }
  if (expected.size() != actual.size()) {
    return "sizes differ: expected " + std::to_string(expected.size()) + ", got " +
           std::to_string(actual.size());
  }
  return {};
}

fs::path SamplesDir() { return QM_SAMPLES_DIR; }
fs::path SourceDir() { return QM_SOURCE_DIR; }
fs::path BuiltAppDir() { return QM_APPDIR_BUILD; }

}  // namespace qm::test
