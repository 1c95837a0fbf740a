#!/usr/bin/env bash
# Deliberate faults, one at a time: each mutant below replaces one piece of
# product code with a plausible mistake, the suite is built and run, and the
# mutant must make at least one test fail ("caught"). Run by hand, not in CI:
# two to three minutes per mutant on 2 busy cores (an incremental build and
# ctest up to the first failure), about 45 minutes for the list, plus the
# first build and one run of the suite on the unchanged tree.
#
# usage: scripts/mutants.sh [NAME...]     (default: every mutant)
#   QM_MUTANT_WORK        scratch folder (default: a new temporary folder;
#                         a kept folder is rebuilt incrementally next time)
#   QM_MUTANT_BUILD_JOBS  parallel build and test jobs (default: nproc)
#
# The source tree is copied (tracked files as they stand, uncommitted changes
# included) into the scratch folder and built there once; each mutant edits
# the copy, rebuilds incrementally, runs ctest until the first failure and
# puts the file back. The working tree is never touched. A mutant that no
# longer applies (its text is not found) or no longer builds counts as not
# caught: re-point it at the code's new text. Exit status 1 unless every
# mutant is caught.
#
# Builds and tests run under nice -n 15. Each mutant's ctest output is kept
# in a kept scratch folder as ctest-<name>.log. Prints one line per mutant
# ("caught by" the first test that failed, with the seconds it took) and
# "caught N of M".
set -uo pipefail
cd "$(dirname "$0")/.."

# name | file | exact text | replacement  (first occurrence only; each text
# is unique in its file, so the mutant changes the code it names)
mutants=(
  # halftone: the upper threshold one tone too high; the PRN code of a
  # full-tone dot; a dots code taking the wrong preset level
  'threshold-off-by-one|halftone/diffusion.cpp|* 0.5 + 32767.5|* 0.5 + 32768.5'
  'fallback-level-code|output/prn_format.cpp|if (levels.largeEnabled == 1) return 3;|if (levels.largeEnabled == 1) return 2;'
  'use-dots-110-levels|halftone/levels.cpp|levels.middle = oldLarge;|levels.middle = oldMiddle;'
  # the Print job's planes of the PDF route not turned over; a row lost in
  # the large-image bands and in the stitch of a split Ghostscript render
  'pdf-print-not-negated|jobs/print_job.cpp|raster.negate = separated.fromPdfRoute;|raster.negate = false;'
  'large-image-band-row|output/band_renderer.cpp|std::min(drop + i, band.height - 1)|std::min(drop + i + 1, band.height - 1)'
  'split-stitch-row|separation/split_render.cpp|for (uint32_t r = 0; r < rows.height; ++r)|for (uint32_t r = 1; r < rows.height; ++r)'
  # a quarter turn's block read one column off; a Ghostscript band copied
  # into its plane one row late
  'turn-block-column|imaging/plane_turn.cpp|in[a] = source(i + a, clockwise ? j : j + 15);|in[a] = source(i + a, clockwise ? j : j + 14);'
  'band-copy-offset|imaging/growing_plane.cpp|auto in = static_cast<off_t>(offsets[0]);|auto in = static_cast<off_t>(offsets[0] + rowBytes);'
  # PRN positions: magenta and yellow swapped
  'channel-order|output/prn_format.cpp|for (int i = kProcessInks.first; i < kProcessInks.end; ++i) slots.push_back(i);|for (int i : {0, 2, 1, 3}) slots.push_back(i);'
  # atomic writes (PRN file, planes, presets): never renamed into place, the
  # file not flushed, the folder not flushed after the rename
  'rename-skipped|platform/atomic_file.cpp|} else if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {|} else if (false) {'
  'file-fsync-skipped|platform/atomic_file.cpp|} else if (!scratch_ && ::fsync(fd_) != 0) {|} else if (false) {'
  'folder-fsync-skipped|platform/atomic_file.cpp|    ::fsync(dirFd);|    (void)dirFd;'
  # a quoted message with one character changed
  'message-text|settings/apply.h|"Fail to  read prn color sequence!";|"Fail to read prn color sequence!";'
  # separation: TIFF extra channels one spot too far; the resampled rows of a
  # whole plane one row down; light cyan and magenta copies swapped
  'tif-spot-index|jobs/stages.cpp|ChannelPlaneName(std::to_string(kProcessInks.size() + i))|ChannelPlaneName(std::to_string(kProcessInks.size() + 1 + i))'
  'resample-row-window|imaging/plane_ops.cpp|Weights(sourceRows, outH, enlarge, firstOut, count)|Weights(sourceRows, outH, enlarge, firstOut + 1, count)'
  'light-ink-slot|jobs/stages.cpp|InWorking(ChannelPlaneName(light.code))|InWorking(ChannelPlaneName(ChannelCode(kLightInks.first + (i ^ 1))))'
  # a hot-folder file that failed stays in the batch instead of RipIn/Failed;
  # an ink PRNSequence places nowhere dropped without its warning
  'hot-folder-not-set-aside|jobs/hot_folder.cpp|MoveFile(from / file, target) ? target : fs::path()|fs::path()'
  # a tick's print that keeps its files ("Preserved" left on); quillmark-cli
  # watch stopped mid-job without putting the batch back
  'tick-preserves-files|jobs/hot_folder_tick.cpp|moveFiles.dfPreserveCF = false;|(void)moveFiles;'
  'watch-batch-left|cli/cmd_watch.cpp|  PutBackNow();|  (void)PutBackNow;'
  'unplaced-ink-silent|separation/channels.cpp|host.Warn(UnplacedInkWarning(i, inkName ? inkName(i) : std::string()));|(void)inkName;'
  # a tool past its limit left running; its group outliving it; artwork
  # given the inherited temporary folder; a symbolic link followed
  'time-limit-ignored|platform/process.cpp|const bool limited = limits.timeLimitSeconds > 0 && result.started;|const bool limited = false;'
  'group-left-running|platform/process.cpp|::kill(-pid, SIGKILL);  // what is left of its group|// what is left of its group'
  'shared-temporary-folder|separation/tool_commands.cpp|return ToolRun{timeLimitSeconds, JobTemporaryFolder(), std::move(stage), stop};|return ToolRun{timeLimitSeconds, {}, std::move(stage), stop};'
  'link-followed|separation/staging.cpp|if (fs::is_symlink(fs::symlink_status(source, ec))) {|if (false) {'
  # the mirror forgotten in the large-image bands; the choke's disc one pixel
  # narrow; the white band read from its written rows instead of its strip
  'mirror-not-in-bands|output/band_renderer.cpp|if (page.recipe.mirror) {  // the dots flipped left to right|if (false) {'
  'choke-disc-narrow|separation/underbase_white.cpp|kept = m.left[x] > w && m.right[x] > w;|kept = m.left[x] >= w && m.right[x] >= w;'
  'white-band-rows|output/band_renderer.cpp|imaging::ReadPlaneRows(position.file, plan.stripFirst, plan.stripRows, band);|imaging::ReadPlaneRows(position.file, plan.outFirst, plan.stripRows, band);'
  # two planes halftoned side by side: the second given the first's slot in
  # the bands; the second's last pixels left unstored in the rows
  'pair-partner-slot|output/band_renderer.cpp|second.pixels.data(), slotQ,|second.pixels.data(), slotP,'
  'pair-partner-row-end|halftone/diffusion_scan.inc|  EndRow<Step>(b, w);|  (void)b;'
)

work=${QM_MUTANT_WORK:-$(mktemp -d)}
jobs=${QM_MUTANT_BUILD_JOBS:-$(nproc)}
export QT_QPA_PLATFORM=offscreen

# Copies the tracked files that differ from the scratch copy (a kept scratch
# folder is rebuilt incrementally; a copied file gets a new time stamp, so it
# is rebuilt even where an interrupted run left a mutant).
mkdir -p "$work/src"
git ls-files -z | while IFS= read -r -d '' f; do
  cmp -s "$f" "$work/src/$f" 2>/dev/null || { cp --parents -t "$work/src" "$f"; rm -f "$work/base-passed"; }
done

build() { nice -n 15 cmake --build "$work/build" -j"$jobs" >"$work/build.log" 2>&1; }
# The hot-folder soak (a minute) is left out: it repeats, at length, what the
# hot-folder tests check, and no mutant below is caught by it alone.
suite() {
  nice -n 15 ctest --test-dir "$work/build" -j"$jobs" --stop-on-failure --timeout 600 -E '^HotFolderSoak[.]' \
    >"$1" 2>&1
}

echo "building the unchanged tree in $work ..."
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_BENCH=OFF >/dev/null || exit 2
build || { tail -30 "$work/build.log"; echo "the unchanged tree does not build"; exit 2; }
# The unchanged tree must pass; a kept scratch folder whose sources have not
# changed since it passed is not tested again.
if [ ! -e "$work/base-passed" ]; then
  suite "$work/ctest.log" || { tail -30 "$work/ctest.log"; echo "the unchanged tree fails its tests"; exit 2; }
  touch "$work/base-passed"
fi

# Replaces the first occurrence of $2 by $3 in file $1 (literal text); fails
# when the text is not there.
replace_once() {
  perl -e '
    my ($file, $from, $to) = @ARGV;
    local $/; open(my $in, "<", $file) or exit 2; my $text = <$in>; close $in;
    my $at = index($text, $from); exit 3 if $at < 0;
    substr($text, $at, length($from)) = $to;
    open(my $out, ">", $file) or exit 2; print $out $text; close $out;' "$@"
}

wanted=" $* "
tried=0
caught=0
printf '%-26s %s\n' "mutant" "result"
for entry in "${mutants[@]}"; do
  IFS='|' read -r name file from to <<<"$entry"
  [ $# -eq 0 ] || [[ $wanted == *" $name "* ]] || continue
  tried=$((tried + 1))
  target=$work/src/$file
  log=$work/ctest-$name.log
  start=$SECONDS
  cp "$target" "$work/original"
  if ! replace_once "$target" "$from" "$to"; then
    result="NOT APPLIED (text not found in $file)"
  elif ! build; then
    result="NOT BUILT (see $work/build.log)"
    cp "$work/build.log" "$work/build-$name.log"
  elif suite "$log"; then
    result="SURVIVED"
  else
    failed=$(sed -n '/The following tests FAILED/,$p' "$log" | grep -m1 -oE '[0-9]+ - [^ ]+')
    result="caught by ${failed#* - } ($((SECONDS - start)) s)"
    caught=$((caught + 1))
  fi
  printf '%-26s %s\n' "$name" "$result"
  cp "$work/original" "$target"  # a new time stamp: rebuilt next time
done
build >/dev/null 2>&1
echo "caught $caught of $tried"
[ -n "${QM_MUTANT_WORK:-}" ] || rm -rf "$work"
[ "$caught" -eq "$tried" ]
