#include "tests/output_jobs/scenario_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <sstream>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace qm::test {

namespace {

using Files = std::map<std::string, std::string>;  // relative path -> bytes

constexpr const char* kOldPrn = "an older print of the same name";
constexpr const char* kMarker = "qm-scenario-marker";  // what a shell would make of a hostile name

// Little-endian fields of `bytes` bytes.
void Put(std::string& s, uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) s.push_back(static_cast<char>(v >> 8 * k & 0xFF));
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; !from.empty() && (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::string HostileName() {
  return std::string("it's \"a\"; $(touch ") + kMarker + ") `touch " + kMarker + "` \xC3\xBC\xFF & b";
}

// "a{b,c}d e" -> abd, acd, e (one group per word); then ~ is a space and $H
// the hostile name.
std::vector<std::string> Expand(const std::string& pattern) {
  std::vector<std::string> out;
  for (std::string w : Words(pattern)) {
    std::replace(w.begin(), w.end(), '~', ' ');
    w = Replace(w, "$H", HostileName());
    const std::size_t open = w.find('{'), close = w.find('}');
    if (open == std::string::npos) {
      out.push_back(w);
      continue;
    }
    for (const std::string& part : SplitFields(w.substr(open + 1, close - open - 1), ',')) {
      out.push_back(w.substr(0, open) + part + w.substr(close + 1));
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

Files Snapshot(const fs::path& folder) {
  Files files;
  for (const std::string& rel : FilesBelow(folder)) files[rel] = ReadFileBytes(folder / rel);
  return files;
}

void ReplaceGhostscript(const ScratchAppDir& app, const std::string& script) {
  fs::remove(app / "bin/gs");
  WriteFileBytes(app / "bin/gs", "#!/bin/sh\n" + script + "\n");
  fs::permissions(app / "bin/gs", fs::perms::owner_all);
}

// Faults and odd set-ups a scenario may ask for, before its steps run.
void SetUpFault(const std::string& fault, const ScratchAppDir& app, const std::string& item, const fs::path& art) {
  const fs::path preset = app / "Configuration/Default";
  if (fault.empty()) return;
  if (fault == "gs-missing") {
    fs::remove(app / "bin/gs");
  } else if (fault == "gs-fails") {
    ReplaceGhostscript(app, "echo 'Error: /undefined in --run--' >&2; exit 1");
  } else if (fault == "profile-junk") {
    for (const char* folder : {"CMYK", "Output"}) {
      WriteFileBytes(preset / folder / "default_cmyk.icc", "this is not an ICC profile, only text\n");
    }
  } else if (fault == "separation-is-file") {
    WriteFileBytes(app / "RipIn/Separation" / item, "a file, not a folder");
  } else if (fault == "six-ink-profile") {
    fs::copy_file(SamplesDir() / "cmykog_6clr.icc", preset / "Output/cmykog_6clr.icc");
  } else if (fault == "hostile-profile") {
    for (const char* folder : {"CMYK", "Output"}) {
      fs::copy_file(preset / folder / "default_cmyk.icc", preset / folder / (HostileName() + ".icc"));
    }
  } else if (fault == "broken-then-good") {
    // Files are taken in name order: the artwork, a broken file, a good one.
    WriteFileBytes(art.parent_path() / (item + "2.jpg"), "not a picture");
    fs::copy_file(art, art.parent_path() / (item + "3" + art.extension().string()));
  } else if (fault == "foreign-planes") {
    // Planes of another base that begins with this one, and one of no channel.
    const fs::path sep = app / "RipIn/Separation" / item;
    WriteFileBytes(sep / (item + "_x_0.tiff"), ReadFileBytes(art));
    WriteFileBytes(sep / (item + "_(Gold).tiff"), "a plane of no channel");
  } else {
    FAIL() << "unknown fault " << fault;
  }
}

struct Played {
  CliResult last;
  std::string messages;  // the last step's standard error without log lines
  Files outputs;         // below RipIn
  std::vector<std::string> prnInfo;  // prn-info output per new PRN file
  std::vector<std::string> prnNames;
  std::string item, art;  // the item, the artwork below RipIn
};

Played Play(const Scenario& s, const std::vector<std::string>& sets, const std::vector<std::string>& steps,
            const std::string& label) {
  Played p;
  ScratchAppDir app;
  TempDir scratch;
  UseFastPreset(app);
  fs::remove(fs::current_path() / kMarker);
  const std::string file = Replace(s.file, "$H", HostileName());
  const bool fromScratch = std::any_of(steps.begin(), steps.end(),
                                       [](const std::string& st) { return st.find("$F") != std::string::npos; });
  const std::string art = s.bytes ? s.bytes(scratch.path()) : std::string();
  std::string item = StemOf(file);
  fs::path artPath = scratch / file;
  if (!fromScratch && !file.empty()) {
    const bool plane = file.rfind("Separation/", 0) == 0;
    item = plane ? fs::path(file).parent_path().filename().string() : StemOf(file);
    artPath = app / "RipIn" / (plane ? file : "CustomFiles/" + item + "/" + file);
    CreateFolder(app / "RipIn/CustomFiles" / item);
    WriteFileBytes(app / "RipIn/UserPrn" / (item + ".prn"), kOldPrn);
  }
  if (!file.empty()) WriteFileBytes(artPath, art);
  SetUpFault(s.fault, app, item, artPath);
  // Everything outside RipIn: the Configuration, the programs.
  const auto outside = [&] {
    std::vector<std::string> names = FilesBelow(app.path());
    names.erase(std::remove_if(names.begin(), names.end(), [](auto& n) { return n.rfind("RipIn/", 0) == 0; }),
                names.end());
    return std::make_pair(names, Snapshot(app / "Configuration"));
  };
  const auto outsideBefore = outside();

  for (std::size_t k = 0; k < steps.size(); ++k) {
    std::vector<std::string> args = {"--verbose"};
    for (const std::string& set : sets) args.insert(args.end(), {"--set", Replace(set, "$H", HostileName())});
    std::vector<std::string> words = Words(steps[k]);
    if (steps[k].find('$') == std::string::npos && !file.empty()) words.push_back("$I");
    for (std::string& w : words) {
      w = Replace(Replace(Replace(w, "$I", item), "$F", artPath.string()), "$S", scratch.path().string());
      args.push_back(w);
    }
    p.last = RunCli(app.path(), args);
    SCOPED_TRACE(label + ": " + steps[k]);
    EXPECT_FALSE(p.last.timedOut);
    EXPECT_EQ(p.last.signal, 0) << p.last.err;
    if (k + 1 < steps.size()) {
      EXPECT_EQ(p.last.exitStatus, 0) << p.last.err;
    }
    if (steps[k].rfind("import", 0) == 0) item = StemOf(file);
  }
  std::istringstream err(p.last.err);
  for (std::string line; std::getline(err, line);) {
    if (line.rfind("log: ", 0) != 0) p.messages += line + "\n";
  }
  p.messages = Replace(Replace(Replace(p.messages, app.path().string(), "$A"), scratch.path().string(), "$S"),
                       HostileName(), "$H");

  SCOPED_TRACE(label);
  const bool multiFile = s.fault == "broken-then-good";
  EXPECT_TRUE(outside() == outsideBefore) << "written outside RipIn, or the Configuration changed";
  EXPECT_FALSE(fs::exists(fs::current_path() / kMarker)) << "a shell ran a command of a name";
  p.outputs = Snapshot(app / "RipIn");
  p.item = item;
  p.art = fromScratch ? "" : fs::relative(artPath, app / "RipIn").string();
  for (const auto& [rel, bytes] : p.outputs) {
    if (!WildcardMatch("*.pr?", FileNameOf(rel)) || bytes == kOldPrn) continue;
    EXPECT_TRUE(p.last.exitStatus == 0 || multiFile) << rel << " made by a failed job";
    std::vector<std::string> args;
    for (const std::string& set : sets) args.insert(args.end(), {"--set", set});
    args.insert(args.end(), {"prn-info", (app / "RipIn" / rel).string()});
    const CliResult info = RunCli(app.path(), args);
    EXPECT_EQ(info.exitStatus, 0) << info.err;
    EXPECT_NE(info.out.find("\"sizeOk\": true"), std::string::npos) << rel << ": " << info.out;
    p.prnNames.push_back(rel);
    p.prnInfo.push_back(info.out);
  }
  const bool plane = file.rfind("Separation/", 0) == 0;
  const std::string& last = steps.back();
  if (!fromScratch && !file.empty()) {
    // A new print where the job made one (the first of several files too),
    // else the older one left as it was.
    const bool printed = (p.last.exitStatus == 0 || multiFile) &&
                         (last.rfind("print", 0) == 0 || last.rfind("compose", 0) == 0);
    EXPECT_EQ(p.outputs["UserPrn/" + item + ".prn"] != kOldPrn, printed) << "UserPrn/" << item << ".prn";
  }
  if (!fromScratch && !file.empty() && !plane) {
    // "Preserved" off lets a job that succeeds take the artwork away.
    const bool taken = p.last.exitStatus == 0 && std::count(sets.begin(), sets.end(), "dfPreserveCF=0") &&
                       (last == "print" || last == "separate");
    EXPECT_NE(fs::exists(artPath), taken) << "the artwork " << (taken ? "stayed" : "left");
  }
  if (p.last.exitStatus != 0 && !fromScratch && !file.empty()) {
    EXPECT_TRUE(ReadFileBytes(artPath) == art) << "a failed job changed the artwork";
  }

  if (const char* digests = std::getenv("QM_SCENARIO_DIGESTS")) {
    static const bool imagingReady = (imaging::InitializeImaging(), true);
    (void)imagingReady;
    WriteFileBytes(scratch / "digest/messages", p.messages);
    for (std::size_t i = 0; i < p.prnInfo.size(); ++i) {
      WriteFileBytes(scratch / "digest" / (p.prnNames[i] + ".info"), p.prnInfo[i]);
    }
    // Plane files by their pixels: a TIFF carries the time it was written.
    std::vector<std::string> argv = {"/usr/bin/sha256sum", "--"};
    for (const auto& [rel, bytes] : p.outputs) {
      if (rel.rfind("CustomFiles/", 0) == 0) continue;  // the artwork, made by the test
      const std::string ext = ExtensionLower(rel);
      if (ext == "tif" || ext == "tiff") {
        try {
          const imaging::Plane plane = imaging::ReadPlane(app / "RipIn" / rel);
          const std::string size = std::to_string(plane.width) + "x" + std::to_string(plane.height) + "x" +
                                   std::to_string(plane.depth) + "\n";
          WriteFileBytes(scratch / "digest" / (rel + ".pixels"),
                         size + std::string(reinterpret_cast<const char*>(plane.pixels.data()),
                                            plane.pixels.size() * sizeof(float)));
          continue;
        } catch (const std::exception&) {  // no plane: its bytes
        }
      }
      argv.push_back((app / "RipIn" / rel).string());
    }
    for (const std::string& rel : FilesBelow(scratch / "digest")) argv.push_back((scratch / "digest" / rel).string());
    std::istringstream in(Replace(Replace(RunProcess(argv).output, (app / "RipIn/").string(), ""),
                                  (scratch / "digest/").string(), ""));
    std::string lines;
    for (std::string sum, path; in >> sum && std::getline(in >> std::ws, path);) {
      lines += label + " " + path + " " + sum + "\n";
    }
    const int fd = ::open(digests, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      EXPECT_EQ(::write(fd, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
      ::close(fd);
    }
  }
  return p;
}

// "+0 -1 ..." of a prn-info output: each position's ink (its slot when the
// sequence names none), '+' with dots.
std::string InkedPositions(const std::string& info) {
  static const std::regex position("\"slot\": \"([^\"]*)\", \"ink\": \"([^\"]*)\", \"dots\": \\[([0-9, ]*)\\]");
  std::string out;
  for (std::sregex_iterator it(info.begin(), info.end(), position), end; it != end; ++it) {
    const std::vector<std::string> counts = SplitFields((*it)[3].str(), ',');
    const bool dots = std::any_of(counts.begin() + 1, counts.end(), [](const std::string& c) {
      return c.find_first_not_of(" 0") != std::string::npos;
    });
    out += std::string(out.empty() ? "" : " ") + (dots ? "+" : "-") + (*it)[(*it)[2].length() ? 2 : 1].str();
  }
  return out;
}

std::string SizeOf(const std::string& info) {
  static const std::regex size("\"height\": ([0-9]+), \"width\": ([0-9]+)");
  std::smatch m;
  return std::regex_search(info, m, size) ? m[2].str() + "x" + m[1].str() : "";
}

// Line by line; a first expected line "..." lets a tool's own output come first.
bool LinesMatch(const std::string& actual, std::vector<std::string> expected) {
  std::vector<std::string> lines;
  std::istringstream in(actual);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (!expected.empty() && expected[0] == "...") {
    expected.erase(expected.begin());
    if (lines.size() < expected.size()) return false;
    lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(expected.size()));
  }
  if (lines.size() != expected.size()) return false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& e = expected[i];
    const bool prefix = !e.empty() && e.back() == '*';
    if (prefix ? lines[i].rfind(e.substr(0, e.size() - 1), 0) != 0 || lines[i].size() < e.size() : lines[i] != e) {
      return false;
    }
  }
  return true;
}

// A little-endian 32-bit field of a PRN header.
uint32_t PrnField(const std::string& prn, std::size_t at) {
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<uint8_t>(prn[at + static_cast<std::size_t>(k)]);
  return v;
}

// The PRN file with every channel row's pixels in reverse order, the row's
// padding kept: read from the header's own fields (R at 12, height at 16,
// width at 20, channels at 28, bits at 32), codes most significant bit first.
std::string MirroredPrn(const std::string& prn) {
  auto field = [&](std::size_t at) { return PrnField(prn, at); };
  if (prn.size() < 48) return prn;
  const uint32_t stride = field(12), height = field(16), width = field(20), channels = field(28);
  const unsigned bits = static_cast<uint8_t>(prn[32]);
  if (bits != 1 && bits != 2) return prn;
  const unsigned mask = (1u << bits) - 1;
  std::string out = prn;
  for (uint64_t r = 0; r < uint64_t{height} * channels; ++r) {
    const std::size_t base = 48 + static_cast<std::size_t>(r * stride);
    if (base + stride > prn.size()) break;
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t from = width - 1 - x;
      const unsigned code = static_cast<uint8_t>(prn[base + from * bits / 8]) >> (8 - bits - from * bits % 8) & mask;
      char& to = out[base + x * bits / 8];
      const unsigned shift = 8 - bits - x * bits % 8;
      to = static_cast<char>((static_cast<uint8_t>(to) & ~(mask << shift)) | code << shift);
    }
  }
  return out;
}

// The PRN file with the rows of `positions` zero (R at 12, height at 16,
// channels at 28).
std::string BlankedPrn(const std::string& prn, const std::vector<uint32_t>& positions) {
  auto field = [&](std::size_t at) { return PrnField(prn, at); };
  if (prn.size() < 48) return prn;
  const uint32_t stride = field(12), height = field(16), channels = field(28);
  std::string out = prn;
  for (uint64_t r = 0; r < height; ++r) {
    for (const uint32_t c : positions) {
      const std::size_t base = 48 + static_cast<std::size_t>((r * channels + c) * stride);
      if (c < channels && base + stride <= out.size()) std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(base), stride, '\0');
    }
  }
  return out;
}

std::string Joined(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += (s.empty() ? "" : " ") + x;
  return s;
}

}  // namespace

void RunScenario(const Scenario& s) {
  const Played p = Play(s, s.sets, s.steps, s.name);
  EXPECT_EQ(p.last.exitStatus, s.exit) << p.last.err;
  EXPECT_TRUE(LinesMatch(p.messages, s.messages)) << "messages:\n" << p.messages;
  std::vector<std::string> files;
  for (const auto& [rel, bytes] : p.outputs) {
    // The work area, the item's PRN file and its artwork are checked apart.
    if (rel.rfind("Working/", 0) != 0 && rel != ".joblock" && rel != "UserPrn/" + p.item + ".prn" && rel != p.art) {
      files.push_back(rel);
    }
  }
  EXPECT_EQ(Joined(files), Joined(Expand(s.files)));
  if (!s.inked.empty() || !s.size.empty()) {
    ASSERT_EQ(p.prnInfo.size(), 1u) << "one new PRN file";
    EXPECT_EQ(s.inked.empty() ? "" : InkedPositions(p.prnInfo[0]), s.inked);
    EXPECT_EQ(s.size.empty() ? "" : SizeOf(p.prnInfo[0]), s.size);
  }
  for (std::size_t v = 0; v < s.same.size(); ++v) {
    std::vector<std::string> sets = s.sets;
    sets.insert(sets.end(), s.same[v].sets.begin(), s.same[v].sets.end());
    const std::string label = s.name + "/" + std::to_string(v + 1);
    const Played q = Play(s, sets, s.same[v].steps.empty() ? s.steps : s.same[v].steps, label);
    EXPECT_EQ(q.last.exitStatus, 0) << label << ": " << q.last.err;
    for (const auto& [rel, bytes] : p.outputs) {
      if (rel.rfind("UserPrn/", 0) == 0 || (rel.rfind("Separation/", 0) == 0 && s.same[v].steps.empty())) {
        const auto other = q.outputs.find(rel);
        ASSERT_NE(other, q.outputs.end()) << label << " wrote no " << rel;
        if (!s.same[v].blank.empty()) {
          if (rel.size() > 4 && rel.compare(rel.size() - 4, 4, ".prn") == 0) {
            EXPECT_NE(BlankedPrn(bytes, s.same[v].blank), bytes) << label << ": " << rel << " has no dots to blank";
            EXPECT_EQ(FirstDifference(BlankedPrn(bytes, s.same[v].blank), other->second), "") << label << ": " << rel;
          }
        } else if (!s.same[v].mirrored) {
          EXPECT_EQ(FirstDifference(bytes, other->second), "") << label << ": " << rel;
        } else if (rel.rfind("UserPrn/", 0) == 0) {
          EXPECT_NE(MirroredPrn(bytes), bytes) << label << ": " << rel << " is symmetric";
          EXPECT_EQ(FirstDifference(MirroredPrn(bytes), other->second), "") << label << ": " << rel;
        }
      }
    }
  }
}

MakeBytes Sample(const std::string& name) {
  return [name](const fs::path&) { return ReadFileBytes(SamplesDir() / name); };
}

MakeBytes Head(const std::string& name, double fraction) { return Patched(Sample(name), 0, "", fraction); }

MakeBytes Patched(const MakeBytes& base, std::size_t at, const std::string& bytes, double keep) {
  return [=](const fs::path& scratch) {
    std::string s = base(scratch);
    s.resize(static_cast<std::size_t>(static_cast<double>(s.size()) * keep));
    return s.replace(at, bytes.size(), bytes);
  };
}

MakeBytes Literal(const std::string& bytes) {
  return [bytes](const fs::path&) { return bytes; };
}

std::string TiffBytes(const TiffShape& t) {
  const uint32_t spp = t.colours + t.extras, dataBytes = t.width * t.height * spp;
  const uint16_t entries = t.extras > 0 ? 11 : 10;
  const uint32_t bitsAt = 8 + 2 + 12u * entries + 4, extraAt = bitsAt + 2 * spp, dataAt = extraAt + 2 * t.extras;
  std::string s("II*\0", 4);
  Put(s, 8, 4);
  Put(s, entries, 2);
  auto tag = [&](uint16_t code, uint16_t type, uint32_t count, uint32_t value) {
    Put(s, code, 2);
    Put(s, type, 2);
    Put(s, count, 4);
    Put(s, value, 4);
  };
  tag(256, 4, 1, t.claimed ? t.claimed : t.width);
  tag(257, 4, 1, t.claimed ? t.claimed : t.height);
  tag(258, 3, spp, spp == 1 ? 8 : bitsAt);
  tag(259, 3, 1, 1);
  tag(262, 3, 1, t.photometric);
  tag(273, 4, 1, dataAt);
  tag(277, 3, 1, spp);
  tag(278, 4, 1, t.height);
  tag(279, 4, 1, dataBytes);
  tag(284, 3, 1, 1);
  if (t.extras > 0) tag(338, 3, t.extras, t.extras <= 2 ? t.extraKind | t.extraKind << 16 : extraAt);
  Put(s, 0, 4);
  for (uint32_t i = 0; i < spp; ++i) Put(s, 8, 2);
  for (uint32_t i = 0; i < t.extras; ++i) Put(s, t.extraKind, 2);
  for (uint32_t y = 0; y < t.height; ++y) {
    for (uint32_t x = 0; x < t.width; ++x) {
      for (uint32_t k = 0; k < spp; ++k) {
        const bool dark = (x / 4 + y / 4 + k) % 2 == 0;
        s.push_back(dark && (t.inkMask >> k & 1) ? '\xFF' : '\0');
      }
    }
  }
  return s;
}

MakeBytes Tiff(const TiffShape& shape) {
  return [shape](const fs::path&) { return TiffBytes(shape); };
}

MakeBytes SpotPdf(const std::vector<std::string>& spots) {
  return [spots](const fs::path& scratch) {
    std::string ps = "%!PS\n<< /PageSize [144 72] >> setpagedevice\n0.5 0.5 0.5 0 setcmykcolor 0 0 20 20 rectfill\n";
    for (std::size_t i = 0; i < spots.size(); ++i) {
      ps += "[/Separation (" + spots[i] + ") /DeviceCMYK {dup dup dup}] setcolorspace 0.6 setcolor " +
            std::to_string(24 + 16 * i) + " 30 14 14 rectfill\n";
    }
    WriteFileBytes(scratch / "art.ps", ps + "showpage\n");
    const ProcessResult r = RunProcess({"/usr/bin/gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-o",
                                        (scratch / "art.made.pdf").string(), (scratch / "art.ps").string()});
    EXPECT_EQ(r.exitStatus, 0) << r.output;
    return ReadFileBytes(scratch / "art.made.pdf");
  };
}

}  // namespace qm::test
