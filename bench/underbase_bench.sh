#!/bin/sh
# The Print job on the synthetic A3 test page at 720 x 720 dpi with a
# generated white underbase (Underbase=generate, Choke 2, Knockout white) and
# the same job without it, in each raster mode: wall time and peak memory of
# both, and the ratios with / without. The white is a third spot S2 (White),
# placed last. Goal: at most 1.1 x the time, memory within 10 %.
#
# usage: bench/underbase_bench.sh [BUILD_DIR] [WORK_DIR] [MODE...]
#   MODE  sequential, turbo or large-image (default: all three)
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
work=${2:-${RIPBENCH_WORK:-/tmp/ripbench}}
[ $# -ge 2 ] && shift 2 || shift $#
modes=${*:-sequential turbo large-image}
cli=$build/app/quillmark-cli
maker=${RIPBENCH_MAKER:-$here/bench/make_a3_testpage.sh}
[ -s "$work/test-a3.pdf" ] || bash "$maker" "$work" >/dev/null
pdf=$work/test-a3.pdf

. "$here/bench/bench_common.sh"
make_bench_preset
"$cli" --app-dir "$app" import "$pdf" >/dev/null
item=test-a3

run_print() {  # name, then --set pairs
  name=$1; shift
  /usr/bin/time -v -o "$out/$name.time" "$cli" --app-dir "$app" --preset Bench.cfg --progress none --verbose \
    --set dfPreserveCF=1 --set PdfSpotColorName=SpotOrange,SpotGreen,White \
    --set PRNSequence=0,1,2,3,,,,,,,,,S0,S1,S2 --set UnderbaseInk=S2 "$@" print "$item" 2> "$out/$name.log" ||
    { cat "$out/$name.log" >&2; exit 1; }
  set -- $(measure "$out/$name.time")
  printf '%-38s %8.2f s %10d KiB\n' "print ($name)" "$1" "$2"
  echo "$1 $2" > "$out/$name.figures"
}

echo "PDF $pdf at 720x720 dpi, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
for mode in $modes; do
  case $mode in
    sequential) sets="--set dfTurboMd=0 --set dfLargeImageMd=0" ;;
    turbo) sets="--set dfTurboMd=1 --set dfLargeImageMd=0" ;;
    large-image) sets="--set dfTurboMd=0 --set dfLargeImageMd=1" ;;
    *) echo "unknown mode $mode" >&2; exit 2 ;;
  esac
  # shellcheck disable=SC2086
  run_print "$mode, no white" $sets --set Underbase=off
  # shellcheck disable=SC2086
  run_print "$mode, white generated" $sets --set Underbase=generate --set Knockout=white
  paste "$out/$mode, white generated.figures" "$out/$mode, no white.figures" |
    awk -v n="$mode" '{ printf "ratio %-12s time %5.2f x, peak memory %5.2f x\n", n, $1 / $3, $2 / $4 }'
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
