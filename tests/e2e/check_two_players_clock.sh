#!/bin/bash
# Two game processes on one virtual display with the phase clock at 30 seconds: the host creates a
# game, both pick a nation and a government, the host runs the clock to "30 s" with F4 and
# starts. From then on nobody touches a key or a window: the objective panel, the year's banner
# and statistics, every phase and the battle report end by the clock alone, and both games reach
# 1871 (each writes its saved game at the start of every year: what is checked is the year in
# it). Whichever window has the focus, the other keeps running in the background.
#
# usage: check_two_players_clock.sh <source dir> <build dir> [folder for the logs]
set -euo pipefail
SRC=$1
BUILD=$2
if [ -z "${TORVANE_E2E_INNER:-}" ]; then
  for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "check_two_players_clock: $tool is missing"; exit 1; }
  done
  export TORVANE_E2E_INNER=1
  exec xvfb-run -a -s "-screen 0 1300x600x24" "$0" "$@"
fi

unset SDL_VIDEODRIVER SDL_RENDER_DRIVER
BIN=$BUILD/bin/torvane
OUT=${3:-$(mktemp -d /tmp/torvane-clock-XXXXXX)}
mkdir -p "$OUT"
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3

# Everything stays on this machine, on ports of its own.
export TORVANE_SEARCH=local TORVANE_PORT=47402 TORVANE_DISCOVERY_PORT=47173
export SDL_AUDIODRIVER=dummy TORVANE_MEDIA_AUDIO_SINK=fakesink TORVANE_BUNDLED_FONT=1
export TORVANE_RESOURCES=$SRC/Ressources

cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; }
trap cleanup EXIT
fail() {
  echo "check_two_players_clock: $*"
  for p in ana ben; do [ -s "$OUT/$p.log" ] && { echo "--- $p"; tail -20 "$OUT/$p.log"; }; done
  exit 1
}
source "$SRC/tests/e2e/lib/desktop.sh"
for p in ana ben; do desktop_player $p; done

launch ana 0 0
key "${win[ana]}" Return 3           # "- créer -": into the lobby as host
launch ben 650 0
key "${win[ben]}" F5 3
key "${win[ben]}" Right 0.6
key "${win[ben]}" Return 4           # join

key "${win[ana]}" Return 1.5         # Irak
key "${win[ana]}" Return 1.5         # its first government
key "${win[ben]}" Down 0.6
key "${win[ben]}" Return 1.5         # Egypte
key "${win[ben]}" Return 1.5
key "${win[ana]}" F4 1.0             # "Temps : 30 s"
key "${win[ana]}" Up 0.5
key "${win[ana]}" Up 0.5
key "${win[ana]}" Return 1.5         # "- démarrer -"

# The year at which a player's saved game stands (0 while it has none).
saved_year() {
  "$PYTHON" - "$OUT/$1/data/Quillmere/Torvane/parties" <<'PY'
import glob, os, struct, sys
year = 0
for path in glob.glob(os.path.join(sys.argv[1], "*")):
    try:
        data = open(path, "rb").read(40)
    except OSError:
        continue
    if len(data) >= 36 and data[:8] == b"TORVSAVE":
        status = struct.unpack_from("<I", data, 32)[0]
        year = max(year, 1870 + (status - 4) // 22)
print(year)
PY
}

# Five statuses of 1870 wait for the players, thirty seconds each: well under four minutes.
started=$(date +%s)
for p in ana ben; do
  for _ in $(seq 60); do [ "$(saved_year $p)" -ge 1870 ] && break; sleep 1; done
  [ "$(saved_year $p)" -ge 1870 ] || fail "$p never began 1870"
done
deadline=$((started + 300))
while :; do
  a=$(saved_year ana)
  b=$(saved_year ben)
  [ "$a" -ge 1871 ] && [ "$b" -ge 1871 ] && break
  for p in ana ben; do
    kill -0 "${pids[$([ $p = ana ] && echo 0 || echo 1)]}" 2>/dev/null || fail "$p's game ended"
  done
  [ "$(date +%s)" -lt "$deadline" ] || fail "no 1871 after five minutes (Ana: $a, Ben: $b)"
  sleep 3
done
took=$(($(date +%s) - started))
# Not before the clock could have run out five times: the phases really waited.
[ "$took" -ge 140 ] || fail "1871 after only $took s: the clock did not wait"
! grep -q "trop tard" "$OUT/ana.log" || fail "the host refused orders as late"
echo "check_two_players_clock: both games reached 1871 by the clock alone in $took s"
