// Speed of the halftoner on a 4096 x 4096 plane of photo-like content, in
// megapixels per second, beside a plain serpentine Floyd-Steinberg kernel on
// the same plane; the ratios against that kernel hold on a busy machine.
// Single-thread rates are per CPU second; the parallel runs per wall second.
//
//   build-halftone/bench/bench_halftone --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "halftone/halftone.h"
#include "platform/parallel.h"

namespace {

constexpr uint32_t kSide = 4096;
constexpr std::size_t kPixels = std::size_t(kSide) * kSide;

// Smooth gradients and soft shapes with grain and fine detail, clipped to paper
// white and solid ink in places.
const std::vector<float>& PhotoPlane() {
  static const std::vector<float> plane = [] {
    std::vector<float> p(kPixels);
    uint32_t state = 2463534242u;
    for (uint32_t y = 0; y < kSide; ++y) {
      for (uint32_t x = 0; x < kSide; ++x) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const float fx = float(x) / kSide, fy = float(y) / kSide;
        float v = 0.55f * fx + 0.35f * fy;
        v += 0.20f * std::sin(9.0f * fx + 4.0f * fy) * std::cos(7.0f * fy - 3.0f * fx);
        v += 0.06f * std::sin(180.0f * fx * fy + 40.0f * fx);
        v += 0.03f * (float(state & 0xFFFF) / 65535.0f - 0.5f);
        v = v * 1.2f - 0.1f;
        p[std::size_t(y) * kSide + x] = 65535.0f * std::fmin(std::fmax(v, 0.0f), 1.0f);
      }
    }
    return p;
  }();
  return plane;
}

qm::ActiveSetting BenchSettings() {
  qm::ActiveSetting s;
  for (int k = 0; k < qm::kSlotCount; ++k) {
    s.linearIn[k] = {0.0f, 16384.0f, 32768.0f, 49151.0f, 65535.0f};
    s.linearOut[k] = {0.0f, 11000.0f, 25000.0f, 42000.0f, 65535.0f};
  }
  s.middleDotLevel = static_cast<int32_t>(0.3 * 65536);
  s.largeDotLevel = static_cast<int32_t>(0.6 * 65536);
  s.Bits = 2;
  s.UseDots = 111;
  s.MiddleDotDilution = 0.8f;
  s.LargeDotDilution = 0.6f;
  return s;
}

// Serpentine Floyd-Steinberg, in place, two levels, no clamping, no random draws.
void FloydSteinberg(float* p, uint32_t width, uint32_t height) {
  for (uint32_t y = 0; y < height; ++y) {
    float* row = p + std::size_t(y) * width;
    float* below = y + 1 < height ? row + width : nullptr;
    const bool forward = y % 2 == 0;
    for (uint32_t k = 0; k < width; ++k) {
      const int64_t x = forward ? int64_t(k) : int64_t(width) - 1 - k;
      const int64_t ahead = forward ? x + 1 : x - 1;
      const int64_t back = forward ? x - 1 : x + 1;
      const float old = row[x];
      const float level = old >= 32767.5f ? 65535.0f : 0.0f;
      row[x] = level;
      const float e = old - level;
      const bool hasAhead = ahead >= 0 && ahead < int64_t(width);
      const bool hasBack = back >= 0 && back < int64_t(width);
      if (hasAhead) row[ahead] += e * (7.0f / 16.0f);
      if (below != nullptr) {
        if (hasBack) below[back] += e * (3.0f / 16.0f);
        below[x] += e * (5.0f / 16.0f);
        if (hasAhead) below[ahead] += e * (1.0f / 16.0f);
      }
    }
  }
}

template <typename Fn>
void RunOnFreshPlane(benchmark::State& state, std::vector<float>& work, Fn fn) {
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), PhotoPlane().data(), kPixels * sizeof(float));
    state.ResumeTiming();
    fn(work.data());
    benchmark::ClobberMemory();
  }
  state.counters["MP/s"] =
      benchmark::Counter(double(kPixels) * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

void BM_ReferenceFloydSteinberg(benchmark::State& state) {
  std::vector<float> work(kPixels);
  RunOnFreshPlane(state, work, [](float* p) { FloydSteinberg(p, kSide, kSide); });
}
BENCHMARK(BM_ReferenceFloydSteinberg)->Unit(benchmark::kMillisecond);

void BM_Curve(benchmark::State& state) {
  const qm::ActiveSetting s = BenchSettings();
  std::vector<float> work(kPixels);
  RunOnFreshPlane(state, work, [&](float* p) { qm::ApplyCurve(s, p, kPixels, 0); });
}
BENCHMARK(BM_Curve)->Unit(benchmark::kMillisecond);

// The whole HalftonePlane call (curve included) for DitherMethod state.range(0).
void BM_HalftonePlane(benchmark::State& state) {
  qm::HalftoneParams params = qm::HalftoneParams::Of(BenchSettings());
  params.ditherMethod = static_cast<int32_t>(state.range(0));
  std::vector<float> work(kPixels);
  RunOnFreshPlane(state, work, [&](float* p) { qm::HalftonePlane(params, p, kSide, kSide, 0); });
}
BENCHMARK(BM_HalftonePlane)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Planes halftoned side by side on `range(1)` threads, as the per-plane loop of a
// job does; MP/s counts the pixels of every plane.
void BM_HalftonePlanesInParallel(benchmark::State& state) {
  qm::HalftoneParams params = qm::HalftoneParams::Of(BenchSettings());
  params.ditherMethod = static_cast<int32_t>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  std::vector<std::vector<float>> work(threads, std::vector<float>(kPixels));
  for (auto _ : state) {
    state.PauseTiming();
    for (auto& w : work) std::memcpy(w.data(), PhotoPlane().data(), kPixels * sizeof(float));
    state.ResumeTiming();
    qm::ParallelFor(work.size(), threads, [&](std::size_t i) {
      qm::HalftonePlane(params, work[i].data(), kSide, kSide, int32_t(i));
    });
    benchmark::ClobberMemory();
  }
  state.counters["MP/s"] = benchmark::Counter(double(kPixels) * threads * state.iterations() / 1e6,
                                              benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HalftonePlanesInParallel)
    ->ArgsProduct({{0, 3}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Two planes through HalftoneRows on one thread, one after the other
// (range(1) 0) or pushed together (1), for DitherMethod range(0); MP/s counts
// the pixels of both planes.
void BM_HalftoneRowsTwoPlanes(benchmark::State& state) {
  qm::HalftoneParams params = qm::HalftoneParams::Of(BenchSettings());
  params.ditherMethod = static_cast<int32_t>(state.range(0));
  const bool together = state.range(1) != 0;
  const float* plane = PhotoPlane().data();
  for (auto _ : state) {
    qm::HalftoneRows a(params, kSide, 0), b(params, kSide, 1);
    for (uint32_t y = 0; y < kSide; ++y) {
      const float* row = plane + std::size_t(y) * kSide;
      if (together) {
        benchmark::DoNotOptimize(qm::HalftoneRows::PushTwo(a, row, b, row));
      } else {
        benchmark::DoNotOptimize(a.Push(row));
        benchmark::DoNotOptimize(b.Push(row));
      }
    }
  }
  state.counters["MP/s"] =
      benchmark::Counter(2.0 * double(kPixels) * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HalftoneRowsTwoPlanes)->ArgsProduct({{0, 3}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
