// Shared set-up of the job tests: a scratch AppDir with applied settings, a
// host that records what the window would show, and plane files.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include <string>
#include <vector>

#include "imaging/imaging.h"
#include "platform/job_host.h"
#include "platform/platform.h"
#include "separation/job_context.h"
#include "tests/support/test_support.h"

namespace qm::test {

class RecordingHost : public JobHost {
 public:
  void ShowMessage(std::string_view text, std::string_view cause = {}) override {
    messages.emplace_back(text);
    causes.emplace_back(cause);
  }
  void Warn(std::string_view text) override { warnings.emplace_back(text); }
  void SetStatus(StatusLine line, std::string_view text) override {
    statuses.push_back(std::to_string(static_cast<int>(line)) + ":" + std::string(text));
  }
  void SetProgress(ProgressBar bar, int position) override {
    progress.push_back(std::to_string(static_cast<int>(bar)) + ":" + std::to_string(position));
  }
  void RefreshLists() override { ++refreshes; }
  void Log(std::string_view line) override { logs.emplace_back(line); }

  std::vector<std::string> messages, causes, warnings, statuses, progress, logs;
  int refreshes = 0;
};

inline constexpr std::array<float, kNodeCount> kIdentity = {0.0f, 16383.75f, 32767.5f, 49151.25f, 65535.0f};

inline ActiveSetting AppliedSetting(int resolution = 100) {
  ActiveSetting s;
  for (int k = 0; k < kSlotCount; ++k) {
    s.linearIn[k] = kIdentity;
    s.linearOut[k] = kIdentity;
  }
  s.settingApplied = 1;
  s.xResolution = s.yResolution = std::to_string(resolution);
  s.xResolutionValue = s.yResolutionValue = resolution;
  s.middleDotLevel = 16384;
  s.largeDotLevel = 32768;
  s.MiddleDotDilution = s.LargeDotDilution = 1.0f;
  s.Bits = 2;
  s.UseDots = 111;
  s.DitherMethod = 0;
  s.Suffix = "prn";
  s.PRNSequence = "0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1,S2,S3,S4,S5";
  return s;
}

// A scratch AppDir in force, with its RipIn folders, and a job context.
struct JobFixture {
  ScratchAppDir app;
  ActiveSetting setting = AppliedSetting();
  InitiationSettings init;
  SettingForm form;
  RecordingHost host;
  JobContext ctx{setting, init, form, host};

  JobFixture() {
    SetAppDirOverride(app.path());
    WorkingDir();
    UserPrnDir();
    CustomFilesDir();
    SeparationDir();
  }
};

// A plane of tones: a diagonal ramp with texture, `level` shifting it.
inline imaging::Plane TonePlane(uint32_t width, uint32_t height, double resolution, float level = 0.0f,
                                uint32_t seed = 1) {
  imaging::Plane p;
  p.width = width;
  p.height = height;
  p.xResolution = p.yResolution = resolution;
  p.depth = 16;
  p.pixels.resize(std::size_t{width} * height);
  uint32_t state = seed * 2654435761u + 7u;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      float v = 65535.0f * (x + y) / float(width + height) + level + float(state >> 22) - 512.0f;
      v = v < 0.0f ? 0.0f : (v > 65535.0f ? 65535.0f : v);
      p.pixels[std::size_t{y} * width + x] = std::floor(v);
    }
  }
  return p;
}

inline imaging::Plane SolidPlane(uint32_t width, uint32_t height, double resolution, float value) {
  imaging::Plane p;
  p.width = width;
  p.height = height;
  p.xResolution = p.yResolution = resolution;
  p.depth = 16;
  p.pixels.assign(std::size_t{width} * height, value);
  return p;
}

}  // namespace qm::test
