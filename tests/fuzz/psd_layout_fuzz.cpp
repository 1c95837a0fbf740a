// Fuzz target: the layout of a psdcmyk file, read as its rows come, at every
// length the file passes through while Ghostscript writes it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "separation/psd_planes.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const auto path = qm::fuzz::WriteInput("input.psd", data, size);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) std::abort();
  for (const uint64_t length : {uint64_t{size}, uint64_t{size} / 2, uint64_t{size} * 2}) {
    const qm::StatusOr<qm::PsdLayout> layout = qm::ReadPsdLayout(fd, length);
    if (!layout) {
      if (layout.cause().empty()) std::abort();
      continue;
    }
    // What a reader copies must lie inside the file once it is whole.
    if (layout->dataOffset > length || layout->FileSize() < length) std::abort();
    if (layout->colorants.size() < 4 || layout->RowsIn(layout->FileSize()) != layout->height) std::abort();
    for (const auto& c : layout->colorants) {
      if (c.empty() || c.find('/') != std::string::npos) std::abort();
    }
  }
  ::close(fd);
  return 0;
}
