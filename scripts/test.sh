#!/usr/bin/env bash
# Fresh Debian 12: install what is missing, build, and run the whole test suite with CTest.
# The store's tests also run against a throw-away PostgreSQL server (VM_TEST_PG_URL), started
# here and stopped when the tests end; without the server programs those cases are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
scripts/build.sh "$@"
pgdir=$(mktemp -d /tmp/vmpg.XXXXXX)
trap '"$root/scripts/pg-test-server.sh" stop "$pgdir"' EXIT
if url=$(scripts/pg-test-server.sh start "$pgdir"); then
  export VM_TEST_PG_URL=$url
else
  echo "note: no PostgreSQL test server; the shared-database cases are skipped" >&2
fi
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)" --timeout 300
