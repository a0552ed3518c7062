#!/usr/bin/env bash
# Fresh Debian 12: install what is missing, build, and run the whole test suite with CTest.
# The store's tests also run against a throw-away PostgreSQL server (VM_TEST_PG_URL), started
# here and stopped when the tests end; without the server programs those cases are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
scripts/build.sh "$@"
cd "${BUILD_DIR:-build}"
"$root/scripts/pg-test-server.sh" run ctest --output-on-failure -j"$(nproc)" --timeout 300
