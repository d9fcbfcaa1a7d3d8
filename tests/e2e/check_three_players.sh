#!/bin/bash
# Three game processes on one virtual display, played as people would: each opens the game from
# its launcher, one creates a game in the network browser, the two others join it, everyone picks
# a nation and a government in the lobby, the host starts, and all three reach the game screen:
# objective panel, then the year banner, then the statistics panel; then they pass through the
# phases of 1870 to the banner of 1871. Input goes through the X
# server (xdotool); what is checked is what the players see (the games' own screenshots) and
# what they stored in their settings.
#
# usage: check_three_players.sh <source dir> <build dir> [folder for the pictures]
set -euo pipefail
SRC=$1
BUILD=$2
if [ -z "${TORVANE_E2E_INNER:-}" ]; then
  for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "check_three_players: $tool is missing"; exit 1; }
  done
  export TORVANE_E2E_INNER=1
  exec xvfb-run -a -s "-screen 0 1300x1000x24" "$0" "$@"
fi

# Real windows on the virtual display, whatever the test environment says.
unset SDL_VIDEODRIVER SDL_RENDER_DRIVER
BIN=$BUILD/bin/torvane
OUT=${3:-$(mktemp -d /tmp/torvane-e2e-XXXXXX)}
mkdir -p "$OUT"
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3

# Everything stays on this machine, on ports of its own.
export TORVANE_SEARCH=local TORVANE_PORT=47302 TORVANE_DISCOVERY_PORT=47073
export SDL_AUDIODRIVER=dummy TORVANE_MEDIA_AUDIO_SINK=fakesink TORVANE_BUNDLED_FONT=1
export TORVANE_RESOURCES=$SRC/Ressources

pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; }
trap cleanup EXIT
fail() { echo "check_three_players: $*"; exit 1; }

source "$SRC/tests/e2e/lib/desktop.sh"
settings() { desktop_settings "$1"; }
for p in ana ben cleo; do desktop_player $p; done

# Gives every game the focus in turn: a game in the background runs only a few frames a second.
turns() { for _ in $(seq "$1"); do for w in "${wins[@]}"; do focus "$w"; sleep "${2:-0.6}"; done; done; }
picture() { # the game's own screenshot (Print Screen), copied to $OUT/<name>.png
  local player=$1 name=$2 before
  before=$(ls "$OUT/$player/pictures" | wc -l)
  key "${win[$player]}" Print 0.5
  for _ in $(seq 20); do
    [ "$(ls "$OUT/$player/pictures" | wc -l)" -gt "$before" ] && break
    sleep 0.2
  done
  local last
  last=$(ls -t "$OUT/$player/pictures" | head -1)
  [ -n "$last" ] || fail "$player saved no screenshot"
  cp "$OUT/$player/pictures/$last" "$OUT/$name.png"
}

launch ana 0 0
key "${win[ana]}" Return 3           # "- créer -": into the lobby as host
launch ben 650 0
key "${win[ben]}" F5 3               # search again: the game is there now
key "${win[ben]}" Right 0.6          # the list of games
key "${win[ben]}" Return 4           # join
launch cleo 0 500
key "${win[cleo]}" F5 3
key "${win[cleo]}" Right 0.6
key "${win[cleo]}" Return 4

# Lobby: Ana takes Irak (the first nation), Ben Egypte, Cleo Egypte too (refused) then Jamaïque;
# each takes the first government.
key "${win[ana]}" Return 1.5
key "${win[ana]}" Return 1.5
key "${win[ben]}" Down 0.6
key "${win[ben]}" Return 1.5
key "${win[ben]}" Return 1.5
key "${win[cleo]}" Down 0.6
key "${win[cleo]}" Return 1.0        # Egypte is Ben's: refused, still choosing
key "${win[cleo]}" Down 0.6
key "${win[cleo]}" Return 1.5
key "${win[cleo]}" Return 1.5
turns 2
picture ana lobby
# The host walks up to "- démarrer -" and starts.
key "${win[ana]}" Up 0.5
key "${win[ana]}" Up 0.5
key "${win[ana]}" Return 1.5
turns 6 0.8
for p in ana ben cleo; do picture $p "objective-$p"; done
for p in ana ben cleo; do key "${win[$p]}" Return 1.5; done   # close the objective panel
turns 2
for p in ana ben cleo; do picture $p "banner-$p"; done
for p in ana ben cleo; do key "${win[$p]}" Return 1.5; done   # close the year banner
turns 3
for p in ana ben cleo; do picture $p "statistics-$p"; done

# Closing the statistics panel makes each player ready; the income passes by itself, then every
# phase in which the players act ends when all three press Return ("Terminer"). After the spies,
# the year's review passes by itself and 1871 opens with its banner.
for p in ana ben cleo; do key "${win[$p]}" Return 1.0; done
turns 3
picture ana "achats-ana"
for phase in achats mouvements guerres espionnage; do
  for p in ana ben cleo; do key "${win[$p]}" Return 1.0; done
  turns 3
done
for p in ana ben cleo; do picture $p "banner1871-$p"; done

"$PYTHON" - "$OUT" <<'PY'
import sys
from PIL import Image
out = sys.argv[1]
problems = []

def load(name):
    image = Image.open("%s/%s.png" % (out, name)).convert("RGB")
    if image.size != (640, 480):
        problems.append("%s: %dx%d, not 640x480" % (name, *image.size))
    return image

def dark(pixel):
    return sum(pixel) < 40

def bright(image, box):
    region = image.crop(box).getdata()
    return sum(1 for p in region if not dark(p)) / float(len(region))

# The lobby draws its world map over the whole screen.
lobby = load("lobby")
if bright(lobby, (0, 0, 640, 480)) < 0.9:
    problems.append("lobby: the map is not drawn")

for p in ("ana", "ben", "cleo"):
    for stage, box in (("objective", (180, 150, 460, 330)), ("banner", (240, 180, 400, 300)),
                       ("statistics", (120, 120, 520, 360))):
        image = load("%s-%s" % (stage, p))
        # The game screen has no background: its corners stay black while its panel is drawn.
        if bright(image, (0, 0, 40, 40)) > 0.2 and stage == "objective":
            problems.append("%s-%s: not the game screen" % (stage, p))
        if bright(image, box) < 0.5:
            problems.append("%s-%s: the panel is not shown" % (stage, p))
    # The ring of players: three flags around the screen once the game is under way.
    stats = load("statistics-%s" % p)
    if bright(stats, (290, 30, 350, 70)) < 0.3:
        problems.append("statistics-%s: no player at the top of the ring" % p)
    # A year later: the banner of 1871 again, centred, over the ring.
    if bright(load("banner1871-%s" % p), (240, 180, 400, 300)) < 0.5:
        problems.append("banner1871-%s: the next year's banner is not shown" % p)

# Between the two: the board, its bar across the top and the world map under it.
achats = load("achats-ana")
if bright(achats, (0, 0, 640, 36)) < 0.9:
    problems.append("achats-ana: the board's bar is not shown")
if bright(achats, (0, 40, 400, 480)) < 0.9:
    problems.append("achats-ana: the map is not shown")

if problems:
    print("\n".join(problems))
    sys.exit(1)
print("pictures in", out)
PY

for p in ana ben cleo; do
  grep -q "\"PlayerName\"=\"${p^}\"" "$(settings $p)" || fail "$p lost its name"
  grep -q '"FullScreen"=dword:00000000' "$(settings $p)" || fail "$p lost its display setting"
done
grep -q '"ConnectIP"="127.0.0.1"' "$(settings ben)" || fail "ben's address was not stored"
echo "check_three_players: three players reached the game"
