// ActiveSetting: the validated settings made by Apply from one preset, read by
// every job. Tones are on the scale 0..65535 as 32-bit floats.
//
// Shared by the workers of a job: curves and parameters are only read. The dot
// levels and flags that the halftoner and the PRN packer use are derived from
// the fields here by halftone/levels.h, never stored back, so every plane of a
// job is quantised and coded with one level set.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "inks/ink_model.h"
#include "settings/underbase.h"

namespace qm {

inline constexpr int kNodeCount = 5;

using CurveNodes = std::array<std::array<float, kNodeCount>, kSlotCount>;

// The dots code of UseDots: its digits say which dots print, large (100),
// middle (10) and small (1). Apply admits these seven codes only.
enum class DotsCode : int32_t {
  kSmall = 1,
  kMiddle = 10,
  kSmallMiddle = 11,
  kLarge = 100,
  kSmallLarge = 101,
  kMiddleLarge = 110,
  kAll = 111,
};

// DitherMethod: 0 is the two-row kernel with random weight shift; 1 to 3 add
// the noise pass and threshold jitter and diffuse over three rows.
enum class DitherKind : int32_t { kTwoRow = 0, kNoise1 = 1, kNoise2 = 2, kNoise3 = 3 };

struct ActiveSetting {
  CurveNodes linearIn{};   // input tones of the 5 nodes of each slot's curve
  CurveNodes linearOut{};  // output tones of the same nodes
  int32_t largeDotEnabled = 1;
  int32_t middleDotEnabled = 1;
  int32_t settingApplied = 0;
  std::string xResolution;
  int32_t xResolutionValue = 0;
  std::string yResolution;
  int32_t yResolutionValue = 0;
  std::string presetName;
  std::string UseICC;
  std::string defaultCMYKProfile;
  std::string defaultRGBProfile;
  std::string defaultGrayProfile;
  std::string defaultOutputProfile;
  std::string intentName;
  std::string gsRenderIntent;
  std::string OverrideICC;  // "true" or "false"
  std::string BlackPtComp;
  std::string KPreserve;
  std::string ICCOutputColors;
  std::string PdfSpotColorName;
  int32_t UseLc = 0;
  int32_t UseLm = 0;
  int32_t UseLk = 0;
  int32_t UseLlk = 0;
  float MiddleDotDilution = 0.0f;
  float LargeDotDilution = 0.0f;
  int32_t largeDotLevel = 0;   // LargeDotStart x 65536, truncated (the preset's level)
  int32_t middleDotLevel = 0;  // MiddleDotStart x 65536, truncated
  int32_t UseDots = 0;
  int32_t Bits = 0;
  int32_t DitherMethod = 0;
  int32_t prnHeaderIndex = 0;
  std::string Suffix;
  std::string LinearProfile;
  std::string PRNSequence;
  UnderbaseSettings underbase;  // the preset folder's underbase.txt, then --set

  // The fields as the engine decides on them; the texts above stay as Apply
  // wrote them, for the tool arguments and the JSON.
  bool Applied() const { return settingApplied == 1; }
  bool UsesIcc() const { return UseICC == "1"; }
  bool OverridesEmbeddedIcc() const { return OverrideICC == "true"; }
  bool CompensatesBlackPoint() const { return BlackPtComp == "1"; }
  bool UsesLightInk(int i) const { return (i == 0 ? UseLc : i == 1 ? UseLm : i == 2 ? UseLk : UseLlk) != 0; }
  DotsCode Dots() const { return static_cast<DotsCode>(UseDots); }
  DitherKind Dither() const { return static_cast<DitherKind>(DitherMethod); }
};

}  // namespace qm
