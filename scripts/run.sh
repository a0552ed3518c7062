#!/usr/bin/env bash
# Fresh Debian 12: install what is missing, build what is started (nothing else), and start it.
#   scripts/run.sh          the program, with your own settings and database
#   scripts/run.sh --demo   a simulated Cedar reader holding some events on a free COM number, a
#                           small demonstration database in a temporary home, and the program set
#                           to that port, going online at start. Closing the window ends the
#                           simulator too and removes the temporary home with all it holds.
set -euo pipefail
cd "$(dirname "$0")/.."
demo=0
case "${1:-}" in
  "") ;;
  --demo) demo=1 ;;
  *) echo "usage: scripts/run.sh [--demo]" >&2; exit 2 ;;
esac

build="${BUILD_DIR:-build}"
scripts/deps.sh
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
targets=(vendrik-manager)
[ "$demo" -eq 1 ] && targets+=(vendrik-readersim ui_seed_demo)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
bin=$(cd "$build/bin" && pwd)
[ "$demo" -eq 1 ] || exec "$bin/vendrik-manager"

home=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
  fi
  rm -rf "$home"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$home/config" "$home/data"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
"$bin/ui_seed_demo" >/dev/null

# The first COM number from 7 on that has no link in the (new) folder of links.
links="$XDG_CONFIG_HOME/Brimlow/Vendrik Manager AIO/dosdevices"
com=7
while [ -e "$links/com$com" ] || [ -L "$links/com$com" ]; do com=$((com + 1)); done
# The reader "Haupteingang" of the demonstration database, with 40 events in its memory.
"$bin/vendrik-readersim" --model Cedar --com "$com" --device-id CD0012345678ABCDEF01 --events 40 \
  </dev/null >"$home/readersim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do
  [ -L "$links/com$com" ] && break
  kill -0 "$sim" 2>/dev/null || { cat "$home/readersim.log" >&2; exit 1; }
  sleep 0.1
done
printf '[General]\nnAktCOM=%d\n' "$com" >"$XDG_CONFIG_HOME/Brimlow/Vendrik Manager AIO.ini"
echo "Simulated Cedar reader on COM$com; the program goes online with it. Close the window to end the demonstration."
# The port question at start is answered with "connect now" to that port.
VM_CONNECT_AT_START=1 "$bin/vendrik-manager"
