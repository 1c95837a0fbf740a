// Fuzz target: outside bytes as the artwork of a job and as the AppDir's
// limits.txt. Staging judges the content against the extension (.pdf, .jpg,
// .tif) before any tool sees it; the limits reader keeps every value in its
// range. Neither may crash, and a refusal always says why.
#include <cstdint>
#include <cstdlib>

#include "separation/staging.h"
#include "settings/limits.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  for (const char* name : {"art.pdf", "art.jpg", "art.tif"}) {
    const auto source = qm::fuzz::WriteInput(name, data, size);
    const auto staged = qm::StagedInput::Stage(source, qm::fuzz::ScratchFolder() / "staged", true);
    if (staged && !std::filesystem::exists(qm::fuzz::ScratchFolder() / "staged")) std::abort();
  }
  const auto limits = qm::fuzz::WriteInput("limits.txt", data, size);
  const qm::JobLimits read = qm::ReadJobLimits(limits);
  if (read.toolTimeLimit < 0 || read.toolTimeLimit > 604800) std::abort();
  return 0;
}
