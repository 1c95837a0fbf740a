#!/usr/bin/env bash
# README command 1: installs, builds and runs the main job on the embedded
# default AppDir (build/app).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
app=build/app
cli="$app/quillmark-cli"

# The project's own sample page: process colours, tints, a gradient, text and
# the Default preset's two spot colours (White, Varnish), 4 x 3 inches.
page=build/sample-page.pdf
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -o "$page" - <<'PS'
<< /PageSize [288 216] >> setpagedevice
/White   [/Separation (White)   /DeviceCMYK { 0 exch 0 exch 0 exch 0.2 mul }] def
/Varnish [/Separation (Varnish) /DeviceCMYK { dup 0.1 mul exch 0 exch 0.1 mul 0 }] def
% a white underbase under the whole artwork
gsave White setcolorspace 1 setcolor 12 12 264 192 rectfill grestore
% process colour gradient
gsave
<< /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [12 0 276 0]
   /Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0 0] /C1 [0 0.8 0.9 0] /N 1 >> >>
12 108 264 96 rectclip shfill
grestore
% tint ramps of each process ink
0 1 3 { /k exch def
  0 1 9 { /t exch def
    [0 0 0 0] dup k t 1 add 10 div put aload pop setcmykcolor
    12 t 26.4 mul add 90 k 15 mul sub 26.4 13 rectfill
  } for
} for
% varnish disc over the gradient
gsave Varnish setcolorspace 0.8 setcolor 230 156 30 0 360 arc fill grestore
% text in black
0 0 0 1 setcmykcolor /Helvetica-Bold findfont 22 scalefont setfont 20 16 moveto (Quillmark) show
0 0 0 0.6 setcmykcolor /Times-Roman findfont 10 scalefont setfont 170 18 moveto (sample page) show
showpage
PS

# A fresh import of the page, printed by the Default preset.
rm -rf "$app/RipIn/CustomFiles/sample-page"
rm -f "$app/RipIn/UserPrn/sample-page."*
"$cli" --app-dir "$app" import "$page"
"$cli" --app-dir "$app" --progress none print sample-page
# The job leaves its planes in the Working folder; the AppDir keeps only the
# imported page and its PRN file.
find "$app/RipIn/Working" -mindepth 1 -delete
prn=$(ls "$app/RipIn/UserPrn/sample-page."*)
"$cli" --app-dir "$app" prn-info "$prn"
"$cli" --app-dir "$app" prn-preview "$prn" build/sample-page.png
echo "PRN file: $prn"
echo "preview:  build/sample-page.png"
