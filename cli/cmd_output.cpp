// compose, print, prn-info and prn-preview.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "jobs/commands.h"
#include "output/ink_figures.h"
#include "output/prn_preview.h"
#include "output/prn_reader.h"
#include "platform/platform.h"
#include "settings/initiation.h"
#include "settings/apply.h"
#include "settings/preset.h"

namespace qm::cli {

namespace {

int RunCompose(Env& env, const std::vector<std::string>& args) {
  if (args.size() != 2) return UsageError("compose takes ITEM and ENTRY");
  JobContext ctx = env.Job();
  return env.JobExit(ComposeCommand(ctx, args[0], args[1], LightInkBoxes::Of(env.session.setting)));
}

int RunPrint(Env& env, const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("print takes ITEM");
  JobContext ctx = env.Job();
  return env.JobExit(PrintCommand(ctx, args[0]));
}

// The preset file in force without a start-up: --preset, else the
// initiation file's default (with --set dfPreset=...); empty when neither
// names one.
std::string PresetNameInForce(const Env& env) {
  if (env.options.preset) return *env.options.preset;
  InitiationSettings init;
  ReadInitiation(InitiationPath(AppDir()), init);
  for (const auto& [key, value] : env.options.sets) SetInitiationValue(init, key, value);
  return init.dfPreset;
}

// Its values with the --set preset keys; nullopt when no readable preset is
// named.
std::optional<PresetValues> PresetInForce(const Env& env) {
  const std::string name = PresetNameInForce(env);
  if (name.empty()) return std::nullopt;
  auto values = ReadPreset(ResolveCaseInsensitive(ConfigurationDir(), name));
  if (values) {
    for (const auto& [key, value] : env.options.presetSets) SetPresetValue(*values, key, value);
  }
  return values;
}

// Drop volumes and ink prices of the preset in force (defaults without one).
InkSettings InksInForce(const Env& env) {
  const std::string name = PresetNameInForce(env);
  return name.empty() ? InkSettings{} : InkSettingsOfPreset(ResolveCaseInsensitive(ConfigurationDir(), name));
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

// A PRN file with the slot and ink of each of its positions.
struct OpenedPrn {
  std::optional<PrnReader> reader;
  std::vector<int> slots;
  std::vector<std::string> inks;
};

OpenedPrn OpenPrn(const Env& env, const std::string& path, std::string& error) {
  OpenedPrn opened;
  auto reader = PrnReader::Open(path);
  if (!reader) {
    error = reader.cause();
  } else {
    opened.reader = std::move(*reader);
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
  if (prn.reader->header().signature != kPrnSignature) {
    char found[16];
    std::snprintf(found, sizeof found, "0x%08X", static_cast<unsigned>(prn.reader->header().signature));
    return Failure(args[0] + " is not a PRN file: its signature is " + found + ", not 0x00005555");
  }
  const InkSettings inkSettings = InksInForce(env);
  const auto json = PrnInfo(args[0], prn.slots, prn.inks, &inkSettings);
  if (!json) return Failure(json.cause());
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
  std::string inkCode;  // --ink by ink code
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--background") {
      if (i + 1 >= args.size()) return UsageError("--background needs a colour (#RRGGBB)");
      options.background = ParsePreviewColour(args[++i]);
      if (!options.background) return UsageError("--background takes a colour #RRGGBB, got '" + args[i] + "'");
    } else if (args[i] == "--ink") {
      if (i + 1 >= args.size()) return UsageError("--ink needs a position or an ink code");
      const std::string& text = args[++i];
      if (!text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos) {
        options.onlyPosition = static_cast<uint32_t>(std::stoul(text));
      } else if (ChannelIndexOfCode(text) >= 0) {
        inkCode = text;
      } else {
        return UsageError("--ink takes a position number or an ink code (L0, S1, ...), got '" + text + "'");
      }
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) return UsageError("prn-preview takes FILE and OUT.png");
  std::string error;
  const OpenedPrn prn = OpenPrn(env, files[0], error);
  if (!prn.reader) return Failure(error);
  if (!inkCode.empty()) {
    const auto at = std::find(prn.inks.begin(), prn.inks.end(), inkCode);
    if (at == prn.inks.end()) {
      std::string inks;
      for (const std::string& ink : prn.inks) inks += " " + ink;
      return Failure("no position of " + files[0] + " prints the ink " + inkCode + " (its inks:" + inks + ")");
    }
    options.onlyPosition = static_cast<uint32_t>(at - prn.inks.begin());
  }
  options.whiteInk = env.session.setting.underbase.InkCode();
  if (const Status written = WritePrnPreview(files[0], files[1], prn.inks, options); !written) {
    return Failure(written.cause());
  }
  return kExitOk;
}

}  // namespace

QM_CLI_COMMAND("compose", "ITEM ENTRY", "compose a separation into a PRN file",
               "The Compose command on ENTRY, a Separation List entry of ITEM: its planes (ripped first\n"
               "when they are not halftoned) packed into RipIn/UserPrn/<name>.<Suffix>.\n"
               "Prints: nothing on standard output; messages, warnings and progress on standard error.\n"
               "Another job on the AppDir refuses it (\"Another job is using the working folder!\");\n"
               "--wait SECONDS, before the command, waits that long for it to end first.\n"
               "Exit status: 0 composed, 1 a failure message was shown, 2 bad usage.",
               true, RunCompose);
QM_CLI_COMMAND("print", "ITEM", "print every file of an imported item to PRN files",
               "The Print command: every file of ITEM, in listing order, separated, halftoned and packed\n"
               "into RipIn/UserPrn/<file name>.<Suffix>; it stops at the first file that fails.\n"
               "Prints: nothing on standard output; messages, warnings and progress on standard error\n"
               "(--progress json: one object per line with \"progress\", \"bar\", \"stage\", \"status\").\n"
               "Another job on the AppDir refuses it (\"Another job is using the working folder!\");\n"
               "--wait SECONDS, before the command, waits that long for it to end first.\n"
               "Exit status: 0 every file printed, 1 a failure message was shown, 2 bad usage.",
               true, RunPrint);
QM_CLI_COMMAND("prn-info", "FILE", "the PRN header, a layout check, dot counts and ink figures, as JSON",
               "Reads a PRN file: its header, whether its size fits the header, and per position its slot,\n"
               "ink, dot counts, coverage (0..1 of the page's pixels with a dot) and inkMl (millilitres\n"
               "from the drop volumes of the preset's inks.txt), with \"cost\" where an ink has a price;\n"
               "the total inkMl (and cost) at the top. Inks follow the preset in force (--preset, else\n"
               "dfPreset). A file that is not a PRN file prints no JSON and its reason.\n"
               "Exit status: 0 a sound file, 1 unreadable, not a PRN file or a layout that does not fit,\n"
               "2 bad usage.",
               false, RunPrnInfo);
QM_CLI_COMMAND("prn-preview", "FILE OUT.png [--ink POSITION|INK] [--background COLOUR]",
               "a picture of the dots, each ink in its colour",
               "Draws the dots of a PRN file into a PNG of at most 2000 pixels on its long side, each ink\n"
               "in an approximate colour; --ink draws one position alone, by its number (0, 1, ...) or by\n"
               "the ink code it prints (L0, S1, ...; inks follow the preset in force). --background\n"
               "#RRGGBB draws on a garment of that colour, the underbase ink (UnderbaseInk) as white.\n"
               "Prints: nothing on standard output.\n"
               "Exit status: 0 written, 1 unreadable file, no such ink or position, or a failed write,\n"
               "2 bad usage.",
               false, RunPrnPreview);

}  // namespace qm::cli
