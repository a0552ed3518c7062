#!/usr/bin/env bash
# Fresh Debian 12: install what is missing, build, and start the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
exec "${BUILD_DIR:-build}/bin/vendrik-manager"
