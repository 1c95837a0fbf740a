#include "platform/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace qm {

std::string JsonEscape(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
          out += buf;
        } else {
          out += c;
        }
    }
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
