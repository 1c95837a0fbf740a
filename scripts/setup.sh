#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: apt is asked
# only for packages that are missing. Runs as root, or through sudo.
set -euo pipefail
packages=(
  build-essential cmake pkg-config git
  libmagick++-6.q16hdri-dev libtiff-dev liblcms2-dev zlib1g-dev libpng-dev
  ghostscript libgs-common imagemagick-6.q16
  qt6-base-dev
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth
  libpappl-dev cups-ipp-utils chromium
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
