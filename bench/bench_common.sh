# Shared by the benchmark scripts (sourced, POSIX sh). Needs $build and $cli.
# Makes a scratch AppDir in $app from the built one, a report folder in $out
# (both removed at exit), and measure(), which prints "seconds peak_kib" from
# a /usr/bin/time -v report, then the CPU seconds (user + system, children
# included).
[ -x "$cli" ] || { echo "no $cli: build quillmark-cli first" >&2; exit 2; }
build=$(cd "$build" && pwd)  # the AppDir's links must not depend on the caller's folder
cli=$build/app/quillmark-cli
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }

app=$(mktemp -d)
out=$(mktemp -d)
trap 'rm -rf "$app" "$out"' EXIT
cp -r "$build/app/Configuration" "$app/"
[ -d "$build/app/ICC" ] && cp -r "$build/app/ICC" "$app/"
[ -d "$build/app/etc" ] && cp -r "$build/app/etc" "$app/"
mkdir -p "$app/bin"
ln -s /usr/bin/gs "$app/bin/gs"
[ -x "$build/app/magick" ] && ln -s "$build/app/magick" "$app/magick"

measure() {
  secs=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$1" |
    awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }')
  kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$1")
  cpu=$(sed -n 's/.*\(User\|System\) time (seconds): //p' "$1" | awk '{ s += $1 } END { print s }')
  echo "$secs $kib $cpu"
}

# The preset Bench.cfg of the A3 benchmarks: 720 x 720 dpi, no ICC, Bits 2,
# UseDots 111, no light inks, the test page's two spots packed last.
make_bench_preset() {
  tr -d '\r' < "$app/Configuration/Default.cfg" | sed \
    -e 's/^xResolution=.*/xResolution=720/' -e 's/^yResolution=.*/yResolution=720/' \
    -e 's/^UseICC=.*/UseICC=0/' -e 's/^DitherMethod=.*/DitherMethod=0/' -e 's/^Bits=.*/Bits=2/' \
    -e 's/^UseDots=.*/UseDots=111/' -e 's/^PdfSpotColorName=.*/PdfSpotColorName=SpotOrange,SpotGreen/' \
    -e 's/^PRNSequence=.*/PRNSequence=0,1,2,3,,,,,,,,,S0,S1/' \
    -e 's/^UseLc=.*/UseLc=0/' -e 's/^UseLm=.*/UseLm=0/' -e 's/^UseLk=.*/UseLk=0/' -e 's/^UseLlk=.*/UseLlk=0/' \
    > "$app/Configuration/Bench.cfg"
  cp -r "$app/Configuration/Default" "$app/Configuration/Bench"
}
