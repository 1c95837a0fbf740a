// PRN row packing and dot counting throughput, in pixels per second.
// Rows of a 100-megapixel plane are ~10000 pixels wide; the values are a
// realistic halftoned mix of 0, the two levels and full tone.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "output/prn_format.h"
#include "output/prn_reader.h"

namespace {

std::vector<float> HalftonedRow(std::size_t width, unsigned seed) {
  std::mt19937 rng(seed);
  const float values[4] = {0.0f, 16384.0f, 32768.0f, 65535.0f};
  std::vector<float> row(width);
  for (auto& v : row) v = values[rng() % 4];
  return row;
}

void BM_PackRow(benchmark::State& state, int bits) {
  const auto width = static_cast<std::size_t>(state.range(0));
  const auto row = HalftonedRow(width, 7);
  std::vector<uint8_t> out(qm::PrnRowStride(static_cast<uint32_t>(width), bits));
  const qm::DotLevels levels{16384, 32768, 1, 1};
  for (auto _ : state) {
    qm::PackPrnRow(row, bits, levels, out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(width));
}

void BM_PackRow2(benchmark::State& state) { BM_PackRow(state, 2); }
void BM_PackRow1(benchmark::State& state) { BM_PackRow(state, 1); }

void BM_CountRow2(benchmark::State& state) {
  const auto width = static_cast<uint32_t>(state.range(0));
  const auto row = HalftonedRow(width, 9);
  std::vector<uint8_t> packed(qm::PrnRowStride(width, 2));
  qm::PackPrnRow(row, 2, qm::DotLevels{16384, 32768, 1, 1}, packed);
  for (auto _ : state) benchmark::DoNotOptimize(qm::CountRowDots(packed, width, 2));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * width);
}

}  // namespace

BENCHMARK(BM_PackRow2)->Arg(10000)->Arg(17)->Arg(1000);
BENCHMARK(BM_PackRow1)->Arg(10000);
BENCHMARK(BM_CountRow2)->Arg(10000);
BENCHMARK_MAIN();
