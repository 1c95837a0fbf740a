#!/usr/bin/env bash
# The installed program's first run in an empty HOME: `cmake --install` into a
# temporary prefix, then quillmark-cli from there makes the per-user AppDir
# from the installed template (profiles as files of its own, magick and bin/gs
# linked) and prints a small patch; the watch unit names the installed
# program; XDG_DATA_HOME moves the AppDir.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
unset QUILLMARK_APPDIR XDG_DATA_HOME
export HOME="$work/home"
mkdir "$HOME"
cli="$work/prefix/bin/quillmark-cli"
app="$HOME/.local/share/quillmark"
fail() { echo "FAILED: $*" >&2; exit 1; }

printf 'P6\n2 2\n255\n\377\0\0\0\377\0\0\0\377\377\377\377' >"$work/patch.ppm"
"$cli" import "$work/patch.ppm" >/dev/null
[ -f "$app/Configuration/Default.cfg" ] || fail "no Configuration in $app"
[ -f "$app/Configuration/Default/CMYK/default_cmyk.icc" ] && [ ! -L "$app/Configuration/Default/CMYK/default_cmyk.icc" ] ||
  fail "the preset's profiles are not files of the AppDir"
[ "$(readlink "$app/magick")" = "$work/prefix/lib/quillmark/magick" ] || fail "magick is not the installed tool"
[ -x "$app/bin/gs" ] || fail "no bin/gs"
"$cli" --progress none --set xResolution=72 --set yResolution=72 print patch || fail "print"
"$cli" prn-info "$app/RipIn/UserPrn/patch.prn" | grep -q '"sizeOk": true' || fail "prn-info"

unit="$work/prefix/share/systemd/user/quillmark-watch@.service"
grep -qx "ExecStart=$cli --progress none watch \"%I\"" "$unit" || fail "the watch unit does not run $cli"
if command -v systemd-analyze >/dev/null; then
  cp "$unit" "$work/quillmark-watch@Night_HotFolder.service"
  systemd-analyze verify "$work/quillmark-watch@Night_HotFolder.service" || fail "systemd-analyze verify"
fi
server_unit="$work/prefix/share/systemd/user/quillmark-server.service"
if [ -e "$(dirname "$cli")/quillmark-server" ]; then
  grep -qx "ExecStart=$(dirname "$cli")/quillmark-server" "$server_unit" || fail "the server unit does not run the installed server"
fi

XDG_DATA_HOME="$work/xdg" "$cli" presets | grep -q '"Default.cfg"' || fail "presets under XDG_DATA_HOME"
[ -d "$work/xdg/quillmark/RipIn/Working" ] || fail "no AppDir under XDG_DATA_HOME"
echo "installed program ran from $app"
