// The kinds of value a settings key takes, shared by the preset, initiation
// and underbase declarations.
#pragma once

#include <string>
#include <vector>

namespace qm {

enum class SettingKind {
  kFlag,    // "0" or "1"; a check box
  kText,    // any text; an edit
  kNumber,  // a text of digits; an edit that takes digits only
  kChoice,  // one entry of a list; a combo
};

// The words as "a, b or c", for a message of what a key takes.
inline std::string Alternatives(const std::vector<std::string>& words) {
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += i + 1 == words.size() ? " or " : ", ";
    out += words[i];
  }
  return out;
}

}  // namespace qm
