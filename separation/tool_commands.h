// Command lines of the external tools: our `magick` (ICC conversion, channel
// extraction, spot extraction) and Ghostscript's tiffsep separation.
//
// A command is an argument vector built by a pure function of the settings
// and the AppDir; it is executed as it stands (no shell, no quote characters
// inside an argument). Its command line text, with every path quoted and an
// option's quoted value opening right after its '=', is derived from the same
// vector, for the log and for tests.
//
// The runner starts the program directly, contained (platform/process.h):
// its own process group, the job's private temporary folder, the job's time
// limit; Ghostscript also runs with -dSAFER stated (its file operators reach
// only its input, its outputs and that temporary folder). The documented
// command line and the way it was contained go to the job's log; a tool that
// could not start or exited with a status other than 0 gives a failure whose
// cause names the tool, its status and the first line of its output. Callers
// still judge a tool by the files it left, and give that cause with their
// own failure.
#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/job_host.h"
#include "platform/process.h"
#include "platform/status.h"
#include "settings/active_setting.h"

namespace qm {

struct ToolArgument {
  enum class Quote {
    None,        // inserted as it is
    Whole,       // "value"
    AfterEquals  // -sName="value"
  };
  std::string text;
  Quote quote = Quote::None;
};

struct ToolCommand {
  std::vector<ToolArgument> arguments;  // arguments[0] is the program

  std::vector<std::string> Argv() const;
  std::string CommandLine() const;
};

// The folders the commands name, all below `appDir`.
struct ToolPaths {
  explicit ToolPaths(const std::filesystem::path& appDir);
  std::filesystem::path appDir;
  std::filesystem::path working;  // RipIn/Working/
  std::filesystem::path preset;   // Configuration/<presetName>/ (set by the builders)
  std::filesystem::path Magick() const;       // AppDir/magick
  std::filesystem::path Ghostscript() const;  // AppDir/bin/gs
  std::filesystem::path Working(const std::string& name) const;
};

// ICC conversion of W/00.tif in place (when UseICC is "1").
ToolCommand IccConversionCommand(const ActiveSetting& setting, const std::filesystem::path& appDir);

// Channel extraction of W/00.tif into W/00_%d.tif for 0 to 6 extra channels;
// none for any other count.
std::optional<ToolCommand> ChannelExtractionCommand(const std::filesystem::path& appDir, int extraChannels,
                                                    bool negate);

// Spot extraction of W/00.tif into W/00_S%d.tif for 1 to 6 extra channels;
// none for any other count.
std::optional<ToolCommand> SpotExtractionCommand(const std::filesystem::path& appDir, int extraChannels);

// The "-channel-fx" lists: "0;1;2;3;Meta0;..." and "Meta0;Meta1;...".
std::string ChannelList(int extraChannels);
std::string SpotList(int extraChannels);

// Ghostscript tiffsep separation of W/00.pdf into W/00_.tif and its planes.
// `resolution` is the "-r" value without the "-r", e.g. "720x360";
// `pdfRgbOptimized` is the "Optimized for PDF" box.
ToolCommand GhostscriptCommand(const ActiveSetting& setting, const std::filesystem::path& appDir,
                               const std::string& resolution, bool pdfRgbOptimized);

// The "-r" value of the Separate job: the preset's resolutions as typed.
std::string PresetResolution(const ActiveSetting& setting);
// The "-r" value of the Print job: dfVectorX "x" dfVectorY, each falling back
// to the preset's text when empty.
std::string VectorResolution(const ActiveSetting& setting, const std::string& vectorX,
                             const std::string& vectorY);

// How a job runs a tool: its time limit (0: none), its private temporary
// folder (empty: the inherited one) and the stage a time-limit cause names.
struct ToolRun {
  int timeLimitSeconds = 0;
  std::filesystem::path temporaryFolder;
  std::string stage;
  const std::atomic<bool>* stop = nullptr;  // set: the job was canceled, the tool ends at once
};

// The tool run of a job's stage: the limit given, the job's private
// temporary folder (platform/temporaries.h).
ToolRun JobToolRun(int timeLimitSeconds, std::string stage, const std::atomic<bool>* stop = nullptr);

// The run's limits for RunProcess.
ProcessLimits LimitsOf(const ToolRun& run);

// The argument vector as executed: Ghostscript gets -dSAFER right after the
// program; every other tool runs as documented.
std::vector<std::string> ContainedArgv(const ToolCommand& command);
// "contained: -dSAFER, temporary folder .../.qmtmp, time limit 900 s", for the log.
std::string ContainmentNote(const ToolCommand& command, const ToolRun& run);

// "gs ran past the time limit of 900 s (the separation of the PDF)".
std::string TimeLimitCause(const std::string& tool, int seconds, const std::string& stage);
// "gs was stopped: the job was canceled (the size probe of the PDF)".
std::string StoppedCause(const std::string& tool, const std::string& stage);

// Whether a failure is a tool killed for its time limit or because its job
// was canceled: what it left is never used.
bool IsKilledToolFailure(const Status& status);

// Runs a command: logs its command line, how it is contained, and then its
// exit status.
Status RunTool(const ToolCommand& command, JobHost& host, const ToolRun& run = {});

}  // namespace qm
