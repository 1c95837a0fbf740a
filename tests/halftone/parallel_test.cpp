// A job gives the same bytes with any number of threads and from run to run.
#include <gtest/gtest.h>

#include <vector>

#include "halftone/halftone.h"
#include "platform/parallel.h"
#include "tests/halftone/halftone_test_support.h"

namespace qm {
namespace {

std::vector<std::vector<float>> HalftoneJob(int threads, int32_t method) {
  ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  for (int k = 0; k < kSlotCount; ++k) s.linearOut[k][2] = 30000.0f + 500.0f * k;
  std::vector<std::vector<float>> planes(kSlotCount);
  for (int k = 0; k < kSlotCount; ++k) planes[k] = test::TexturedPlane(150, 120, uint32_t(k));
  ParallelFor(planes.size(), threads, [&](std::size_t k) {
    HalftonePlane(s, planes[k].data(), 150, 120, 2, 0.7f, 0.7f, 110, method, int32_t(k));
  });
  return planes;
}

TEST(Reproducibility, SameBytesWithOneThreadOrEighteen) {
  for (int32_t method = 0; method <= 3; ++method) {
    const auto one = HalftoneJob(1, method);
    EXPECT_EQ(one, HalftoneJob(18, method)) << "method " << method;
    EXPECT_EQ(one, HalftoneJob(2, method)) << "method " << method;
  }
}

TEST(Reproducibility, PlanesOfAJobDifferBySlotAndBand) {
  const ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  std::vector<float> a(100 * 100, 30000.0f), b = a, c = a;
  HalftonePlane(s, a.data(), 100, 100, 2, 0.7f, 0.7f, 111, 3, 1, 0);
  HalftonePlane(s, b.data(), 100, 100, 2, 0.7f, 0.7f, 111, 3, 2, 0);
  HalftonePlane(s, c.data(), 100, 100, 2, 0.7f, 0.7f, 111, 3, 1, 1);
  EXPECT_NE(a, b);
  EXPECT_NE(a, c);
}

// Every plane of a job is quantised with one level set, whatever came before.
TEST(Reproducibility, LevelsDoNotDependOnEarlierPlanes) {
  const ActiveSetting s = test::SettingsWithLevels(0.3, 0.6);
  for (int32_t code : {11, 110}) {
    std::vector<float> first = test::TexturedPlane(80, 80), second = first;
    HalftonePlane(s, first.data(), 80, 80, 2, 0.5f, 0.5f, code, 0, 0);
    HalftonePlane(s, second.data(), 80, 80, 2, 0.5f, 0.5f, code, 0, 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(test::DistinctValues(second).size(), 3u) << "code " << code;
  }
}

}  // namespace
}  // namespace qm
