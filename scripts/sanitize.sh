#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer+UndefinedBehaviorSanitizer (build-asan/) and with
# ThreadSanitizer (build-tsan/) and runs it in both; fails when a test fails or a sanitizer
# reports anything. Usage: scripts/sanitize.sh [address] [thread]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(address thread)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
failed=()
for kind in "${kinds[@]}"; do
  case "$kind" in
    address) dir=build-asan; run=() ;;
    # Linux kernels with many random mmap bits put memory where the thread sanitizer of
    # Debian 12's gcc does not expect it; without address randomisation it always starts.
    thread) dir=build-tsan; run=(setarch "$(uname -m)" -R) ;;
    *) echo "usage: scripts/sanitize.sh [address] [thread]" >&2; exit 2 ;;
  esac
  echo "== $kind sanitizer: building into $dir"
  BUILD_DIR="$dir" scripts/build.sh -DVM_SANITIZE="$kind" "${launcher[@]}"
  echo "== $kind sanitizer: running the suite"
  rm -rf "$dir/sanitizer-logs"
  mkdir -p "$dir/sanitizer-logs"
  # The store's cases also run against a throw-away PostgreSQL server, as in scripts/test.sh.
  if ! (cd "$dir" && "${run[@]}" "$root/scripts/pg-test-server.sh" run ctest --output-on-failure -j"$(nproc)"); then
    failed+=("$kind")
  fi
  # Every process writes its reports there, also the simulators the tests start.
  if [ -n "$(find "$dir/sanitizer-logs" -type f -print -quit)" ]; then
    find "$dir/sanitizer-logs" -type f -exec sh -c 'echo "---- $1"; cat "$1"' _ {} \;
    failed+=("$kind (reports)")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "== sanitizer runs with failures: ${failed[*]}" >&2
  exit 1
fi
echo "== sanitizer runs clean: ${kinds[*]}"
