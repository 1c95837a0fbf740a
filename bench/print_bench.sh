#!/bin/sh
# The Print job on the synthetic A3 test page at 720 x 720 dpi in its three
# raster modes, side by side in one run with Ghostscript alone on the same
# PDF with the job's own arguments (taken from the job's --verbose log): wall
# time and peak memory of each, the ratios mode / Ghostscript, and how often
# the large-image mode decoded the plane rows.
#
# usage: bench/print_bench.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  a configured and built tree (default: build), with app/quillmark-cli
#   WORK_DIR   where the test page is made (default: $RIPBENCH_WORK or /tmp/ripbench)
# Preset: UseICC 0, DitherMethod 0, Bits 2, UseDots 111, no light inks,
# PdfSpotColorName SpotOrange,SpotGreen, PRNSequence 0,1,2,3,,,,,,,,,S0,S1.
# Targets: turbo <= 1.5 x Ghostscript, sequential <= 2 x; on 2 cores turbo
# and large-image faster than sequential.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
work=${2:-${RIPBENCH_WORK:-/tmp/ripbench}}
cli=$build/app/quillmark-cli
maker=${RIPBENCH_MAKER:-$here/bench/make_a3_testpage.sh}
[ -s "$work/test-a3.pdf" ] || bash "$maker" "$work" >/dev/null
pdf=$work/test-a3.pdf

. "$here/bench/bench_common.sh"
make_bench_preset
"$cli" --app-dir "$app" import "$pdf"
item=test-a3

run_print() {  # name, then --set pairs
  name=$1; shift
  /usr/bin/time -v -o "$out/$name.time" "$cli" --app-dir "$app" --preset Bench.cfg --progress none --verbose \
    --set dfPreserveCF=1 "$@" print "$item" 2> "$out/$name.log" || { cat "$out/$name.log" >&2; exit 1; }
  set -- $(measure "$out/$name.time")
  printf '%-22s %8.2f s %10d KiB  (%s)\n' "print ($name)" "$1" "$2" \
    "$(sed -n 's/^log: \(separation stage: .*\|raster work .*\)/\1/p' "$out/$name.log" | paste -sd, -)"
  echo "$1" > "$out/$name.secs"
  cp "$app/RipIn/UserPrn/$item.prn" "$out/$name.prn"
}

echo "PDF $pdf at 720x720 dpi, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
run_print turbo --set dfTurboMd=1 --set dfLargeImageMd=0

# Ghostscript alone with the job's own arguments, writing elsewhere.
gsline=$(sed -n 's/^log: \(".*\/bin\/gs" .*-sDEVICE=tiffsep.*\)$/\1/p' "$out/turbo.log" | head -1)
[ -n "$gsline" ] || { echo "no Ghostscript command in the job's log" >&2; exit 1; }
mkdir -p "$out/gs"
cp "$pdf" "$out/gs/00.pdf"
gsline=$(printf '%s' "$gsline" | sed -e "s|-o \"[^\"]*\"|-o \"$out/gs/00_.tif\"|" -e "s|\"[^\"]*\"\$|\"$out/gs/00.pdf\"|")
echo "$gsline" > "$out/gs.cmd"
eval "/usr/bin/time -v -o \"$out/gs.time\" $gsline"
set -- $(measure "$out/gs.time")
printf '%-22s %8.2f s %10d KiB\n' "gs tiffsep alone" "$1" "$2"
gs_secs=$1
rm -rf "$out/gs"

run_print sequential --set dfTurboMd=0 --set dfLargeImageMd=0
run_print large-image --set dfTurboMd=0 --set dfLargeImageMd=1

echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
for name in turbo sequential large-image; do
  awk -v a="$(cat "$out/$name.secs")" -v b="$gs_secs" -v n="$name" \
    'BEGIN { printf "ratio %-12s %6.2f x Ghostscript alone\n", n, a / b }'
done
for name in turbo large-image; do
  awk -v a="$(cat "$out/$name.secs")" -v b="$(cat "$out/sequential.secs")" -v n="$name" \
    'BEGIN { printf "ratio %-12s %6.2f x sequential\n", n, a / b }'
done
sed -n 's/^log: \(large-image mode decoded.*\)/\1/p' "$out/large-image.log" |
  awk '{ printf "large-image mode: %s (%.2f reads per plane row)\n", $0, $4 / $8 }'
# The three modes give one layout.
for name in turbo sequential large-image; do
  printf '%-12s ' "$name"; "$cli" --app-dir "$app" prn-info "$out/$name.prn" |
    sed -e 's/"positions".*//' -e 's/^{//'
done
