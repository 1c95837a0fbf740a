#!/usr/bin/env bash
# Fuzzes every reader of outside files for SECONDS each (default 10):
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Builds build-fuzz with clang (libFuzzer, AddressSanitizer, UBSan), runs each
# target over a copy of its seed corpus in build-fuzz/fuzz-work/TARGET and
# fails on the first target that finds a crash, leak, timeout or out-of-memory
# (the reproducer is left beside the log: build-fuzz/fuzz-work/TARGET/crash-*).
# The last lines of each log (stat::number_of_executed_units and the like)
# are the figures of the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(initiation preset linearisation prn_reader magick_tiff staging psd_layout job_name)
fi

if [ ! -f build-fuzz/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQM_FUZZ=ON -DQM_BUILD_GUI=OFF -DQM_BUILD_BENCH=OFF >/dev/null
fi
cmake --build build-fuzz -j"$(nproc)" --target $(printf 'fuzz_%s ' "${targets[@]}")

# The targets write every input to a file; on a disk file system each
# rewrite waits for the disk, so their scratch folders go to memory.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

status=0
for t in "${targets[@]}"; do
  work="build-fuzz/fuzz-work/$t"
  rm -rf "$work"
  mkdir -p "$work/corpus"
  cp tests/fuzz/corpus/"$t"/* "$work/corpus/"
  echo "== fuzz_$t for ${seconds}s"
  if ! (cd "$work" && ../../fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 corpus >log 2>&1); then
    echo "fuzz_$t FAILED: see $work/log"
    grep -E 'ERROR|SUMMARY|Test unit written' "$work/log" | head -5 || true
    status=1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb|new_units_added)' "$work/log" || true
done
exit $status
