#!/bin/sh
# The Separate job at 720 dpi against Ghostscript's own tiffsep run on the
# same PDF at the same resolution: wall time and peak memory of each, and the
# ratio job / tiffsep.
#
# usage: bench/separate_bench.sh [BUILD_DIR] [PDF] [RESOLUTION]
#   BUILD_DIR   a configured and built tree (default: build), with app/quillmark-cli
#   PDF         default: tests/data/gs9cm_mixed_rgb_cmyk.pdf (US Letter)
#   RESOLUTION  default: 720
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
pdf=${2:-$here/tests/data/gs9cm_mixed_rgb_cmyk.pdf}
res=${3:-720}
cli=$build/app/quillmark-cli

. "$here/bench/bench_common.sh"
sed -e "s/^xResolution=.*/xResolution=$res/" -e "s/^yResolution=.*/yResolution=$res/" \
  "$app/Configuration/Default.cfg" > "$app/Configuration/Bench.cfg"
cp -r "$app/Configuration/Default" "$app/Configuration/Bench"

"$cli" --app-dir "$app" import "$pdf"
item=$(basename "$pdf"); item=${item%.*}
preset=$app/Configuration/Bench

run_job() {  # name, then --set pairs
  name=$1; shift
  rm -rf "$app/RipIn/Separation"
  /usr/bin/time -v -o "$out/$name.time" "$cli" --app-dir "$app" --preset Bench.cfg --progress none \
    --set dfPreserveCF=1 "$@" separate "$item"
  set -- $(measure "$out/$name.time")
  printf '%-28s %8.2f s %10d KiB\n' "$name" "$1" "$2"
  echo "$1" > "$out/$name.secs"
}

echo "PDF $pdf at ${res}x${res} dpi, $(nproc) cores"
/usr/bin/time -v -o "$out/gs.time" gs -r${res}x${res} \
  -sDefaultRGBProfile="$preset/RGB/default_rgb.icc" -sDefaultCMYKProfile="$preset/CMYK/default_cmyk.icc" \
  -sDefaultGrayProfile="$preset/Gray/default_gray.icc" -sICCOutputColors="Cyan,Magenta,Yellow,Black" \
  -sOutputICCProfile="$preset/Output/default_cmyk.icc" -dRenderIntent=0 -dOverrideICC=false \
  -dBlackPtComp=1 -dKPreserve=0 -q -sDEVICE=tiffsep -o "$out/gs_.tif" "$pdf"
set -- $(measure "$out/gs.time")
printf '%-28s %8.2f s %10d KiB\n' "gs tiffsep" "$1" "$2"
gs_secs=$1

run_job "separate (not dithered)" --set dfDitheredCk=0
run_job "separate (dithered, 1 th)" --set dfDitheredCk=1 --set dfTurboMd=0
run_job "separate (dithered, 18 th)" --set dfDitheredCk=1 --set dfTurboMd=1

for name in "separate (not dithered)" "separate (dithered, 1 th)" "separate (dithered, 18 th)"; do
  awk -v a="$(cat "$out/$name.secs")" -v b="$gs_secs" -v n="$name" \
    'BEGIN { printf "ratio %-26s %6.2f x tiffsep\n", n, a / b }'
done
