#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and its tests need, when missing.
# --fuzz: also what scripts/fuzz.sh needs.
set -euo pipefail
packages=(build-essential cmake qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libsqlite3-dev
          libgl-dev xvfb xauth fonts-dejavu-core imagemagick x11-utils qt6-translations-l10n
          postgresql libqt6sql6-psql libpq-dev
          poppler-utils)   # pdftotext and pdfinfo: the event report tests read the PDF back
[ "${1:-}" = "--fuzz" ] && packages+=(clang libclang-rt-14-dev)   # scripts/fuzz.sh: clang and its libFuzzer runtime
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
