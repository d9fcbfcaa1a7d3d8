#!/bin/bash
# The Debian package: built with CPack from this build, its contents and dependencies checked,
# lintian without errors or warnings, the game unpacked into a scratch root played to the network
# browser; where root is available (and no torvane package is installed already), installed with
# dpkg, played, removed, and nothing of it left.
# usage: check_package.sh <source dir> <build dir>
set -euo pipefail
SRC=$1
BUILD=$2
source "$SRC/tests/checks/installed_game.sh"
on_virtual_display check_package "cpack dpkg-deb dpkg-shlibdeps lintian objdump appstreamcli" "$0" "$@"
PYTHON=/usr/bin/python3
fail() { echo "check_package: $*"; exit 1; }

scratch=$(mktemp -d /tmp/torvane-package-XXXXXX)
trap 'stop_started; rm -rf "$scratch"' EXIT
cpack --config "$BUILD/CPackConfig.cmake" -B "$scratch/out" > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb=$(find "$scratch/out" -maxdepth 1 -name 'torvane_*.deb')
[ -n "$deb" ] && [ "$(echo "$deb" | wc -l)" -eq 1 ] || fail "no single .deb in $scratch/out"

# Fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = torvane ] || fail "Package: $(field Package)"
[ "$(field Section)" = games ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
names=$(echo "$depends" | tr ',' '\n' | sed 's/([^)]*)//; s/|.*//; s/ //g' | sort -u)

# Contents: the game in /usr/games (Debian's place for games), nothing of the tests, every file
# owned by root with the usual modes.
dpkg-deb -c "$deb" > "$scratch/contents"
id=org.quillmere.Torvane
for path in usr/games/torvane usr/games/torvane-bot usr/share/applications/$id.desktop \
  usr/share/metainfo/$id.metainfo.xml usr/share/icons/hicolor/scalable/apps/$id.svg \
  usr/share/icons/hicolor/16x16/apps/$id.png usr/share/icons/hicolor/256x256/apps/$id.png \
  usr/share/man/man6/torvane.6.gz usr/share/man/man6/torvane-bot.6.gz \
  usr/share/doc/torvane/copyright usr/share/doc/torvane/changelog.gz \
  usr/share/torvane/Ressources/Music/Music.wma usr/share/torvane/Ressources/Videos/Quillmere.avi; do
  grep -q " \./$path\( ->.*\)\?$" "$scratch/contents" || fail "$path is not in the package"
done
resources=$(cd "$SRC/Ressources" && find . -type f ! -name '*LICENSE*' ! -name 'README*' | wc -l)
packaged=$(grep -c ' \./usr/share/torvane/Ressources/.*[^/]$' "$scratch/contents")
[ "$resources" -eq "$packaged" ] || fail "$packaged resources packaged, $resources in the source"
if grep -E 'torvane-peer|torvane-sim|bench_|_test|Test| \./usr/bin/|/include/|\.a$|/LICENSE$' "$scratch/contents"; then
  fail "the package holds something that is not for players (above)"
fi
awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' "$scratch/contents" ||
  fail "files not owned by root"
awk '$1 !~ /^(-rw-r--r--|-rwxr-xr-x|drwxr-xr-x|lrwxrwxrwx)$/ { print; bad = 1 } END { exit bad }' \
  "$scratch/contents" || fail "unusual file modes"
# The bundled font is a link into fonts-texgyre, which the package depends on.
grep -q 'Ressources/Fonts/texgyrepagella-regular.otf -> \.\./\.\./\.\./texmf/' "$scratch/contents" ||
  fail "the font is not linked to fonts-texgyre"

dpkg-deb -x "$deb" "$scratch/root"
grep -qx 'Exec=/usr/games/torvane' "$scratch/root/usr/share/applications/$id.desktop" ||
  fail "the desktop entry does not start /usr/games/torvane"
# The metadata with the entry and icon it names, as a software centre reads the tree.
appstreamcli validate-tree --no-net "$scratch/root" > "$scratch/appstream" 2>&1 ||
  { cat "$scratch/appstream"; fail "the package's metadata tree does not validate"; }

# Dependencies: every library the programs load directly comes from a package the .deb depends on,
# and every dependency names a real package.
for program in torvane torvane-bot; do
  for needed in $(objdump -p "$scratch/root/usr/games/$program" | awk '/NEEDED/ { print $2 }'); do
    path=$(ldd "$scratch/root/usr/games/$program" | awk -v lib="$needed" '$1 == lib { print $3 }')
    [ -n "$path" ] || fail "$program: $needed not found"
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -1 | cut -d: -f1) ||
      owner=$(dpkg -S "$path" | head -1 | cut -d: -f1)
    echo "$names" | grep -qx "$owner" || fail "$program needs $needed from $owner, which Depends lacks"
  done
done
for package in fonts-texgyre gstreamer1.0-plugins-base gstreamer1.0-plugins-good \
  gstreamer1.0-plugins-ugly gstreamer1.0-libav; do
  echo "$names" | grep -qx "$package" || fail "Depends lacks $package (the font, music and film)"
done
for package in $names; do
  apt-cache show "$package" > /dev/null 2>&1 || dpkg -s "$package" > /dev/null 2>&1 ||
    fail "Depends names $package, which Debian does not know"
done

# lintian: neither errors nor warnings, and the programs built with Debian's hardening.
lintian --info --fail-on error,warning --no-tag-display-limit "$deb" > "$scratch/lintian" 2>&1 ||
  { cat "$scratch/lintian"; fail "lintian"; }
if grep -E '^[EWIXP]: .*hardening-' "$scratch/lintian"; then
  fail "the programs lack hardening (above)"
fi

# The unpacked tree plays, with the dependency the font links to in place.
fonts=usr/share/texmf/fonts/opentype/public
mkdir -p "$scratch/root/$fonts"
ln -s "/$fonts/tex-gyre" "$scratch/root/$fonts/tex-gyre"
reach_browser "$scratch/root/usr/games/torvane" "$scratch/unpacked" 48173

# A real install, where this machine allows it without touching a torvane already there.
if [ "$(id -u)" -ne 0 ]; then
  echo "check_package: not root, the package was not installed"
elif dpkg -s torvane > /dev/null 2>&1; then
  echo "check_package: a torvane package is installed already, left alone"
elif ! dpkg -i "$deb" > "$scratch/dpkg.log" 2>&1; then
  if grep -q 'lock' "$scratch/dpkg.log" && ! dpkg -s torvane > /dev/null 2>&1; then
    echo "check_package: dpkg is busy with something else, the package was not installed"
  else
    cat "$scratch/dpkg.log"
    dpkg --purge torvane > /dev/null 2>&1 || true
    fail "dpkg -i failed"
  fi
else
  removed=0
  remove() { [ "$removed" = 1 ] || { removed=1; dpkg --purge torvane > "$scratch/purge.log" 2>&1; }; }
  trap 'stop_started; remove || true; rm -rf "$scratch"' EXIT
  dpkg-query -W -f='${Status}' torvane | grep -q 'install ok installed' || fail "not installed"
  command -v torvane > /dev/null || PATH=$PATH:/usr/games
  [ "$(command -v torvane)" = /usr/games/torvane ] || fail "torvane is not on the path"
  # The man page is there unless this system leaves manual pages out (dpkg path-exclude).
  if ! grep -rqs '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/ && command -v man > /dev/null; then
    [ "$(man -w 6 torvane)" = /usr/share/man/man6/torvane.6.gz ] || fail "man 6 torvane finds nothing"
  fi
  reach_browser /usr/games/torvane "$scratch/installed" 48273
  dpkg -L torvane | sort > "$scratch/owned"
  remove || { cat "$scratch/purge.log"; fail "dpkg --purge failed"; }
  ! dpkg -s torvane > /dev/null 2>&1 || fail "still installed after the purge"
  while IFS= read -r path; do
    case "$path" in
      /usr/share/torvane* | /usr/share/doc/torvane* | /usr/games/torvane* | *org.quillmere.Torvane* | */torvane*.6.gz)
        [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path remains after the purge" ;;
    esac
  done < "$scratch/owned"
  echo "check_package: installed, played and purged"
fi
echo "check_package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB), $(echo "$names" | wc -l) dependencies"
