// Fuzz target: the linearisation file of the default preset, applied at
// start-up and then used: every slot's curve halftones a small ramp in both
// dither families, as a job would.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "halftone/halftone.h"
#include "platform/message_sink.h"
#include "settings/startup.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const auto& app = qm::fuzz::FuzzAppDir();
  qm::fuzz::WriteInput("app/Configuration/Default/linear.txt", data, size);
  qm::Session session;
  qm::RecordingSink sink;
  if (!qm::RunHeadlessStartup(app, session, {}, std::nullopt, sink)) return 0;
  qm::HalftoneParams params = qm::HalftoneParams::Of(session.setting);
  constexpr uint32_t kWidth = 16, kHeight = 3;
  for (int slot = 0; slot < qm::kSlotCount; ++slot) {
    for (int32_t method : {0, 1}) {
      std::vector<float> plane(kWidth * kHeight);
      for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<float>(i) * (65535.0f / (plane.size() - 1));
      params.ditherMethod = method;
      qm::HalftonePlane(params, plane.data(), kWidth, kHeight, slot);
    }
  }
  return 0;
}
