#!/bin/sh
# Starts the program under a virtual X server with a small demonstration database in a
# temporary home and writes a screenshot of the whole screen.
#   scripts/screenshot.sh [build-dir] [out.png] [seconds to wait]
# The port question that the program asks at start is left open on the picture.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/screenshot.png}
wait=${3:-6}

bin=$build/bin/vendrik-manager
seed=$build/bin/ui_seed_demo
[ -x "$bin" ] || { echo "no program at $bin (build the target vendrik-manager)" >&2; exit 1; }
[ -x "$seed" ] || { echo "no seeding tool at $seed (build the target ui_seed_demo)" >&2; exit 1; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config" "$home/data"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
export QT_QPA_PLATFORM=xcb
"$seed"

case "$out" in /*) ;; *) out=$(pwd)/$out ;; esac
cd "$build/bin"
xvfb-run -a -s "-screen 0 1280x960x24" sh -c "
  \"$bin\" &
  pid=\$!
  sleep $wait
  import -window root \"$out\"
  kill \$pid 2>/dev/null || true
  wait \$pid 2>/dev/null || true
"
echo "$out"
