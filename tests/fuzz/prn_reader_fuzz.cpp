// Fuzz target: a printer file read back as prn-info and prn-preview read it
// (header, layout check, dot counts, the preview picture).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "output/prn_preview.h"
#include "output/prn_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const auto path = qm::fuzz::WriteInput("input.prn", data, size);
  auto reader = qm::PrnReader::Open(path);
  if (!reader) {
    if (size >= 48) std::abort();  // 48 bytes hold a header
    return 0;
  }
  const uint32_t n = reader->header().channels;
  const bool layoutOk = reader->layoutOk();
  const auto counts = qm::CountPrnDots(*reader);
  if (layoutOk != counts.ok()) std::abort();
  if (counts && counts->size() != n) std::abort();
  const auto slots = qm::DefaultPositionSlots(layoutOk ? n : 0);
  const auto inks = qm::InksForSlots(slots, std::nullopt);
  (void)qm::PrnInfo(path, slots, inks);
  (void)qm::WritePrnPreview(path, qm::fuzz::ScratchFolder() / "preview.png", inks, {});
  return 0;
}
