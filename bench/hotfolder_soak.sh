#!/usr/bin/env bash
# Soak of the hot folder as a print shop runs it: the desktop program on a
# scratch AppDir with the hot folder "AHotFolder" activated at start-up
# (dfActiveHF), or with --headless `quillmark-cli watch AHotFolder` (no
# display, no Qt), files dropped into it one after another -- plain copies,
# copies whose writer pauses 4 or 7 s with the file open half-written, names
# dropped again after their first print, names with spaces, non-ASCII and
# non-UTF-8 bytes, and a few bad files -- while quillmark-cli prints on the
# same AppDir now and then (--wait), the program killed (SIGKILL) while it
# prints and started again, then counted:
#
#   files dropped / printed once / printed twice / lost / printed while
#   still being written / kept as failed, latency (drop written to PRN
#   file) median and max, the program's memory (VmRSS) at start and end,
#   ticks skipped for a command-line job, command-line jobs refused.
#
# A PRN file counts as printed early when its bytes differ from the PRN file
# that quillmark-cli prints from the whole artwork. Exit status 0 when
# nothing was lost, nothing printed early, every good file printed and every
# bad file kept in RipIn/Failed; 1 otherwise; 2 for bad usage.
#
# usage: bench/hotfolder_soak.sh [--build DIR] [--files N] [--bad N] [--kill|--no-kill]
#                                [--platform xvfb|offscreen | --headless] [--interval SECONDS] [--keep]
#   defaults: build, 100 files, 5 bad, one kill, xvfb (needs Xvfb), 2 s between drops.
# The test suite runs a short one: --files 10 --bad 1 --no-kill --headless.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build files=100 bad=5 kill=1 platform=xvfb interval=2 keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift ;;
    --files) files=$2; shift ;;
    --bad) bad=$2; shift ;;
    --kill) kill=1 ;;
    --no-kill) kill=0 ;;
    --platform) platform=$2; shift ;;
    --headless) platform=headless ;;
    --interval) interval=$2; shift ;;
    --keep) keep=1 ;;
    *) echo "usage: $0 [--build DIR] [--files N] [--bad N] [--kill|--no-kill] [--platform xvfb|offscreen | --headless]" \
            "[--interval SECONDS] [--keep]" >&2; exit 2 ;;
  esac
  shift
done
build=$(cd "$build" && pwd)
gui=$build/app/quillmark cli=$build/app/quillmark-cli
convert=$(command -v convert-im6.q16 || command -v convert-im6 || true)
program=$gui
[ "$platform" = headless ] && program=$cli
for tool in "$program" "$cli" "$convert"; do
  [ -x "$tool" ] || { echo "hotfolder_soak: missing ${tool:-convert-im6.q16 (Debian imagemagick-6.q16)}" >&2; exit 2; }
done
[ "$platform" != xvfb ] || command -v Xvfb >/dev/null || { echo "hotfolder_soak: needs Xvfb" >&2; exit 2; }

work=$(mktemp -d /tmp/qm-soak-XXXXXX)
app=$work/app ref=$work/ref
hot=$app/RipIn/CustomFiles/AHotFolder batch=$app/RipIn/CustomFiles/.AHotFolder.batch
failed=$app/RipIn/Failed/AHotFolder prn=$app/RipIn/UserPrn log=$work/gui.log
gui_pid= xvfb_pid=
cleanup() {
  [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  if [ "$keep" = 1 ]; then echo "kept: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

set_value() {  # file key value: KEY=VALUE lines with CR LF
  sed -i "s/^$2=[^\r]*/$2=$3/" "$1"
}
make_appdir() {
  mkdir -p "$1/bin"
  cp -r "$build/app/Configuration" "$1/"
  [ -d "$build/app/ICC" ] && cp -r "$build/app/ICC" "$1/"
  [ -d "$build/app/etc" ] && cp -r "$build/app/etc" "$1/"
  ln -s /usr/bin/gs "$1/bin/gs"
  ln -s "$build/app/magick" "$1/magick"
  # Small artwork at 72 dpi: a hundred files print in minutes.
  for key in xResolution yResolution; do set_value "$1/Configuration/Default.cfg" $key 72; done
  for kv in dfVectorX=72 dfVectorY=72 dfTurboMd=0 dfLargeImageMd=0 dfLaunchPAPP=0 dfActiveHF=1 dfPreserveCF=1; do
    set_value "$1/Configuration/initiation.ini" "${kv%%=*}" "${kv#*=}"
  done
  mkdir -p "$1/RipIn/CustomFiles/AHotFolder"
}
make_appdir "$app"
make_appdir "$ref"

# Eight pieces of artwork (JPEG, TIFF, PDF) and the PRN file the command line
# prints from each, whole.
contents=(c0.jpg c1.jpg c2.jpg c3.jpg c4.tif c5.tif c6.jpg c7.pdf)
mkdir -p "$work/art" "$ref/RipIn/CustomFiles/ref"
viewjpeg=$(ls /usr/share/ghostscript/*/lib/viewjpeg.ps 2>/dev/null | head -1)
for i in "${!contents[@]}"; do
  out=$work/art/${contents[$i]}
  case $out in
    *.pdf)  # ImageMagick 6's policy writes no PDF: Ghostscript makes it from a JPEG
      "$convert" -seed $((i + 1)) -size 160x120 plasma:fractal "$work/art/pdf.jpg"
      gs -q -dNOSAFER -sDEVICE=pdfwrite -o "$out" "$viewjpeg" -c "($work/art/pdf.jpg) viewJPEG" ;;
    *) "$convert" -seed $((i + 1)) -size 160x120 plasma:fractal -density 72 -units PixelsPerInch "$out" ;;
  esac
  cp "$out" "$ref/RipIn/CustomFiles/ref/"
done
"$cli" --app-dir "$ref" --progress none print ref 2>"$work/ref.log" || { cat "$work/ref.log" >&2; exit 1; }
declare -A ref_md5
for i in "${!contents[@]}"; do ref_md5[$i]=$(md5sum < "$ref/RipIn/UserPrn/c$i.prn" | cut -d' ' -f1); done

# The command line's own item on the same AppDir.
mkdir -p "$app/RipIn/CustomFiles/cli"
cp "$work/art/c1.jpg" "$app/RipIn/CustomFiles/cli/cli job.jpg"
declare -A allowed
allowed["cli job"]=1

# ---- the program ------------------------------------------------------------
declare -a rss_start rss_end
start_gui() {
  if [ "$platform" = headless ]; then
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$cli" --app-dir "$app" --verbose --progress none \
      watch AHotFolder >>"$work/gui.out" 2>>"$log" &
  elif [ "$platform" = offscreen ]; then
    QT_QPA_PLATFORM=offscreen "$gui" --app-dir "$app" --verbose >>"$work/gui.out" 2>>"$log" &
  else
    DISPLAY=:$display "$gui" --app-dir "$app" --verbose >>"$work/gui.out" 2>>"$log" &
  fi
  gui_pid=$!
  sleep 2
  rss_start+=("$(rss)")
  # The headless front end maps no Qt library.
  if [ "$platform" = headless ] && grep -q 'libQt' "/proc/$gui_pid/maps" 2>/dev/null; then qt_loaded=1; fi
}
qt_loaded=0
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$gui_pid/status" 2>/dev/null || echo 0; }
if [ "$platform" = xvfb ]; then
  exec 9>"$work/display"
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  display=$(cat "$work/display")
fi
: >"$log"
start_gui

# ---- the drops ------------------------------------------------------------
# Per drop: its name, its artwork (index into contents, or "bad"), and when
# its writer finished.
declare -a drop_name drop_content
declare -A done_at
unusual=("with space" $'caf\xc3\xa9 \xc3\xb1' $'latin1 caf\xe9' "quote ' mark" "semi;colon" "-dash" "brackets [1]"
         "dots.in.name")
now() { date +%s.%N; }
drop() {  # index name content-index|bad mode
  local i=$1 name=$2 content=$3 mode=$4 source
  drop_name[$i]=$name drop_content[$i]=$content
  if [ "$content" = bad ]; then
    case $mode in
      0) head -c 3000 "$work/art/c0.jpg" >"$hot/$name" ;;            # a JPEG cut short
      1) printf 'this is no PDF\n' >"$hot/$name" ;;                   # text named .pdf
      2) head -c 5000 /dev/urandom >"$hot/$name" ;;                   # noise named .tif
      3) : >"$hot/$name" ;;                                           # empty
    esac
    echo "$i $(now)" >>"$work/done"
    return
  fi
  source=$work/art/${contents[$content]}
  case $mode in
    slow4 | slow7)
      local half=$(($(stat -c %s "$source") / 2))
      ( exec 3>"$hot/$name"; head -c $half "$source" >&3; sleep "${mode#slow}"
        tail -c +$((half + 1)) "$source" >&3; exec 3>&-; echo "$i $(now)" >>"$work/done" ) &
      ;;
    *) cp "$source" "$hot/$name"; echo "$i $(now)" >>"$work/done" ;;
  esac
}
ext_of() { echo "${contents[$1]##*.}"; }
prints_of() { grep -c -F -- "/.AHotFolder.batch/$1 to " "$log" || true; }

# PRN files are checked as they appear: each must be the command line's
# print of an artwork dropped under its name.
declare -A seen_mtime
early=0 early_names=
check_prns() {
  local f stem m sum ok
  for f in "$prn"/*.prn; do
    [ -e "$f" ] || continue
    m=$(stat -c %.3Y "$f")
    [ "${seen_mtime[$f]:-}" = "$m" ] && continue
    seen_mtime[$f]=$m
    stem=${f##*/}; stem=${stem%.prn}
    sum=$(md5sum < "$f" | cut -d' ' -f1)
    ok=0
    for c in ${allowed[$stem]:-}; do [ "${ref_md5[$c]}" = "$sum" ] && ok=1; done
    if [ $ok = 0 ]; then early=$((early + 1)); early_names+=" $stem"; fi
    echo "$stem $m" >>"$work/printed"
  done
}

: >"$work/done"
: >"$work/printed"
: >"$work/cli"
cli_pids=()
bad_every=$(( bad > 0 ? files / bad : files + 1 ))
killed=0
for ((i = 0; i < files; i++)); do
  if [ "$bad" -gt 0 ] && [ $((i % bad_every)) = $((bad_every - 1)) ] && [ $((i / bad_every)) -lt "$bad" ]; then
    kind=$(( i / bad_every % 4 )) exts=(jpg pdf tif jpg)
    drop $i "bad $i.${exts[$kind]}" bad $kind
  else
    content=$((i % ${#contents[@]}))
    mode=plain name="file $i.$(ext_of $content)"
    [ $((i % 5)) = 1 ] && mode=slow4
    [ $((i % 5)) = 3 ] && mode=slow7
    [ $((i % 4)) = 2 ] && name="${unusual[$((i / 4 % ${#unusual[@]}))]} $i.$(ext_of $content)"
    # Every tenth drop takes again the name of the first drop of its ten,
    # once that has been printed, with other artwork of the same kind.
    j=$((i - 7))
    if [ $((i % 10)) = 7 ] && [ "${drop_content[$j]}" != bad ]; then
      prev=${drop_name[$j]}
      for _ in $(seq 240); do
        [ "$(prints_of "$prev")" -ge 1 ] && [ ! -e "$hot/$prev" ] && break
        check_prns; sleep 0.25
      done
      content=$(( (drop_content[j] + 1) % ${#contents[@]} ))
      [ "$(ext_of $content)" = "${prev##*.}" ] || content=${drop_content[$j]}
      name=$prev mode=plain
    fi
    stem=${name%.*}
    allowed[$stem]="${allowed[$stem]:-} $content"
    drop $i "$name" "$content" $mode
  fi
  # The kill: half-way, while a tick prints (its batch folder holds files).
  if [ "$kill" = 1 ] && [ $killed = 0 ] && [ $i -ge $((files / 2)) ]; then
    for _ in $(seq 600); do compgen -G "$batch/*" >/dev/null && break; sleep 0.05; done
    rss_end+=("$(rss)")
    kill -9 "$gui_pid"; wait "$gui_pid" 2>/dev/null || true
    killed=1
    start_gui
  fi
  # A command-line print now and then, waiting for its turn.
  if [ $((i % 3)) = 0 ]; then
    ( "$cli" --app-dir "$app" --progress none --wait 120 print cli 2>>"$work/cli.log"; echo $? >>"$work/cli" ) &
    cli_pids+=($!)
  fi
  check_prns
  sleep "$interval"
done

# Until every writer is done and the folder has been empty for three looks.
quiet=0
for _ in $(seq 600); do
  check_prns
  if [ "$(wc -l <"$work/done")" -ge "$files" ] && [ -z "$(ls -A "$hot")" ] && [ ! -e "$batch" ]; then
    quiet=$((quiet + 1))
    [ $quiet -ge 6 ] && break
  else
    quiet=0
  fi
  sleep 0.5
done
check_prns
rss_end+=("$(rss)")
kill -TERM "$gui_pid"; wait "$gui_pid" 2>/dev/null || true
gui_pid=

# ---- the count ----------------------------------------------------------------
declare -A drops_of
for ((i = 0; i < files; i++)); do drops_of[${drop_name[$i]}]=$(( ${drops_of[${drop_name[$i]}]:-0} + 1 )); done
once=0 twice=0 lost=0 kept=0 good_kept=0 bad_printed=0 waiting=0 lost_names= counted=
for ((i = 0; i < files; i++)); do
  name=${drop_name[$i]}
  case " $counted " in *" $i "*) continue ;; esac
  p=$(prints_of "$name") d=${drops_of[$name]}
  in_failed=0; [ -e "$failed/$name" ] && in_failed=1
  in_hot=0; [ -e "$hot/$name" ] && in_hot=1
  if [ "${drop_content[$i]}" = bad ]; then
    if [ $in_failed = 1 ]; then kept=$((kept + 1))
    elif [ "$p" -gt 0 ]; then bad_printed=$((bad_printed + 1))
    elif [ $in_hot = 1 ]; then waiting=$((waiting + 1))
    else lost=$((lost + 1)); lost_names+=" [$name]"; fi
    continue
  fi
  # The drops of one name are counted together.
  for ((j = i; j < files; j++)); do [ "${drop_name[$j]}" = "$name" ] && counted+=" $j"; done
  printed=$(( p < d ? p : d ))
  once=$((once + printed))
  [ "$p" -gt "$d" ] && twice=$((twice + p - d))
  missing=$((d - printed))
  [ $missing -gt 0 ] && [ $in_failed = 1 ] && { good_kept=$((good_kept + 1)); missing=$((missing - 1)); }
  [ $missing -gt 0 ] && [ $in_hot = 1 ] && { waiting=$((waiting + 1)); missing=$((missing - 1)); }
  [ $missing -gt 0 ] && { lost=$((lost + missing)); lost_names+=" [$name]"; }
done
# Latency: from the end of a drop's writing to the first PRN file after it.
latencies=$(
  while read -r i t; do
    name=${drop_name[$i]}; [ "${drop_content[$i]}" = bad ] && continue
    awk -v s="${name%.*}" -v t="$t" '{ stem = $0; sub(/ [^ ]*$/, "", stem); m = $NF }
      stem == s && m >= t && (best == "" || m < best) { best = m } END { if (best != "") printf "%.2f\n", best - t }' \
      "$work/printed"
  done <"$work/done" | sort -n)
count=$(echo "$latencies" | grep -c . || true)
median=$(echo "$latencies" | awk -v n="$count" 'NR == int((n + 1) / 2) { print }')
max=$(echo "$latencies" | tail -1)
skipped=$(grep -c "tick skipped" "$log" || true)
for p in "${cli_pids[@]}"; do wait "$p" || true; done
cli_jobs=$(wc -l <"$work/cli") cli_refused=$(grep -vc '^0$' "$work/cli" || true)

# The watch command's JSON lines against the log's prints and RipIn/Failed.
json_printed=- json_failed=- json_ok=1
if [ "$platform" = headless ]; then
  json_printed=$(grep -c '^{"event": "printed"' "$work/gui.out" || true)
  json_failed=$(grep -c '^{"event": "failed"' "$work/gui.out" || true)
  log_prints=$(grep -F -- "log: printed " "$log" | grep -c -F -- "/.AHotFolder.batch/" || true)
  # A kill may fall between a print's log line and its JSON line.
  [ "$killed" = 0 ] && { [ "$json_printed" = "$log_prints" ] && [ "$json_failed" = "$kept" ] || json_ok=0; }
fi

printf 'hot-folder soak: %d files (%d bad), %d kill, platform %s, %s s between drops\n' \
  "$files" "$bad" "$killed" "$platform" "$interval"
printf '  %-38s %s\n' "files dropped" "$files" \
  "printed once" "$once" \
  "printed twice" "$twice" \
  "lost" "$lost${lost_names:+ ($lost_names )}" \
  "printed while still being written" "$early${early_names:+ ($early_names )}" \
  "kept as failed" "$kept of $bad bad, $good_kept good" \
  "bad files printed" "$bad_printed" \
  "still in the hot folder" "$waiting" \
  "latency median / max" "${median:-?} s / ${max:-?} s (of $count prints)" \
  "memory (VmRSS) start / end" "$(for k in "${!rss_start[@]}"; do
                                   awk -v a="${rss_start[$k]}" -v b="${rss_end[$k]:-0}" -v n=$((k + 1)) \
                                     'BEGIN { printf "%s%.1f / %.1f MiB", (n > 1 ? "; after the kill " : ""), a / 1024, b / 1024 }'
                                 done)" \
  "ticks skipped for a command-line job" "$skipped" \
  "command-line prints refused" "$cli_refused of $cli_jobs"
[ "$platform" = headless ] && printf '  %-38s %s\n' "JSON lines printed / failed" "$json_printed / $json_failed" \
  "Qt libraries mapped" "$([ $qt_loaded = 1 ] && echo yes || echo no)"
[ "$lost" = 0 ] && [ "$early" = 0 ] && [ "$kept" = "$bad" ] && [ "$good_kept" = 0 ] && [ "$bad_printed" = 0 ] &&
  [ "$waiting" = 0 ] && [ "$once" -ge $((files - bad)) ] && [ "$cli_refused" = 0 ] && [ "$json_ok" = 1 ] &&
  [ "$qt_loaded" = 0 ]
