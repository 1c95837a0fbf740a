#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "platform/parallel.h"

namespace qm {
namespace {

TEST(ParallelFor, RunsEveryIndexOnceOnTheThreadsAsked) {
  for (int threads : {1, 2, 18}) {
    std::vector<std::atomic<int>> hits(37);
    ParallelFor(hits.size(), threads, [&](std::size_t i) { hits[i]++; });
    for (auto& h : hits) EXPECT_EQ(h.load(), 1);
    EXPECT_EQ(LastParallelThreadCount(), threads);
  }
}

TEST(ParallelFor, RethrowsTheFirstErrorAfterAllWorkersFinish) {
  std::atomic<int> done{0};
  EXPECT_THROW(ParallelFor(18, 18,
                           [&](std::size_t i) {
                             if (i == 5) throw std::runtime_error("plane 5 unreadable");
                             done++;
                           }),
               std::runtime_error);
  EXPECT_EQ(done.load(), 17);
}

}  // namespace
}  // namespace qm
