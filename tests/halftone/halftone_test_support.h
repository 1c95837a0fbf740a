// Shared set-up of the halftone tests: settings with chosen levels and curves,
// and planes of typical content.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "halftone/halftone.h"

namespace qm::test {

inline constexpr std::array<float, kNodeCount> kIdentityNodes = {0.0f, 16383.75f, 32767.5f, 49151.25f, 65535.0f};

// Identity curves in every slot, levels D = middle x 65536 and U = large x 65536.
inline ActiveSetting SettingsWithLevels(double middle, double large) {
  ActiveSetting s;
  for (int k = 0; k < kSlotCount; ++k) {
    s.linearIn[k] = kIdentityNodes;
    s.linearOut[k] = kIdentityNodes;
  }
  s.middleDotLevel = static_cast<int32_t>(middle * 65536);
  s.largeDotLevel = static_cast<int32_t>(large * 65536);
  s.Bits = 2;
  s.UseDots = 111;
  return s;
}

// Smooth gradients with fine texture and patches of paper white and solid ink.
inline std::vector<float> TexturedPlane(uint32_t width, uint32_t height, uint32_t seed = 1) {
  std::vector<float> plane(std::size_t(width) * height);
  uint32_t state = seed * 2654435761u + 12345u;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const float grain = static_cast<float>(state >> 20) - 2048.0f;
      float v = 65535.0f * (float(x) + float(y)) / float(width + height) + grain * 2.0f;
      if ((x / 7 + y / 5) % 11 == 0) v = 0.0f;
      if ((x / 9 + y / 3) % 13 == 0) v = 65535.0f;
      plane[std::size_t(y) * width + x] = v < 0.0f ? 0.0f : (v > 65535.0f ? 65535.0f : v);
    }
  }
  return plane;
}

inline std::set<float> DistinctValues(const std::vector<float>& plane) {
  return std::set<float>(plane.begin(), plane.end());
}

}  // namespace qm::test
