// A small JSON text builder for the command-line results: objects, arrays,
// strings (escaped, bytes above 127 passed through), integers and decimals
// in their shortest round-trip form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view value);
  JsonWriter& Int(int64_t value);
  JsonWriter& Float(double value, bool keepPoint = false);  // keepPoint: 1 -> "1.0"
  JsonWriter& Float32(float value, bool keepPoint = false);  // shortest form of a float
  JsonWriter& Bool(bool value);
  const std::string& str() const { return out_; }

 private:
  void Separator();
  std::string out_;
  bool needComma_ = false;
};

std::string JsonEscape(std::string_view text);

}  // namespace qm
