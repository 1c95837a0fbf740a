#!/bin/sh
# The Compose job on undithered planes (separated with "Dithered" off) at
# 720 dpi: wall time and peak memory of the rip and packing, and the PRN
# file's digest (the same in every build that keeps the bytes).
#
# usage: bench/compose_bench.sh [BUILD_DIR] [PDF] [--set KEY=VALUE]...
#   BUILD_DIR   a configured and built tree (default: build), with app/quillmark-cli
#   PDF         default: tests/data/gs9cm_mixed_rgb_cmyk.pdf (US Letter)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}; [ $# -gt 0 ] && shift
pdf=${1:-$here/tests/data/gs9cm_mixed_rgb_cmyk.pdf}; [ $# -gt 0 ] && shift
cli=$build/app/quillmark-cli
. "$here/bench/bench_common.sh"
make_bench_preset
mkdir -p "$app/RipIn/CustomFiles/page"
cp "$pdf" "$app/RipIn/CustomFiles/page/page.pdf"
"$cli" --app-dir "$app" --preset Bench.cfg --progress none --set dfDitheredCk=0 --set dfPreserveCF=1 \
  separate page 2> "$out/separate.log" || { cat "$out/separate.log" >&2; exit 1; }
entry=$(ls "$app/RipIn/Separation/page" | head -1)
/usr/bin/time -v -o "$out/compose.time" "$cli" --app-dir "$app" --preset Bench.cfg --progress none \
  --set dfDitheredCk=0 "$@" compose page "$entry" 2> "$out/compose.log" || { cat "$out/compose.log" >&2; exit 1; }
set -- $(measure "$out/compose.time")
printf 'compose (undithered, 720 dpi) %8.2f s %10d KiB  prn %s\n' "$1" "$2" \
  "$(md5sum < "$app/RipIn/UserPrn/page.prn" | cut -d' ' -f1)"
