#include "platform/parallel.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#ifndef QM_PARALLEL_STD_THREAD
#include <omp.h>
#endif

namespace qm {

namespace {
thread_local int t_lastThreads = 1;

// First exception of a loop, rethrown on the calling thread.
class ErrorSlot {
 public:
  void Capture() {
    std::lock_guard lock(mutex_);
    if (!error_) error_ = std::current_exception();
  }
  void Rethrow() {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  std::mutex mutex_;
  std::exception_ptr error_;
};
}  // namespace

void ParallelFor(std::size_t count, int threads, const std::function<void(std::size_t)>& fn) {
  threads = std::max(1, threads);
  ErrorSlot errors;
  auto run = [&](std::size_t i) {
    try {
      fn(i);
    } catch (...) {
      errors.Capture();
    }
  };
  if (threads == 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) run(i);
    t_lastThreads = 1;
    errors.Rethrow();
    return;
  }
#ifdef QM_PARALLEL_STD_THREAD
  // Static schedule: worker t takes one contiguous run of indices.
  const std::size_t workers = std::min<std::size_t>(static_cast<std::size_t>(threads), count);
  std::vector<std::thread> pool;
  pool.reserve(workers);
  for (std::size_t t = 0; t < workers; ++t) {
    const std::size_t begin = count * t / workers, end = count * (t + 1) / workers;
    pool.emplace_back([&, begin, end] {
      for (std::size_t i = begin; i < end; ++i) run(i);
    });
  }
  for (auto& th : pool) th.join();
  t_lastThreads = static_cast<int>(workers);
#else
  int ran = 1;
  const long long n = static_cast<long long>(count);
#pragma omp parallel for schedule(static) num_threads(threads)
  for (long long i = 0; i < n; ++i) {
    if (i == 0) {
#pragma omp atomic write
      ran = omp_get_num_threads();
    }
    run(static_cast<std::size_t>(i));
  }
  t_lastThreads = ran;
#endif
  errors.Rethrow();
}

int LastParallelThreadCount() { return t_lastThreads; }

int HardwareThreads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

void ParallelForBlocks(std::size_t count, std::size_t block,
                       const std::function<void(std::size_t begin, std::size_t end)>& fn) {
  block = std::max<std::size_t>(1, block);
  const std::size_t blocks = (count + block - 1) / block;
  ParallelFor(blocks, HardwareThreads(), [&](std::size_t b) { fn(b * block, std::min(count, (b + 1) * block)); });
}

}  // namespace qm
