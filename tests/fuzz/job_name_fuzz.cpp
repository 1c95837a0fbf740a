// Fuzz target: a network job's name as any IPP client may send it, turned
// into an Image List item. The item must be a plain folder name: no '/', no
// leading dot, no control character, not empty, at most 200 bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/job_naming.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  const std::string item = qm::server::ItemNameOf(name, 42);
  if (item.empty() || item.size() > 200 || item[0] == '.') std::abort();
  for (const char c : item) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) std::abort();
  }
  return 0;
}
