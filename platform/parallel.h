// The one wrapper over the parallel loops of the jobs. Release builds run it
// on OpenMP (static schedule, as many threads as asked); the ThreadSanitizer
// build (QM_PARALLEL_STD_THREAD) runs it on std::thread, because Debian's
// libgomp is not instrumented and reports races inside itself.
//
// fn(i) is called once for every i in [0, count); with `threads` workers each
// takes one contiguous run of indices (static schedule). Exceptions thrown by
// fn are caught per index; the first one is rethrown on the calling thread
// after every worker has finished.
#pragma once

#include <cstddef>
#include <functional>

namespace qm {

void ParallelFor(std::size_t count, int threads, const std::function<void(std::size_t)>& fn);

// The number of cores: the thread count of loops that split one plane.
int HardwareThreads();

// ParallelFor over [0, count) in contiguous blocks of `block` indices on every
// core, for loops whose body is too small to be called once per index.
void ParallelForBlocks(std::size_t count, std::size_t block,
                       const std::function<void(std::size_t begin, std::size_t end)>& fn);

// Number of worker threads that really ran the last ParallelFor of this thread
// (for the log: proves that 18 threads ran when asked).
int LastParallelThreadCount();

}  // namespace qm
