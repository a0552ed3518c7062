#!/usr/bin/env bash
# Fresh Debian 12: install what is missing, build, and run the whole test suite with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh "$@"
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)" --timeout 300
