#!/bin/sh
# Installs the build into a temporary root, starts the installed program from its menu entry's
# Exec line with a temporary home and an empty working directory, and checks that it found its
# texts in the share folder and wrote its layout file into the user's config folder. Then
# builds the .deb and checks its dependencies.
#   check_install.sh <build dir> <cmake> <cpack>
set -eu
build=$1
cmake=$2
cpack=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$work/root" "$cmake" --install "$build" --prefix /usr >/dev/null
usr=$work/root/usr
for f in bin/vendrik-manager bin/vendrik-readersim bin/vendrik-cli \
         share/vendrik-manager/SysFiles/texts_de.txt share/vendrik-manager/SysFiles/texts_en.txt \
         share/applications/vendrik-manager.desktop share/icons/hicolor/scalable/apps/vendrik-manager.svg; do
  [ -f "$usr/$f" ] || fail "not installed: $f"
done
desktop=$usr/share/applications/vendrik-manager.desktop
for key in 'Name=' 'Name\[de\]=' 'Comment=' 'Comment\[de\]=' 'Icon=vendrik-manager'; do
  grep -q "^$key" "$desktop" || fail "desktop entry lacks $key"
done
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop" || fail "desktop entry invalid"; fi

# The command-line tool runs from the install root and finds the texts of the share folder.
mkdir -p "$work/clihome"
cli_out=$(cd "$work" && env -i HOME="$work/clihome" PATH="$usr/bin:/usr/bin:/bin" \
          "$usr/bin/vendrik-cli" --lang en export events - --db "$work/clihome/cli.mdb" 2>&1 >/dev/null; \
          env -i HOME="$work/clihome" "$usr/bin/vendrik-cli" --help) || fail "vendrik-cli did not run"
echo "$cli_out" | grep -q 'read-events' || fail "vendrik-cli gave no usage"
echo "$cli_out" | grep -q 'language texts not found' && fail "vendrik-cli did not find its texts"

exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
mkdir "$work/home" "$work/cwd"
out=$(cd "$work/cwd" && env -i HOME="$work/home" PATH="$usr/bin:/usr/bin:/bin" QT_QPA_PLATFORM=offscreen \
      VM_STARTUP_CHECK=1 timeout 60 "$exec_name" 2>"$work/stderr") || { cat "$work/stderr" >&2; fail "the program did not start"; }
echo "$out"
echo "$out" | grep -qx "texts: $usr/share/vendrik-manager/SysFiles/texts_de.txt" || fail "texts not from the share folder"
echo "$out" | grep -q '^menu: ..*' || fail "menu text empty"
layout="$work/home/.config/Brimlow/Vendrik Manager AIO/DialogSetup.xml"
echo "$out" | grep -qxF "layout: $layout" || fail "layout file not in the config folder"
[ -s "$layout" ] || fail "layout file not written"
[ -z "$(find "$work/root" -name DialogSetup.xml)" ] || fail "layout file written under the install root"

(cd "$work" && "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >/dev/null) || fail "cpack failed"
deb=$(ls "$work"/pkg/*.deb)
info=$(dpkg-deb -I "$deb")
echo "$info" | grep -E '^ (Depends|Maintainer|Description):'
for dep in libqt6core6 libqt6widgets6 libqt6sql6-sqlite; do
  echo "$info" | grep '^ Depends:' | grep -q "$dep" || fail "package does not depend on $dep"
done
dpkg-deb -c "$deb" | grep -q './usr/share/applications/vendrik-manager.desktop' || fail "package lacks the desktop entry"
echo "install check passed"
