#!/usr/bin/env bash
# README command 1: installs, builds and runs the main job on the embedded
# default AppDir (build/app).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
app=build/app
"$app/quillmark-cli" --app-dir "$app" apply
