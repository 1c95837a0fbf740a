#include "platform/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace qm {

namespace {

// The length of the well-formed UTF-8 sequence at text[i] (no overlong
// form, no surrogate, nothing past U+10FFFF); 0 when the byte opens none.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = byte(i);
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
  if (b >= 0xC2 && b <= 0xDF) n = 2;
  else if (b == 0xE0) n = 3, lo = 0xA0;
  else if (b >= 0xE1 && b <= 0xEC) n = 3;
  else if (b == 0xED) n = 3, hi = 0x9F;
  else if (b >= 0xEE && b <= 0xEF) n = 3;
  else if (b == 0xF0) n = 4, lo = 0x90;
  else if (b >= 0xF1 && b <= 0xF3) n = 4;
  else if (b == 0xF4) n = 4, hi = 0x8F;
  else return 0;
  if (i + n > text.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return n;
}

}  // namespace

std::string JsonEscape(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      // Well-formed UTF-8 goes out as it is. A byte that is not (a Latin-1
      // file name's 0xE9) becomes the lone surrogate \udcXX, as Python's
      // "surrogateescape" decodes it, so the name's bytes can be recovered.
      if (const std::size_t n = Utf8Length(text, i)) {
        out.append(text.substr(i, n));
        i += n;
      } else {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\udc%02x", static_cast<unsigned>(u));
        out += buf;
        ++i;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(u));
          out += buf;
        } else {
          out += c;
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

void JsonWriter::Separator() {
  if (needComma_) out_ += ", ";
  needComma_ = false;
}

JsonWriter& JsonWriter::BeginObject() {
  Separator();
  out_ += '{';
  return *this;
}
JsonWriter& JsonWriter::EndObject() {
  out_ += '}';
  needComma_ = true;
  return *this;
}
JsonWriter& JsonWriter::BeginArray() {
  Separator();
  out_ += '[';
  return *this;
}
JsonWriter& JsonWriter::EndArray() {
  out_ += ']';
  needComma_ = true;
  return *this;
}
JsonWriter& JsonWriter::Key(std::string_view key) {
  Separator();
  out_ += JsonEscape(key);
  out_ += ": ";
  return *this;
}
JsonWriter& JsonWriter::String(std::string_view value) {
  Separator();
  out_ += JsonEscape(value);
  needComma_ = true;
  return *this;
}
JsonWriter& JsonWriter::Int(int64_t value) {
  Separator();
  out_ += std::to_string(value);
  needComma_ = true;
  return *this;
}
namespace {
template <typename T>
std::string NumberText(T value, bool keepPoint) {
  if (!std::isfinite(value)) return "null";  // JSON has no NaN or infinity
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  std::string text(buf, res.ptr);
  if (keepPoint && text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}
}  // namespace

JsonWriter& JsonWriter::Float32(float value, bool keepPoint) {
  Separator();
  out_ += NumberText(value, keepPoint);
  needComma_ = true;
  return *this;
}

JsonWriter& JsonWriter::Float(double value, bool keepPoint) {
  Separator();
  out_ += NumberText(value, keepPoint);
  needComma_ = true;
  return *this;
}
JsonWriter& JsonWriter::Bool(bool value) {
  Separator();
  out_ += value ? "true" : "false";
  needComma_ = true;
  return *this;
}

}  // namespace qm
