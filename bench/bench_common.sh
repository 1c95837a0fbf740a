# Shared by the benchmark scripts (sourced, POSIX sh). Needs $build and $cli.
# Makes a scratch AppDir in $app from the built one, a report folder in $out
# (both removed at exit), and measure(), which prints "seconds peak_kib" from
# a /usr/bin/time -v report, then the CPU seconds (user + system, children
# included).
[ -x "$cli" ] || { echo "no $cli: build quillmark-cli first" >&2; exit 2; }
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
