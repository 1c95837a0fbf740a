// Fuzz target: the initiation file (Configuration/initiation.ini), read as at
// start-up, then written back and read again; the second reading must give
// the same settings.
#include <cstdint>
#include <cstdlib>

#include "settings/initiation.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const auto path = qm::fuzz::WriteInput("initiation.ini", data, size);
  qm::InitiationSettings first;
  if (!qm::ReadInitiation(path, first)) std::abort();  // the file exists
  const std::string text = qm::FormatInitiation(first);
  const auto again = qm::fuzz::WriteInput("again.ini", reinterpret_cast<const uint8_t*>(text.data()),
                                          text.size());
  qm::InitiationSettings second;
  if (!qm::ReadInitiation(again, second)) std::abort();
  // Values holding a line break or '=' cannot survive a text file of key=value
  // lines; those never come from a reading, so the round trip is exact.
  if (qm::FormatInitiation(second) != text) std::abort();
  return 0;
}
