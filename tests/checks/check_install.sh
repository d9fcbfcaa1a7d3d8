#!/bin/bash
# The install as a player gets it: cmake --install into a fresh prefix lays out the game, its
# resources, desktop entry, metadata, icons, manual pages and licence, and nothing of the tests;
# the desktop entry and the metadata validate; the installed game, started from another folder,
# finds its resources and reaches the network browser; every installed file is in the manifest;
# the uninstall leaves nothing behind.
# usage: check_install.sh <source dir> <build dir>
set -euo pipefail
SRC=$1
BUILD=$2
source "$SRC/tests/checks/installed_game.sh"
on_virtual_display check_install "desktop-file-validate appstreamcli groff" "$0" "$@"
PYTHON=/usr/bin/python3
fail() { echo "check_install: $*"; exit 1; }

scratch=$(mktemp -d /tmp/torvane-install-XXXXXX)
trap 'stop_started; rm -rf "$scratch"' EXIT
# A prefix whose folders do not exist yet: the uninstall must remove them all.
prefix=$scratch/root/opt/torvane
export TORVANE_INSTALL_RECORD=$scratch/record
cmake --install "$BUILD" --prefix "$prefix" > "$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "the install failed"; }

id=org.quillmere.Torvane
expected=(bin/torvane bin/torvane-bot share/applications/$id.desktop share/metainfo/$id.metainfo.xml
  share/icons/hicolor/scalable/apps/$id.svg share/man/man6/torvane.6.gz
  share/man/man6/torvane-bot.6.gz share/doc/torvane/copyright share/doc/torvane/changelog.gz
  share/doc/torvane/LICENSE)
for size in 16 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
# Every resource but the licence notes (gathered in the copyright file).
while IFS= read -r file; do
  expected+=("share/torvane/Ressources/$file")
done < <(cd "$SRC/Ressources" && find . -type f ! -name 'LICENSE' ! -name '*LICENSE*' ! -name 'README*' |
  sed 's|^\./||')
printf '%s\n' "${expected[@]}" | sort > "$scratch/expected"
(cd "$prefix" && find . -type f -o -type l) | sed 's|^\./||' | sort > "$scratch/installed"
diff "$scratch/expected" "$scratch/installed" > "$scratch/diff" ||
  { cat "$scratch/diff"; fail "the installed files differ from the layout (< expected, > installed)"; }
for exe in bin/torvane bin/torvane-bot; do
  [ -x "$prefix/$exe" ] || fail "$exe is not executable"
done
cmp -s "$SRC/Ressources/Music/Music.wma" "$prefix/share/torvane/Ressources/Music/Music.wma" ||
  fail "the music was not copied as it is"

# The manifest names every installed file, and the uninstall record the same ones.
sed "s|^$prefix/||" "$BUILD/install_manifest.txt" | sort > "$scratch/manifest"
diff "$scratch/installed" "$scratch/manifest" > "$scratch/diff" ||
  { cat "$scratch/diff"; fail "installed files and the install manifest differ"; }
grep '^file ' "$TORVANE_INSTALL_RECORD" | sed "s|^file $prefix/||" | sort > "$scratch/recorded"
cmp -s "$scratch/manifest" "$scratch/recorded" || fail "the uninstall record misses files"

# Desktop entry, metadata and manual pages.
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net "$metainfo" > "$scratch/appstream" 2>&1 ||
  { cat "$scratch/appstream"; fail "the metadata does not validate"; }
"$PYTHON" - "$desktop" "$metainfo" "$prefix" "$SRC" <<'PY' || fail "desktop entry or metadata are inconsistent"
import configparser, os, sys, xml.etree.ElementTree as ET
desktop, metainfo, prefix, src = sys.argv[1:]
entry = configparser.RawConfigParser(strict=True)
entry.optionxform = str
entry.read(desktop, encoding="utf-8")
d = entry["Desktop Entry"]
assert d["Exec"] == d["TryExec"] == os.path.join(prefix, "bin/torvane"), d["Exec"]
assert d["Categories"] == "Game;StrategyGame;", d["Categories"]
for key in ("Name", "Comment", "GenericName", "Keywords"):
    assert d.get(key) and d.get(key + "[fr]") or key == "Name", key
icon = d["Icon"]
for size in (16, 32, 48, 64, 128, 256):
    assert os.path.isfile(os.path.join(prefix, "share/icons/hicolor/%dx%d/apps/%s.png" % (size, size, icon)))
root = ET.parse(metainfo).getroot()
app_id = root.findtext("id")
assert os.path.basename(desktop) == app_id + ".desktop"
assert root.find("launchable").text == app_id + ".desktop"
assert root.find("icon").text == icon
lang = "{http://www.w3.org/XML/1998/namespace}lang"
for tag in ("summary", "description/p"):
    langs = {e.get(lang) for e in root.findall(tag)}
    assert langs == {None, "fr"}, (tag, langs)
shots = [e.text for e in root.iter("image")]
assert shots, "no screenshots"
for url in shots:   # the README's own pictures, as published
    assert url.startswith("https://"), url
    assert os.path.isfile(os.path.join(src, "docs", url.rsplit("/", 1)[1])), url
    assert "(docs/%s)" % url.rsplit("/", 1)[1] in open(os.path.join(src, "README.md")).read(), url
assert root.find("content_rating").get("type") == "oars-1.1"
assert root.find("releases/release").get("version")
PY
# As a desktop builds its menu (the freedesktop menu layout of LXDE's menu file) and finds an
# icon in the theme: "Torvane" under Games, with its own picture.
XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_CONFIG_DIRS=/etc/xdg XDG_MENU_PREFIX=lxde- \
  "$PYTHON" - "$prefix" <<'PY' || fail "Torvane is not in the desktop's games menu with its icon"
import sys, xdg.IconTheme, xdg.Menu
prefix = sys.argv[1]
def entries(menu, path=""):
    for entry in menu.getEntries():
        if isinstance(entry, xdg.Menu.Menu):
            yield from entries(entry, path + "/" + entry.getName())
        elif isinstance(entry, xdg.Menu.MenuEntry):
            yield path, entry
found = [(path, e) for path, e in entries(xdg.Menu.parse()) if e.DesktopFileID.startswith("org.quillmere")]
assert [(path, e.DesktopEntry.getName()) for path, e in found] == [("/Games", "Torvane")], found
icon = found[0][1].DesktopEntry.getIcon()
for size in (16, 32, 48, 64, 128, 256):
    got = xdg.IconTheme.getIconPath(icon, size, "hicolor")
    assert got == "%s/share/icons/hicolor/%dx%d/apps/%s.png" % (prefix, size, size, icon), got
PY
for page in torvane torvane-bot; do
  warnings=$(zcat "$prefix/share/man/man6/$page.6.gz" | LC_ALL=C.UTF-8 groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$page.6: $warnings"
done
# The page is read whole first: a grep that stops at its first match would cut the pipe under
# zcat, and pipefail would count that as a failure.
manual=$(zcat "$prefix/share/man/man6/torvane.6.gz" | sed 's/\\//g')
grep -q 'settings\.reg' <<<"$manual" || fail "torvane.6 names no settings file"
for variable in $(grep -o '^| `TORVANE_[A-Z_]*' "$SRC/README.md" | sed 's/^| `//'); do
  grep -q "$variable" <<<"$manual" ||
    fail "torvane.6 does not describe $variable"
done

# The installed game, from another folder, with a fresh home.
reach_browser "$prefix/bin/torvane" "$scratch/player" 48073
(cd "$prefix" && find . -type f -o -type l) | sed 's|^\./||' | sort | cmp -s - "$scratch/installed" ||
  fail "running the game changed the installed tree"

# Uninstall: the files and every folder the install created.
cmake -DRECORD="$TORVANE_INSTALL_RECORD" -P "$SRC/packaging/Uninstall.cmake" > "$scratch/uninstall.log" ||
  { cat "$scratch/uninstall.log"; fail "the uninstall failed"; }
[ ! -e "$scratch/root" ] || fail "the uninstall left $(cd "$scratch/root" && find . | head -5)"
echo "check_install: $(wc -l < "$scratch/installed") files installed, validated, played and removed"
