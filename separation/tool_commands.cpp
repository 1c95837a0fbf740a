#include "separation/tool_commands.h"

#include "platform/platform.h"
#include "platform/process.h"
#include "platform/temporaries.h"

namespace qm {

namespace {

using Quote = ToolArgument::Quote;

ToolArgument Plain(std::string text) { return {std::move(text), Quote::None}; }
ToolArgument Path(const std::filesystem::path& path) { return {path.string(), Quote::Whole}; }
ToolArgument Option(const std::string& option, const std::string& value) {
  return {option + value, Quote::AfterEquals};
}

// A profile of the preset's own folder: RGB/, CMYK/, Gray/ or Output/.
std::filesystem::path PresetProfile(const ToolPaths& paths, const char* folder, const std::string& name) {
  return ResolveCaseInsensitive(paths.preset / folder, name);
}

ToolPaths PathsFor(const std::filesystem::path& appDir, const ActiveSetting* setting) {
  ToolPaths paths(appDir);
  if (setting) paths.preset = paths.appDir / "Configuration" / setting->presetName / "";
  return paths;
}

std::string MetaList(int count) {
  std::string list;
  for (int i = 0; i < count; ++i) {
    if (i) list += ';';
    list += "Meta" + std::to_string(i);
  }
  return list;
}

}  // namespace

std::vector<std::string> ToolCommand::Argv() const {
  std::vector<std::string> argv;
  argv.reserve(arguments.size());
  for (const ToolArgument& a : arguments) argv.push_back(a.text);
  return argv;
}

std::string ToolCommand::CommandLine() const {
  std::string line;
  for (const ToolArgument& a : arguments) {
    if (!line.empty()) line += ' ';
    switch (a.quote) {
      case Quote::None:
        line += a.text;
        break;
      case Quote::Whole:
        line += '"' + a.text + '"';
        break;
      case Quote::AfterEquals: {
        const std::size_t eq = a.text.find('=');
        line += a.text.substr(0, eq + 1) + '"' + a.text.substr(eq + 1) + '"';
        break;
      }
    }
  }
  return line;
}

ToolPaths::ToolPaths(const std::filesystem::path& dir)
    : appDir(dir), working(dir / "RipIn" / "Working" / "") {}

std::filesystem::path ToolPaths::Magick() const { return appDir / "magick"; }
std::filesystem::path ToolPaths::Ghostscript() const { return appDir / "bin" / "gs"; }
std::filesystem::path ToolPaths::Working(const std::string& name) const { return working / name; }

ToolCommand IccConversionCommand(const ActiveSetting& setting, const std::filesystem::path& appDir) {
  const ToolPaths paths = PathsFor(appDir, &setting);
  ToolCommand c;
  c.arguments.push_back(Path(paths.Magick()));
  c.arguments.push_back(Path(paths.Working("00.tif")));
  if (setting.OverridesEmbeddedIcc()) {
    // Drop the embedded profile first, so the preset's CMYK profile is the source.
    c.arguments.push_back(Plain("+profile"));
    c.arguments.push_back(Plain("icm"));
  }
  c.arguments.push_back(Plain("-profile"));
  c.arguments.push_back(Path(PresetProfile(paths, "CMYK", setting.defaultCMYKProfile)));
  c.arguments.push_back(Plain("-intent"));
  c.arguments.push_back(Plain(setting.intentName));
  if (setting.CompensatesBlackPoint()) c.arguments.push_back(Plain("-black-point-compensation"));
  c.arguments.push_back(Plain("-profile"));
  c.arguments.push_back(Path(PresetProfile(paths, "Output", setting.defaultOutputProfile)));
  c.arguments.push_back(Path(paths.Working("00.tif")));
  return c;
}

std::string ChannelList(int extraChannels) {
  std::string list = "0;1;2;3";
  if (extraChannels > 0) list += ';' + MetaList(extraChannels);
  return list;
}

std::string SpotList(int extraChannels) { return MetaList(extraChannels); }

std::optional<ToolCommand> ChannelExtractionCommand(const std::filesystem::path& appDir, int extraChannels,
                                                    bool negate) {
  if (extraChannels < 0 || extraChannels > 6) return std::nullopt;
  const ToolPaths paths = PathsFor(appDir, nullptr);
  ToolCommand c;
  c.arguments.push_back(Path(paths.Magick()));
  c.arguments.push_back(Path(paths.Working("00.tif")));
  if (negate) c.arguments.push_back(Plain("-negate"));
  c.arguments.push_back(Plain("-channel-fx"));
  c.arguments.push_back({ChannelList(extraChannels), Quote::Whole});
  c.arguments.push_back(Path(paths.Working("00_%d.tif")));
  return c;
}

std::optional<ToolCommand> SpotExtractionCommand(const std::filesystem::path& appDir, int extraChannels) {
  if (extraChannels < 1 || extraChannels > 6) return std::nullopt;
  const ToolPaths paths = PathsFor(appDir, nullptr);
  ToolCommand c;
  c.arguments.push_back(Path(paths.Magick()));
  c.arguments.push_back(Path(paths.Working("00.tif")));
  c.arguments.push_back(Plain("-channel-fx"));
  c.arguments.push_back({SpotList(extraChannels), Quote::Whole});
  c.arguments.push_back(Path(paths.Working("00_S%d.tif")));
  return c;
}

ToolCommand GhostscriptCommand(const ActiveSetting& setting, const std::filesystem::path& appDir,
                               const std::string& resolution, bool pdfRgbOptimized) {
  const ToolPaths paths = PathsFor(appDir, &setting);
  ToolCommand c;
  c.arguments.push_back(Path(paths.Ghostscript()));
  c.arguments.push_back(Plain("-r" + resolution));
  if (setting.UsesIcc()) {
    const std::filesystem::path rgb = pdfRgbOptimized
                                          ? paths.appDir / "ICC" / "CMYK" / "USSheetfedYellow.icc"
                                          : PresetProfile(paths, "RGB", setting.defaultRGBProfile);
    c.arguments.push_back(Option("-sDefaultRGBProfile=", rgb.string()));
    c.arguments.push_back(
        Option("-sDefaultCMYKProfile=", PresetProfile(paths, "CMYK", setting.defaultCMYKProfile).string()));
    c.arguments.push_back(
        Option("-sDefaultGrayProfile=", PresetProfile(paths, "Gray", setting.defaultGrayProfile).string()));
    c.arguments.push_back(Option("-sICCOutputColors=", setting.ICCOutputColors));
    c.arguments.push_back(
        Option("-sOutputICCProfile=", PresetProfile(paths, "Output", setting.defaultOutputProfile).string()));
    c.arguments.push_back(Plain("-dRenderIntent=" + setting.gsRenderIntent));
    c.arguments.push_back(Plain("-dOverrideICC=" + setting.OverrideICC));
    c.arguments.push_back(Plain("-dBlackPtComp=" + setting.BlackPtComp));
    c.arguments.push_back(Plain("-dKPreserve=" + setting.KPreserve));
  }
  c.arguments.push_back(Plain("-q"));
  c.arguments.push_back(Plain("-sDEVICE=tiffsep"));
  c.arguments.push_back(Plain("-o"));
  c.arguments.push_back(Path(paths.Working("00_.tif")));
  c.arguments.push_back(Path(paths.Working("00.pdf")));
  return c;
}

std::string PresetResolution(const ActiveSetting& setting) {
  return setting.xResolution + "x" + setting.yResolution;
}

std::string VectorResolution(const ActiveSetting& setting, const std::string& vectorX,
                             const std::string& vectorY) {
  return (vectorX.empty() ? setting.xResolution : vectorX) + "x" +
         (vectorY.empty() ? setting.yResolution : vectorY);
}

namespace {
bool IsGhostscript(const ToolCommand& command) {
  return !command.arguments.empty() && std::filesystem::path(command.arguments[0].text).filename() == "gs";
}
}  // namespace

ToolRun JobToolRun(int timeLimitSeconds, std::string stage, const std::atomic<bool>* stop) {
  return ToolRun{timeLimitSeconds, JobTemporaryFolder(), std::move(stage), stop};
}

ProcessLimits LimitsOf(const ToolRun& run) { return ProcessLimits{run.timeLimitSeconds, run.temporaryFolder, run.stop}; }

std::string StoppedCause(const std::string& tool, const std::string& stage) {
  return tool + " was stopped: the job was canceled" + (stage.empty() ? std::string() : " (" + stage + ")");
}

std::vector<std::string> ContainedArgv(const ToolCommand& command) {
  std::vector<std::string> argv = command.Argv();
  if (IsGhostscript(command)) argv.insert(argv.begin() + 1, "-dSAFER");
  return argv;
}

std::string ContainmentNote(const ToolCommand& command, const ToolRun& run) {
  std::string note = "contained: ";
  if (IsGhostscript(command)) note += "-dSAFER, ";
  note += "temporary folder " + (run.temporaryFolder.empty() ? std::string("inherited") : run.temporaryFolder.string());
  note += run.timeLimitSeconds > 0 ? ", time limit " + std::to_string(run.timeLimitSeconds) + " s" : ", no time limit";
  return note;
}

std::string TimeLimitCause(const std::string& tool, int seconds, const std::string& stage) {
  return tool + " ran past the time limit of " + std::to_string(seconds) + " s" +
         (stage.empty() ? std::string() : " (" + stage + ")");
}

bool IsKilledToolFailure(const Status& status) {
  return !status && (status.cause().find(" ran past the time limit of ") != std::string::npos ||
                     status.cause().find(" was stopped: the job was canceled") != std::string::npos);
}

Status RunTool(const ToolCommand& command, JobHost& host, const ToolRun& run) {
  host.Log(command.CommandLine());
  host.Log(ContainmentNote(command, run));
  const std::vector<std::string> argv = ContainedArgv(command);
  const ProcessResult result = RunProcess(argv, nullptr, LimitsOf(run));
  const std::string tool = argv.empty() ? std::string() : std::filesystem::path(argv[0]).filename().string();
  if (!result.started) {
    host.Log("not started: " + result.output);
    const std::size_t colon = result.output.find(": ");
    return Status::Fail("cannot start " + (argv.empty() ? tool : argv[0]) +
                        (colon == std::string::npos ? std::string() : result.output.substr(colon)));
  }
  if (result.stopped) {
    const std::string cause = StoppedCause(tool, run.stage);
    host.Log(cause + "; killed with its process group");
    return Status::Fail(cause);
  }
  if (result.timedOut) {
    const std::string cause = TimeLimitCause(tool, run.timeLimitSeconds, run.stage);
    host.Log(cause + "; killed with its process group");
    return Status::Fail(cause);
  }
  host.Log("exit status " + std::to_string(result.exitStatus));
  if (result.exitStatus == 0) return Status::Ok();
  if (!result.output.empty()) host.Log(result.output);
  const std::string first = result.FirstLine();
  return Status::Fail(tool + " exited with status " + std::to_string(result.exitStatus) +
                      (first.empty() ? std::string() : ": " + first));
}

}  // namespace qm
