// Imaging adapter: resampling a 100-megapixel plane with our separable filter
// and, for comparison, with ImageMagick 6's ResizeImage on a grey image built
// from the same buffer; plane file write and read with libtiff.
//   build-*/bench/bench_imaging --benchmark_filter=Resample
#include <benchmark/benchmark.h>

#include <filesystem>

#include "imaging/imaging.h"
#include "imaging/magick_internal.h"

namespace {

using qm::imaging::Plane;

constexpr uint32_t kSide = 10000;  // 100 megapixels

Plane MakePlane(double dpi) {
  Plane p;
  p.width = p.height = kSide;
  p.xResolution = p.yResolution = dpi;
  p.pixels.resize(std::size_t{kSide} * kSide);
  for (std::size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = static_cast<float>((i * 7919) % 65536);
  return p;
}

void BM_ResampleUp360To720(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Plane p = MakePlane(360);
    state.ResumeTiming();
    qm::imaging::Resample(p, 720, 720);
    benchmark::DoNotOptimize(p.pixels.data());
  }
}
BENCHMARK(BM_ResampleUp360To720)->Unit(benchmark::kSecond)->Iterations(1);

void BM_ResampleDown720To360(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Plane p = MakePlane(720);
    state.ResumeTiming();
    qm::imaging::Resample(p, 360, 360);
    benchmark::DoNotOptimize(p.pixels.data());
  }
}
BENCHMARK(BM_ResampleDown720To360)->Unit(benchmark::kSecond)->Iterations(1);

// The library route: buffer into a grey image, ResizeImage, buffer out.
void MagickResample(benchmark::State& state, double from, double to) {
  qm::imaging::InitializeImaging();
  for (auto _ : state) {
    state.PauseTiming();
    Plane p = MakePlane(from);
    state.ResumeTiming();
    qm::imaging::detail::ResampleWithMagick(p, to, to);
    benchmark::DoNotOptimize(p.pixels.data());
  }
}

void BM_MagickResampleUp360To720(benchmark::State& state) { MagickResample(state, 360, 720); }
BENCHMARK(BM_MagickResampleUp360To720)->Unit(benchmark::kSecond)->Iterations(1);
void BM_MagickResampleDown720To360(benchmark::State& state) { MagickResample(state, 720, 360); }
BENCHMARK(BM_MagickResampleDown720To360)->Unit(benchmark::kSecond)->Iterations(1);

void BM_WriteReadPlane8(benchmark::State& state) {
  const Plane p = MakePlane(720);
  const auto path = std::filesystem::temp_directory_path() / "qm_bench_plane.tif";
  for (auto _ : state) {
    qm::imaging::WritePlane(path, p, 8);
    Plane q = qm::imaging::ReadPlane(path);
    benchmark::DoNotOptimize(q.pixels.data());
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_WriteReadPlane8)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
