#!/bin/sh
# The speed goals side by side with Ghostscript alone, on the synthetic A3
# test page at 720 x 720 dpi with six inks (C, M, Y, K and two spots):
#
#   Print, turbo                        <= 0.42 x Ghostscript alone
#   Print, sequential                   <= 0.45 x
#   Print, large-image                  <= 0.45 x
#   Separate, dithered, turbo           <= 0.50 x
#   Print, large-image, 90-degree turn  <= 300 MiB peak, <= 1.1 x the unturned job
#
# "Ghostscript alone" is tiffsep with the job's own arguments as its log
# shows them (the documented command: default LZW, one process), writing
# elsewhere. Every job runs ROUNDS times (default 3) in alternating order
# (the two large-image jobs as a pair, turned after unturned); the table gives
# medians of wall time, peak memory and CPU time (user + system, Ghostscript
# included; /usr/bin/time), with the load average before and after: on a busy
# machine the CPU time shows what the job costs. The AppDir's bin/gs records
# the CPU time of every Ghostscript process a job starts, so the table also
# gives Ghostscript's CPU and our own share of the job's CPU (goal: at most
# 15 %), and under it our CPU per stage of each job's last run (from the job's
# log: the separation stage and the raster work of Print, the plane work of
# Separate). The turn's ratio is the median of the pairs' ratios. Then the
# 24 x 36 inch page (the A3 page scaled up by Ghostscript's pdfwrite) in
# large-image mode without and
# with the turn, BIG_ROUNDS times each (default 1; 0 skips it): peak memory,
# goal <= 2 GiB with the turn. Before it, a 64-megapixel JPEG in each raster
# mode, PHOTO_ROUNDS times (default 1; 0 skips it): peak memory, goal
# <= 600 MiB in sequential and large-image mode.
#
# usage: bench/speed_bench.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  a configured and built tree (default: build), with app/quillmark-cli
#   WORK_DIR   where the test pages are made (default: $RIPBENCH_WORK or /tmp/ripbench)
#   RIPBENCH_MAKER  the A3 page maker (default: bench/make_a3_testpage.sh)
#   ROUNDS, BIG_ROUNDS, PHOTO_ROUNDS  runs of each job (defaults 3, 1 and 1)
#   SETTLE     seconds to wait at most before each run for a quiet machine (default 120)
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
work=${2:-${RIPBENCH_WORK:-/tmp/ripbench}}
rounds=${ROUNDS:-3}
big_rounds=${BIG_ROUNDS:-1}
photo_rounds=${PHOTO_ROUNDS:-1}
cli=$build/app/quillmark-cli
maker=${RIPBENCH_MAKER:-$here/bench/make_a3_testpage.sh}
[ -s "$work/test-a3.pdf" ] || bash "$maker" "$work" >/dev/null

. "$here/bench/bench_common.sh"
make_bench_preset
# Ghostscript through /usr/bin/time: "elapsed user system" of each process.
rm -f "$app/bin/gs"
printf '#!/bin/sh\nexec /usr/bin/time -a -o "%s" -f "%%e %%U %%S" /usr/bin/gs "$@"\n' "$out/gs.cpu" > "$app/bin/gs"
chmod +x "$app/bin/gs"

# Before each run, up to SETTLE seconds (default 120; 0: none) for a quiet
# machine: no other runnable process for 3 seconds in a row (/proc/stat).
settle() {
  [ "${SETTLE:-120}" -gt 0 ] || return 0
  quiet=0; waited=0
  while [ "$quiet" -lt 3 ] && [ "$waited" -lt "${SETTLE:-120}" ]; do
    running=$(sed -n 's/^procs_running //p' /proc/stat)
    if [ "$running" -le 1 ]; then quiet=$((quiet + 1)); else quiet=0; fi
    sleep 1; waited=$((waited + 1))
  done
  echo "$waited" >> "$out/settle"
}

# One job: name, command, then --set pairs; appends "seconds kib cpu gs_cpu"
# to $out/name.runs and keeps its stages' CPU in $out/name.stages.
job() {
  settle
  name=$1; command=$2; shift 2
  : > "$out/gs.cpu"
  /usr/bin/time -v -o "$out/$name.time" "$cli" --app-dir "$app" --preset Bench.cfg --progress none --verbose \
    --set dfPreserveCF=1 "$@" "$command" "$item" 2> "$out/$name.log" || { cat "$out/$name.log" >&2; exit 1; }
  echo "$(measure "$out/$name.time") $(awk '$2 ~ /^[0-9.]+$/ { s += $2 + $3 } END { printf "%.1f", s }' "$out/gs.cpu")" \
    >> "$out/$name.runs"
  sed -n "s/^log: \(separation stage\|raster work ([a-z-]*)\|plane work\): .*this process's CPU \([0-9.]*\) s)/\1 \2 s/p" \
    "$out/$name.log" | paste -sd, - | sed 's/,/, /g' > "$out/$name.stages"
}
share() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f %%", (b > 0 ? 100 * (b - a) / b : 0) }'; }  # gs CPU, job CPU
gs_alone() {  # Ghostscript with the job's own arguments, writing elsewhere
  settle
  mkdir -p "$out/gs"
  cp "$pdf" "$out/gs/00.pdf"
  eval "/usr/bin/time -v -o \"$out/gs.time\" $gsline"
  measure "$out/gs.time" >> "$out/gs.runs"
  rm -rf "$out/gs"
}
median() {  # column of $out/name.runs
  sort -n -k"$2" "$out/$1.runs" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}
mib() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }
runs() { cut -d' ' -f1 "$out/$1.runs" | paste -sd' ' -; }  # wall times in run order
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

pdf=$work/test-a3.pdf
"$cli" --app-dir "$app" import "$pdf" > /dev/null
item=test-a3
echo "A3 test page $pdf at 720x720 dpi, $(nproc) cores, $rounds rounds"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
job turbo print --set dfTurboMd=1 --set dfLargeImageMd=0
gsline=$(sed -n 's/^log: \(".*\/bin\/gs" .*-sDEVICE=tiffsep.*\)$/\1/p' "$out/turbo.log" | head -1)
[ -n "$gsline" ] || { echo "no Ghostscript command in the job's log" >&2; exit 1; }
gsline=$(printf '%s' "$gsline" | sed -e "s|^\"[^\"]*\"|/usr/bin/gs|" -e "s|-o \"[^\"]*\"|-o \"$out/gs/00_.tif\"|" \
  -e "s|\"[^\"]*\"\$|\"$out/gs/00.pdf\"|")
rm "$out/turbo.runs"
for round in $(seq "$rounds"); do
  # Alternating: each round starts one job later.
  # The unturned and the turned large-image jobs go as a pair, one after the
  # other: their ratio is taken round by round.
  for k in 0 1 2 3 4; do
    case $(( (k + round) % 5 )) in
      0) gs_alone ;;
      1) job turbo print --set dfTurboMd=1 --set dfLargeImageMd=0 ;;
      2) job sequential print --set dfTurboMd=0 --set dfLargeImageMd=0 ;;
      3) job separate separate --set dfDitheredCk=1 --set dfTurboMd=1 ;;
      4) job large print --set dfTurboMd=0 --set dfLargeImageMd=1 --set dfImageRt=0
         job large-turned print --set dfTurboMd=0 --set dfLargeImageMd=1 --set dfImageRt=1 --set dfRotLimit= ;;
    esac
  done
done
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
[ -s "$out/settle" ] && awk '{ s += $1; if ($1 >= m) m = $1 } END { printf "waited %d s in all for quiet moments (longest %d s)\n", s, m }' "$out/settle"

gs_s=$(median gs 1)
printf '%-36s %9s %9s %9s %9s %7s %9s   %s\n' "job" "median s" "peak MiB" "CPU s" "gs CPU s" "ours" "ratio" \
  "goal (wall times of the runs)"
printf '%-36s %9.2f %9s %9.1f %9s %7s %9s   (%s)\n' "Ghostscript tiffsep alone" "$gs_s" "$(mib "$(median gs 2)")" \
  "$(median gs 3)" "" "" "1.00" "$(runs gs)"
for row in "turbo|Print, turbo|<= 0.42 x Ghostscript" "sequential|Print, sequential|<= 0.45 x Ghostscript" \
           "large|Print, large-image|<= 0.45 x Ghostscript" "separate|Separate, dithered, turbo|<= 0.50 x Ghostscript"; do
  name=${row%%|*}; rest=${row#*|}; label=${rest%%|*}; goal=${rest#*|}
  printf '%-36s %9.2f %9s %9.1f %9.1f %7s %8sx   %s (%s)\n' "$label" "$(median "$name" 1)" "$(mib "$(median "$name" 2)")" \
    "$(median "$name" 3)" "$(median "$name" 4)" "$(share "$(median "$name" 4)" "$(median "$name" 3)")" \
    "$(ratio "$(median "$name" 1)" "$gs_s")" "$goal" "$(runs "$name")"
done
# The turned job runs right after the unturned one in every round, so each
# round gives a pair on a host of the same speed: the ratio is the median of
# the rounds' ratios (a slow phase of a shared host slows both of a pair);
# the ratio of the two medians follows it.
paired=$(paste -d' ' "$out/large.runs" "$out/large-turned.runs" | awk '{ printf "%.2f\n", $5 / $1 }')
printf '%-36s %9.2f %9s %9.1f %9.1f %7s %8sx   %s %s\n' "Print, large-image, 90-degree turn" "$(median large-turned 1)" \
  "$(mib "$(median large-turned 2)")" "$(median large-turned 3)" "$(median large-turned 4)" \
  "$(share "$(median large-turned 4)" "$(median large-turned 3)")" \
  "$(printf '%s\n' "$paired" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')" \
  "<= 300 MiB, <= 1.1 x the unturned job" \
  "($(runs large-turned); ratios by round $(printf '%s' "$paired" | paste -sd' ' -); of the medians $(ratio "$(median large-turned 1)" "$(median large 1)"))"
echo "our CPU by stage (each job's last run; the rest of our CPU is the job's set-up, staging and files):"
for name in turbo sequential large large-turned separate; do printf '  %-14s %s\n' "$name" "$(cat "$out/$name.stages")"; done
sed -n 's/^log: \(Ghostscript renders the page .*\)/\1/p' "$out/turbo.log" | head -1
sed -n 's/^log: \(psdcmyk: .*\)/\1/p' "$out/turbo.log" | head -1

# The 64-megapixel photo (8000 x 8000 pixels at 720 dpi, JPEG) through the
# TIF/JPG route with the ICC conversion, in each Print raster mode: peak
# memory, goal <= 600 MiB in sequential and large-image mode.
if [ "$photo_rounds" -gt 0 ]; then
  photo=$work/photo-64mp.jpg
  [ -s "$photo" ] || convert -size 8000x8000 gradient:red-blue -swirl 90 -density 720 -units PixelsPerInch \
    -quality 90 "$photo"
  "$cli" --app-dir "$app" import "$photo" > /dev/null
  item=photo-64mp
  echo "64-megapixel JPEG $photo at 720x720 dpi with UseICC=1, $photo_rounds round(s)"
  for round in $(seq "$photo_rounds"); do
    job photo-sequential print --set UseICC=1 --set dfTurboMd=0 --set dfLargeImageMd=0
    job photo-large print --set UseICC=1 --set dfTurboMd=0 --set dfLargeImageMd=1
    job photo-turbo print --set UseICC=1 --set dfTurboMd=1 --set dfLargeImageMd=0
  done
  for row in "photo-sequential|64 MP JPEG, sequential|<= 600 MiB" "photo-large|64 MP JPEG, large-image|<= 600 MiB" \
             "photo-turbo|64 MP JPEG, turbo|"; do
    name=${row%%|*}; rest=${row#*|}; label=${rest%%|*}; goal=${rest#*|}
    printf '%-36s %9.2f %9s %9.1f   %s\n' "$label" "$(median "$name" 1)" "$(mib "$(median "$name" 2)")" \
      "$(median "$name" 3)" "$goal"
  done
fi

[ "$big_rounds" -gt 0 ] || exit 0
big=$work/test-24x36.pdf
[ -s "$big" ] || gs -q -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=1728 -dDEVICEHEIGHTPOINTS=2592 -dFIXEDMEDIA \
  -dPDFFitPage -o "$big" "$pdf"
pdf=$big
"$cli" --app-dir "$app" import "$pdf" > /dev/null
item=test-24x36
echo "24 x 36 inch page $pdf at 720x720 dpi, large-image mode, $big_rounds round(s)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq "$big_rounds"); do
  job big print --set dfTurboMd=0 --set dfLargeImageMd=1 --set dfImageRt=0
  job big-turned print --set dfTurboMd=0 --set dfLargeImageMd=1 --set dfImageRt=1 --set dfRotLimit=
done
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-36s %9.2f %9s %9.1f\n' "24 x 36, large-image" "$(median big 1)" "$(mib "$(median big 2)")" \
  "$(median big 3)"
printf '%-36s %9.2f %9s %9.1f %8sx   %s\n' "24 x 36, large-image, 90-degree turn" "$(median big-turned 1)" \
  "$(mib "$(median big-turned 2)")" "$(median big-turned 3)" "$(ratio "$(median big-turned 1)" "$(median big 1)")" \
  "<= 2048 MiB"
