// Helpers shared by the fuzz targets: a private scratch folder per process,
// a file there holding the input bytes, and a copy of the embedded default
// Configuration for targets that need an AppDir.
//
// The targets read files by path, as the program does, so every input is
// written to a file first. Targets never throw: a reader that throws a
// documented error type is a normal outcome; anything else is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace qm::fuzz {

// A folder removed at exit, unique to this process.
const std::filesystem::path& ScratchFolder();

// Writes the bytes to ScratchFolder()/name and returns the path.
std::filesystem::path WriteInput(const std::string& name, const uint8_t* data, std::size_t size);

// An AppDir below ScratchFolder() holding a copy of share/Configuration,
// made once per process.
const std::filesystem::path& FuzzAppDir();

}  // namespace qm::fuzz
