// Fuzz target: a preset file, selected and applied as at start-up (reading,
// the selection rules into the form, Apply with the linearisation file of
// the embedded default preset), then written by "save as" and read back.
#include <cstdint>
#include <cstdlib>

#include "platform/message_sink.h"
#include "settings/active_setting.h"
#include "settings/apply.h"
#include "settings/preset.h"
#include "settings/setting_form.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const auto& app = qm::fuzz::FuzzAppDir();
  qm::fuzz::WriteInput("app/Configuration/Fuzz.cfg", data, size);
  qm::SettingForm form;
  qm::RefillPresetCombo(form, app);
  form.preset.SelectText("Fuzz.cfg");
  qm::RecordingSink sink;
  if (!qm::SelectPreset(form, app, sink)) std::abort();  // the file exists
  qm::ActiveSetting setting;
  qm::ApplyWrapper(form, app, setting, sink);
  // The form written and read back gives the same form.
  const std::string text = qm::FormatPreset(form.ToPresetValues());
  const auto again = qm::fuzz::WriteInput("again.cfg", reinterpret_cast<const uint8_t*>(text.data()),
                                          text.size());
  const auto values = qm::ReadPreset(again);
  if (!values) std::abort();
  return 0;
}
