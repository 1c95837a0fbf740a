// compose, print, prn-info and prn-preview.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "output/commands.h"
#include "output/prn_preview.h"
#include "output/prn_reader.h"
#include "platform/platform.h"
#include "settings/initiation.h"
#include "settings/preset.h"

namespace qm::cli {

namespace {

int RunCompose(Env& env, const std::vector<std::string>& args) {
  if (args.size() != 2) return UsageError("compose takes ITEM and ENTRY");
  JobContext ctx = env.Job();
  return env.JobExit(ComposeCommand(ctx, args[0], args[1]));
}

int RunPrint(Env& env, const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("print takes ITEM");
  JobContext ctx = env.Job();
  return env.JobExit(PrintCommand(ctx, args[0]));
}

// The preset in force without a start-up: --preset, else the initiation
// file's default (with --set dfPreset=...); nullopt when neither names a
// readable preset.
std::optional<PresetValues> PresetInForce(const Env& env) {
  std::string name;
  if (env.options.preset) {
    name = *env.options.preset;
  } else {
    InitiationSettings init;
    ReadInitiation(InitiationPath(AppDir()), init);
    for (const auto& [key, value] : env.options.sets) SetInitiationValue(init, key, value);
    name = init.dfPreset;
  }
  if (name.empty()) return std::nullopt;
  return ReadPreset(ResolveCaseInsensitive(ConfigurationDir(), name));
}

// Slot and ink of every position of a file of `channels` positions.
void PositionsOf(const Env& env, uint32_t channels, std::vector<int>& slots, std::vector<std::string>& inks) {
  const auto preset = PresetInForce(env);
  if (!preset) {
    slots = DefaultPositionSlots(channels);
    inks = InksForSlots(slots, std::nullopt);
    return;
  }
  auto flag = [](const std::optional<std::string>& v) { return v && *v == "1" ? 1 : 0; };
  const std::array<int, 4> light = {flag(preset->UseLc), flag(preset->UseLm), flag(preset->UseLk),
                                    flag(preset->UseLlk)};
  const std::string sequence = preset->PRNSequence.value_or("");
  slots = PositionSlotsFromPreset(channels, light, sequence, preset->ICCOutputColors.value_or(""));
  inks = InksForSlots(slots, std::string_view(sequence));
}

int Failure(const std::string& error) {
  std::fprintf(stderr, "quillmark-cli: %s\n", error.c_str());
  return kExitFailure;
}

// A PRN file with the slot and ink of each of its positions.
struct OpenedPrn {
  std::optional<PrnReader> reader;
  std::vector<int> slots;
  std::vector<std::string> inks;
};

OpenedPrn OpenPrn(const Env& env, const std::string& path, std::string& error) {
  OpenedPrn opened;
  opened.reader = PrnReader::Open(path, &error);
  if (opened.reader) {
    const uint32_t channels = opened.reader->header().channels;
    PositionsOf(env, channels <= kPrnMaxChannels ? channels : 0, opened.slots, opened.inks);
  }
  return opened;
}

int RunPrnInfo(Env& env, const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("prn-info takes FILE");
  std::string error;
  const OpenedPrn prn = OpenPrn(env, args[0], error);
  if (!prn.reader) return Failure(error);
  const auto json = PrnInfo(args[0], prn.slots, prn.inks, &error);
  if (!json) return Failure(error);
  std::printf("%s\n", json->c_str());
  if (prn.reader->layoutOk()) return kExitOk;
  // The header and size are shown; the file is refused with its problem.
  const std::string problem = PrnHeaderProblem(prn.reader->header());
  return Failure(args[0] + ": " +
                 (problem.empty() ? "the file holds " + std::to_string(prn.reader->fileSize()) + " bytes, not " +
                                        std::to_string(PrnExpectedFileSize(prn.reader->header()))
                                  : problem));
}

int RunPrnPreview(Env& env, const std::vector<std::string>& args) {
  PrnPreviewOptions options;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--ink") {
      if (i + 1 >= args.size()) return UsageError("--ink needs a position");
      const std::string& text = args[++i];
      if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 3) {
        return UsageError("--ink takes a position number, got '" + text + "'");
      }
      options.onlyPosition = static_cast<uint32_t>(std::stoul(text));
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) return UsageError("prn-preview takes FILE and OUT.png");
  std::string error;
  const OpenedPrn prn = OpenPrn(env, files[0], error);
  if (!prn.reader) return Failure(error);
  if (!WritePrnPreview(files[0], files[1], prn.inks, options, &error)) return Failure(error);
  return kExitOk;
}

}  // namespace

QM_CLI_COMMAND("compose", "ITEM ENTRY        the Compose command (ENTRY: a Separation List entry)", true, RunCompose);
QM_CLI_COMMAND("print", "ITEM                the Print command on an Image List item", true, RunPrint);
QM_CLI_COMMAND("prn-info", "FILE             the PRN header, a layout check and dot counts, as JSON", false,
               RunPrnInfo);
QM_CLI_COMMAND("prn-preview", "FILE OUT.png [--ink POSITION]\n                           a picture of the dots, each ink in its colour",
               false, RunPrnPreview);

}  // namespace qm::cli
