#!/bin/sh
# Starts the program under a virtual X server with a small demonstration database in a
# temporary home and writes a screenshot of the whole screen.
#   scripts/screenshot.sh [build-dir] [out.png] [seconds to wait]
# The port question that the program asks at start is left open on the picture.
#   scripts/screenshot.sh --tables [build-dir] [out-dir] [de|en]
# Instead writes pictures of the main window with each table and of a reader's parameter
# dialog into out-dir (target ui_shots). QT_SCALE_FACTOR=2 and the like pass through;
# VM_SCREEN=2560x1600 gives the virtual screen another size.
set -eu
tables=0
[ "${1:-}" = "--tables" ] && { tables=1; shift; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/screenshot.png}
wait=${3:-6}

bin=$build/bin/vendrik-manager
seed=$build/bin/ui_seed_demo
[ -x "$bin" ] || { echo "no program at $bin (build the target vendrik-manager)" >&2; exit 1; }
[ -x "$seed" ] || { echo "no seeding tool at $seed (build the target ui_seed_demo)" >&2; exit 1; }

[ $tables -eq 0 ] || [ -x "$build/bin/ui_shots" ] || { echo "no $build/bin/ui_shots (build the target ui_shots)" >&2; exit 1; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config" "$home/data"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
export QT_QPA_PLATFORM=xcb
"$seed"

if [ $tables -eq 1 ]; then
  dir=${2:-$root/docs/screenshots}
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  cd "$build/bin"
  xvfb-run -a -s "-screen 0 ${VM_SCREEN:-1280x960}x24" ./ui_shots "$dir" "${3:-de}"
  exit 0
fi

case "$out" in /*) ;; *) out=$(pwd)/$out ;; esac
cd "$build/bin"
xvfb-run -a -s "-screen 0 ${VM_SCREEN:-1280x960}x24" sh -c "
  \"$bin\" &
  pid=\$!
  sleep $wait
  import -window root \"$out\"
  kill \$pid 2>/dev/null || true
  wait \$pid 2>/dev/null || true
"
echo "$out"
