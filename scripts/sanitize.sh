#!/usr/bin/env bash
# The whole test suite under AddressSanitizer with UndefinedBehaviorSanitizer,
# and the multi-threaded tests under ThreadSanitizer. Any report fails the run.
# ThreadSanitizer cannot see inside Debian's libgomp (it reports races inside
# the runtime itself), so that build runs the parallel loops on std::thread
# (-DQM_PARALLEL_STD_THREAD=ON, see platform/parallel.h).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-san-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-san-asan -j"$jobs"
# Leaks inside Qt's and fontconfig's caches are theirs, not ours.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-san-asan --output-on-failure -j"$jobs"

echo "== ThreadSanitizer (parallel loops on std::thread)"
cmake -S . -B build-san-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_BENCH=OFF -DQM_BUILD_GUI=OFF \
  -DQM_PARALLEL_STD_THREAD=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
tsan_targets=(platform_tests halftone_tests imaging_test separation_tests band_geometry_tests prn_tests scenario_tests
              quillmark-cli magick)
cmake --build build-san-tsan -j"$jobs" --target "${tsan_targets[@]}"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
# ImageMagick runs its own OpenMP loops inside the uninstrumented libgomp.
export MAGICK_THREAD_LIMIT=1
ctest --test-dir build-san-tsan --output-on-failure -j"$jobs" \
  -R 'ParallelFor|HalftonePlane|PlaneOps|PlaneStream|PrnFileWriter|BandGeometry|BandedRender|SplitRender|SplitPage|Scenarios.Run/(print_bars_modes_agree|separate_threads_agree|inks_in_large_image_mode|print_pdf_turned_past_one_inch|compose_equals_print_UseDots_111)$'
