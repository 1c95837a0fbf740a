// Helpers shared by the tests: scratch AppDirs and file comparison.
#pragma once

#include <filesystem>
#include <string>

namespace qm::test {

namespace fs = std::filesystem;

// A fresh AppDir in a temporary folder, removed at the end: a copy of the
// built AppDir's Configuration and ICC folders, with links to its programs
// (magick, bin/gs). RipIn is absent, so commands must create what they need.
class ScratchAppDir {
 public:
  ScratchAppDir();
  ~ScratchAppDir();
  ScratchAppDir(const ScratchAppDir&) = delete;
  ScratchAppDir& operator=(const ScratchAppDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& rel) const { return path_ / rel; }

 private:
  fs::path path_;
};

// A fresh empty temporary folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& rel) const { return path_ / rel; }

 private:
  fs::path path_;
};

std::string ReadFileBytes(const fs::path& path);
void WriteFileBytes(const fs::path& path, const std::string& bytes);

// Empty when equal, else a description with the first differing offset.
std::string FirstDifference(const std::string& expected, const std::string& actual);

// Whether the process runs (or is stopped); a zombie waiting for its reaper
// has ended.
bool ProcessAlive(int pid);

fs::path SamplesDir();     // tests/data: sample artwork and profiles
fs::path SourceDir();      // the repository
fs::path BuiltAppDir();    // build/app

}  // namespace qm::test
