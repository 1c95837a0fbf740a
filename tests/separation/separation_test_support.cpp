#include "tests/separation/separation_test_support.h"

#include <sstream>

#include "platform/platform.h"

namespace qm::test {

void WriteTestPreset(const fs::path& appDir, const std::map<std::string, std::string>& values,
                     const std::string& name) {
  std::map<std::string, std::string> all = {{"xResolution", "72"}, {"yResolution", "72"}};
  for (const auto& [k, v] : values) all[k] = v;
  std::istringstream in(ReadFileBytes(appDir / "Configuration" / "Default.cfg"));
  std::string out, line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) {
      const auto found = all.find(line.substr(0, eq));
      if (found != all.end()) {
        line = found->first + "=" + found->second;
        all.erase(found);
      }
    }
    out += line + "\r\n";
  }
  for (const auto& [k, v] : all) out += k + "=" + v + "\r\n";
  WriteFileBytes(appDir / "Configuration" / (name + ".cfg"), out);
  fs::copy(appDir / "Configuration" / "Default", appDir / "Configuration" / name,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

ProcessResult RunCli(const fs::path& appDir, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {(BuiltAppDir() / "quillmark-cli").string(), "--app-dir", appDir.string(),
                                   "--progress", "none"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv);
}

ProcessResult RunSeparate(const fs::path& appDir, const std::string& item, const std::vector<std::string>& sets) {
  std::vector<std::string> args = {"--preset", "Test.cfg", "--verbose"};
  for (const std::string& s : sets) {
    args.push_back("--set");
    args.push_back(s);
  }
  args.push_back("separate");
  args.push_back(item);
  return RunCli(appDir, args);
}

std::vector<std::string> Filed(const fs::path& appDir, const std::string& item) {
  return ListFolder(appDir / "RipIn" / "Separation" / item, "*", EntryKind::Files);
}

void ImportSample(const fs::path& appDir, const std::string& sample, const std::string& as) {
  const std::string name = as.empty() ? sample : as;
  const fs::path folder = appDir / "RipIn" / "CustomFiles" / StemOf(name);
  fs::create_directories(folder);
  fs::copy_file(SamplesDir() / sample, folder / name, fs::copy_options::overwrite_existing);
}

}  // namespace qm::test
