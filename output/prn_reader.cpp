#include "output/prn_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "output/ink_figures.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kEvenBits = 0x5555555555555555ull;

void CountWord2(uint64_t x, PrnDotCounts& c) {
  const uint64_t hi = (x >> 1) & kEvenBits;
  const uint64_t lo = x & kEvenBits;
  c[1] += static_cast<uint64_t>(std::popcount(~hi & lo));
  c[2] += static_cast<uint64_t>(std::popcount(hi & ~lo));
  c[3] += static_cast<uint64_t>(std::popcount(hi & lo));
}

// The comma-separated field k as it stands; empty past the end.
std::string_view SequenceField(std::string_view text, std::size_t k) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < k; ++i) {
    const std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) return {};
    start = comma + 1;
  }
  const std::size_t end = text.find(',', start);
  return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

void AppendJsonString(std::ostringstream& out, std::string_view s) {
  out << '"';
  for (const char ch : s) {
    const auto u = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out << '\\' << ch;
    } else if (u < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out << "\\u00" << kHex[u >> 4] << kHex[u & 15];
    } else {
      out << ch;
    }
  }
  out << '"';
}

}  // namespace

StatusOr<PrnReader> PrnReader::Open(const fs::path& path) {
  std::FILE* raw = std::fopen(path.c_str(), "rb");
  if (!raw) return Status::Fail("cannot open " + path.string() + ": " + std::strerror(errno));
  PrnReader reader;
  reader.file_ = std::shared_ptr<std::FILE>(raw, FileCloser{});
  struct stat st {};
  if (::fstat(::fileno(raw), &st) != 0 || !S_ISREG(st.st_mode)) {
    return Status::Fail(path.string() + " is not a regular file");
  }
  reader.fileSize_ = static_cast<uint64_t>(st.st_size);
  std::array<uint8_t, kPrnHeaderSize> bytes{};
  if (std::fread(bytes.data(), 1, bytes.size(), raw) != bytes.size()) {
    return Status::Fail(path.string() + " is shorter than a 48-byte PRN header");
  }
  reader.header_ = *ParsePrnHeader(bytes);
  return reader;
}

Status PrnReader::ForEachRow(const std::function<Status(uint32_t y, std::span<const uint8_t> row)>& visit) {
  if (!layoutOk()) {
    const std::string problem = PrnHeaderProblem(header_);
    return Status::Fail(problem.empty() ? "file size " + std::to_string(fileSize_) + " is not " +
                                              std::to_string(PrnExpectedFileSize(header_))
                                        : problem);
  }
  std::FILE* f = file_.get();
  if (std::fseek(f, static_cast<long>(kPrnHeaderSize), SEEK_SET) != 0) {
    return Status::Fail(std::string("seek failed: ") + std::strerror(errno));
  }
  std::vector<uint8_t> row(static_cast<std::size_t>(header_.channels) * header_.rowStride);
  for (uint32_t y = 0; y < header_.height; ++y) {
    if (std::fread(row.data(), 1, row.size(), f) != row.size()) {
      return Status::Fail("read of row " + std::to_string(y) + " failed");
    }
    if (Status visited = visit(y, row); !visited) return visited;
  }
  return Status::Ok();
}

PrnDotCounts CountRowDots(std::span<const uint8_t> row, uint32_t width, int bits) {
  PrnDotCounts c{};
  if (bits != 1 && bits != 2) return c;
  const uint64_t totalBits = static_cast<uint64_t>(width) * static_cast<uint64_t>(bits);
  const std::size_t fullBytes = static_cast<std::size_t>(totalBits / 8);
  const unsigned restBits = static_cast<unsigned>(totalBits % 8);
  if (row.size() < fullBytes + (restBits ? 1 : 0)) return c;
  const uint8_t* p = row.data();
  std::size_t i = 0;
  uint64_t ones = 0;
  for (; i + 8 <= fullBytes; i += 8) {
    uint64_t x;
    std::memcpy(&x, p + i, 8);
    if (bits == 1)
      ones += static_cast<uint64_t>(std::popcount(x));
    else
      CountWord2(x, c);
  }
  uint64_t last = 0;
  for (; i < fullBytes; ++i) last = (last << 8) | p[i];
  if (restBits) last = (last << 8) | (p[fullBytes] & (0xFFu << (8 - restBits)) & 0xFFu);
  if (bits == 1) {
    ones += static_cast<uint64_t>(std::popcount(last));
    c[1] = ones;
    c[0] = width - ones;
  } else {
    CountWord2(last, c);
    c[0] = width - c[1] - c[2] - c[3];
  }
  return c;
}

StatusOr<std::vector<PrnDotCounts>> CountPrnDots(PrnReader& reader) {
  const PrnFileHeader& h = reader.header();
  if (!reader.layoutOk()) return Status::Fail("the file layout is not sound");
  std::vector<PrnDotCounts> counts(h.channels, PrnDotCounts{});
  const Status read = reader.ForEachRow([&](uint32_t, std::span<const uint8_t> row) {
    for (uint32_t p = 0; p < h.channels; ++p) {
      const PrnDotCounts c =
          CountRowDots(row.subspan(static_cast<std::size_t>(p) * h.rowStride, h.rowStride), h.width, h.bits);
      for (int k = 0; k < 4; ++k) counts[p][k] += c[k];
    }
    return Status::Ok();
  });
  if (!read) return read;
  return counts;
}

std::vector<int> DefaultPositionSlots(uint32_t n) {
  std::vector<int> slots;
  for (uint32_t p = 0; p < n && p < static_cast<uint32_t>(kSlotCount); ++p)
    slots.push_back(static_cast<int>(p));
  return slots;
}

std::vector<int> PositionSlotsFromPreset(uint32_t n, const std::array<int, 4>& lightFlags,
                                         std::string_view prnSequence, std::string_view iccOutputColors) {
  if (n < kPrnMinChannels || n > kPrnMaxChannels) return DefaultPositionSlots(n);
  std::array<bool, 4> light{}, optional{};
  int lights = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    // The ink PRNSequence places in the slot: a process ink or a light ink
    // in use is always there, a multicolour or spot ink when the artwork has it.
    const int ink = ChannelIndexOfCode(SequenceField(prnSequence, kLightInks.first + i));
    const bool always = kProcessInks.contains(ink) ||
                        (kLightInks.contains(ink) && lightFlags[static_cast<std::size_t>(ink - kLightInks.first)] != 0);
    optional[i] = lightFlags[i] == 0 && !always && ink >= kMulticolorInks.first;
    light[i] = lightFlags[i] != 0 || always || optional[i];
    lights += light[i] ? 1 : 0;
  }
  for (std::size_t i = 4; i-- > 0 && kProcessInks.size() + lights > static_cast<int>(n);) {
    if (optional[i]) {
      light[i] = false;
      --lights;
    }
  }
  const int rest = static_cast<int>(n) - kProcessInks.size() - lights;
  int multicolorInks = 0;
  for (int j = 0; j < 4; ++j) {
    // ICCOutputColors names the process inks, then the multicolour inks.
    if (!SequenceField(iccOutputColors, static_cast<std::size_t>(kProcessInks.size() + j)).empty()) multicolorInks = j + 1;
  }
  PrnChannelSet set;
  set.lc = light[0];
  set.lm = light[1];
  set.lk = light[2];
  set.llk = light[3];
  set.multicolor = std::min(rest, multicolorInks);
  set.spot = rest - set.multicolor;
  if (rest < 0 || set.spot > kSpotInks.size()) return DefaultPositionSlots(n);
  auto slots = PrnPositionSlots(set);
  if (!slots || slots->size() != n) return DefaultPositionSlots(n);
  return *slots;
}

std::vector<std::string> InksForSlots(std::span<const int> slots,
                                      std::optional<std::string_view> prnSequence) {
  std::vector<std::string> inks;
  for (const int slot : slots) {
    if (prnSequence)
      inks.emplace_back(SequenceField(*prnSequence, static_cast<std::size_t>(slot)));
    else
      inks.emplace_back(ChannelCode(slot));
  }
  return inks;
}

std::string PrnInfoJson(const PrnFileHeader& h, bool sizeOk,
                        std::span<const PrnPositionInfo> positions) {
  std::ostringstream out;
  out << "{\"signature\": " << h.signature << ", \"xResolution\": " << h.xResolution
      << ", \"yResolution\": " << h.yResolution << ", \"rowStride\": " << h.rowStride
      << ", \"height\": " << h.height << ", \"width\": " << h.width
      << ", \"channels\": " << h.channels << ", \"bits\": " << static_cast<unsigned>(h.bits)
      << ", \"sizeOk\": " << (sizeOk ? "true" : "false");
  std::vector<InkFigures> figures;
  for (const PrnPositionInfo& pos : positions) figures.push_back({pos.coverage, pos.inkMl, pos.cost});
  const InkFigures total = TotalOf(figures);
  out << ", \"inkMl\": " << total.inkMl;
  if (total.cost) out << ", \"cost\": " << *total.cost;
  out << ", \"positions\": [";
  const int countsShown = h.bits == 1 ? 2 : 4;
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const PrnPositionInfo& pos = positions[i];
    if (i) out << ", ";
    out << "{\"slot\": ";
    AppendJsonString(out, pos.slot);
    out << ", \"ink\": ";
    AppendJsonString(out, pos.ink);
    out << ", \"dots\": [";
    for (int k = 0; k < countsShown; ++k) out << (k ? ", " : "") << pos.dots[static_cast<std::size_t>(k)];
    out << "], \"coverage\": " << pos.coverage << ", \"inkMl\": " << pos.inkMl;
    if (pos.cost) out << ", \"cost\": " << *pos.cost;
    out << "}";
  }
  out << "]}";
  return out.str();
}

StatusOr<std::string> PrnInfo(const fs::path& path, std::span<const int> slots, std::span<const std::string> inks,
                              const InkSettings* inkSettings) {
  const InkSettings defaults;
  const InkSettings& ink = inkSettings ? *inkSettings : defaults;
  auto reader = PrnReader::Open(path);
  if (!reader) return reader.status();
  std::vector<PrnPositionInfo> positions;
  if (reader->layoutOk()) {
    const auto counts = CountPrnDots(*reader);
    if (!counts) return counts.status();
    for (uint32_t p = 0; p < reader->header().channels; ++p) {
      PrnPositionInfo info;
      const int slot = p < slots.size() ? slots[p] : static_cast<int>(p);
      info.slot = std::string(ChannelCode(slot));
      info.ink = p < inks.size() ? inks[p] : info.slot;
      info.dots = (*counts)[p];
      const InkFigures f = FiguresOf(info.dots, reader->header().bits,
                                     uint64_t{reader->header().width} * reader->header().height, ink, info.ink);
      info.coverage = f.coverage;
      info.inkMl = f.inkMl;
      info.cost = f.cost;
      positions.push_back(std::move(info));
    }
  }
  return PrnInfoJson(reader->header(), reader->sizeOk(), positions);
}

}  // namespace qm
