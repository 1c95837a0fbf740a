// Runs a fuzz target over every file of its corpus folders, as a plain test:
//   fuzz_<target>_corpus FOLDER...
// Exit status 0 when every input returned; a crash ends the program, which
// CTest reports as a failure naming the target.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::set<fs::path> inputs;  // in name order
  for (int i = 1; i < argc; ++i) {
    if (!fs::is_directory(argv[i])) {
      inputs.insert(argv[i]);
      continue;
    }
    for (const auto& e : fs::recursive_directory_iterator(argv[i])) {
      if (e.is_regular_file()) inputs.insert(e.path());
    }
  }
  for (const fs::path& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::fprintf(stderr, "%s (%zu bytes)\n", p.filename().c_str(), bytes.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::fprintf(stderr, "%zu inputs run\n", inputs.size());
  return inputs.empty() ? 1 : 0;  // no corpus is a broken test, not a pass
}
