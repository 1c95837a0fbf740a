#include "separation/psd_planes.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "inks/ink_model.h"

namespace qm {

namespace {

constexpr uint16_t kNamesResource = 1006;
constexpr uint16_t kResolutionResource = 1005;
constexpr std::size_t kLongestColorant = 100;
constexpr std::size_t kProcessChannels = kProcessInks.size();

// Big-endian reads from a file, each checked against its end.
class Reader {
 public:
  Reader(int fd, uint64_t size) : fd_(fd), size_(size) {}
  bool Bytes(uint64_t at, void* into, std::size_t n) const {
    return at <= size_ && n <= size_ - at && ReadFully(fd_, at, into, n);
  }
  bool U16(uint64_t at, uint32_t* v) const {
    uint8_t b[2];
    if (!Bytes(at, b, 2)) return false;
    *v = uint32_t{b[0]} << 8 | b[1];
    return true;
  }
  bool U32(uint64_t at, uint32_t* v) const {
    uint8_t b[4];
    if (!Bytes(at, b, 4)) return false;
    *v = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    return true;
  }

 private:
  int fd_;
  uint64_t size_;
};

// The Pascal strings of the names resource, read one by one: its declared
// length comes from the file and is never allocated up front.
bool Names(const Reader& in, uint64_t at, uint32_t length, std::vector<std::string>* names) {
  // More names than a PSD file can have channels are not worth keeping.
  constexpr std::size_t kMostNames = 1u << 16;
  const uint64_t end = at + length;
  while (at < end && names->size() < kMostNames) {
    uint8_t n = 0;
    if (!in.Bytes(at, &n, 1)) return false;
    if (n == 0) break;  // the padding after the last name
    if (at + 1 + n > end) return false;
    std::string name(n, '\0');
    if (!in.Bytes(at + 1, name.data(), n)) return false;
    names->push_back(std::move(name));
    at += 1 + n;
  }
  return true;
}

}  // namespace

bool ReadFully(int fd, uint64_t at, void* into, std::size_t n) {
  auto* p = static_cast<uint8_t*>(into);
  while (n > 0) {
    const ssize_t got = ::pread(fd, p, n, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    at += static_cast<uint64_t>(got);
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

uint32_t PsdLayout::RowsIn(uint64_t size) const {
  if (colorants.empty() || width == 0) return 0;
  const uint64_t last = ChannelOffset(colorants.size() - 1);
  if (size <= last) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(height, (size - last) / width));
}

StatusOr<PsdLayout> ReadPsdLayout(int fd, uint64_t size) {
  const Reader in(fd, size);
  char signature[4];
  uint32_t version = 0, channels = 0, height = 0, width = 0, depth = 0, mode = 0;
  if (!in.Bytes(0, signature, 4) || !in.U16(4, &version) || !in.U16(12, &channels) || !in.U32(14, &height) ||
      !in.U32(18, &width) || !in.U16(22, &depth) || !in.U16(24, &mode)) {
    return Status::Fail("the PSD header is not written yet");
  }
  if (std::memcmp(signature, "8BPS", 4) != 0 || version != 1) return Status::Fail("not a PSD file of version 1");
  if (depth != 8 || mode != 4 || channels < kProcessChannels) {
    return Status::Fail("not 8-bit CMYK (depth " + std::to_string(depth) + ", mode " + std::to_string(mode) + ", " +
                        std::to_string(channels) + " channels)");
  }
  if (width == 0 || height == 0) return Status::Fail("an empty page");
  // Every offset below stays far inside 64 bits: at most 2^48 bytes of channels.
  if (uint64_t{width} * height > (uint64_t{1} << 48) / channels) {
    return Status::Fail("a page of " + std::to_string(width) + " x " + std::to_string(height) + " pixels in " +
                        std::to_string(channels) + " channels, too large");
  }
  PsdLayout layout;
  layout.width = width;
  layout.height = height;
  uint32_t length = 0;
  uint64_t at = 26;
  if (!in.U32(at, &length)) return Status::Fail("the PSD header is not written yet");
  at += 4 + uint64_t{length};
  uint32_t resources = 0;
  if (!in.U32(at, &resources)) return Status::Fail("the PSD header is not written yet");
  at += 4;
  const uint64_t resourcesEnd = at + resources;
  std::vector<std::string> names;
  bool sawNames = false, sawResolution = false;
  while (at < resourcesEnd) {
    char tag[4];
    uint32_t id = 0, nameLength = 0, dataLength = 0;
    uint8_t n = 0;
    if (!in.Bytes(at, tag, 4) || !in.U16(at + 4, &id) || !in.Bytes(at + 6, &n, 1)) {
      return Status::Fail("the PSD header is not written yet");
    }
    if (std::memcmp(tag, "8BIM", 4) != 0) return Status::Fail("a PSD image resource without its signature");
    nameLength = (1u + n + 1u) & ~1u;
    const uint64_t data = at + 6 + nameLength + 4;
    if (!in.U32(at + 6 + nameLength, &dataLength) || data + dataLength > resourcesEnd) {
      return Status::Fail("the PSD header is not written yet");
    }
    if (id == kNamesResource) {
      if (!Names(in, data, dataLength, &names)) return Status::Fail("the PSD header is not written yet");
      sawNames = true;
    } else if (id == kResolutionResource) {
      uint32_t x = 0, y = 0;
      if (dataLength < 16 || !in.U32(data, &x) || !in.U32(data + 8, &y)) {
        return Status::Fail("the PSD header is not written yet");
      }
      // Whole pixels per inch only: a fraction is rounded to 1/65536 here.
      if ((x & 0xFFFF) != 0 || (y & 0xFFFF) != 0 || x == 0 || y == 0) {
        return Status::Fail("a resolution of a fraction of a pixel per inch");
      }
      layout.xResolution = x >> 16;
      layout.yResolution = y >> 16;
      sawResolution = true;
    }
    at = data + ((uint64_t{dataLength} + 1) & ~uint64_t{1});
  }
  if (!sawResolution) return Status::Fail("the PSD file gives no resolution");
  if (channels > kProcessChannels && (!sawNames || names.size() != channels - kProcessChannels)) {
    return Status::Fail(std::to_string(names.size()) + " names for " + std::to_string(channels - kProcessChannels) +
                        " extra channels");
  }
  for (int i = kProcessInks.first; i < kProcessInks.end; ++i) {
    layout.colorants.emplace_back(kInkChannels[static_cast<std::size_t>(i)].separator);
  }
  for (const std::string& name : names) {
    const std::string file = SeparationFileColorant(name);
    if (file.empty()) return Status::Fail("the colorant name \"" + name + "\" (control characters or too long)");
    for (const std::string& earlier : layout.colorants) {
      if (earlier == file) return Status::Fail("two channels named \"" + name + "\"");
    }
    layout.colorants.push_back(file);
  }
  uint32_t layers = 0, compression = 0;
  if (!in.U32(at, &layers)) return Status::Fail("the PSD header is not written yet");
  at += 4 + uint64_t{layers};
  if (!in.U16(at, &compression)) return Status::Fail("the PSD header is not written yet");
  if (compression != 0) return Status::Fail("compressed PSD channels");
  layout.dataOffset = at + 2;
  if (size > layout.FileSize()) return Status::Fail("a PSD file longer than its channels");
  return layout;
}

std::string SeparationFileColorant(const std::string& name) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x20 || b == 0x7F) return {};
    if (b >= 0x80 || c == '%' || c == '/' || c == ':' || c == '\\') {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  if (out.empty() || out.size() > kLongestColorant) return {};
  return out;
}

}  // namespace qm
