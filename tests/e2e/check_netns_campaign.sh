#!/usr/bin/env bash
# A whole campaign across home routers: the host is a real game (build/bin/torvane) on a
# virtual display on a public machine, played through the X server with xdotool as a person
# would; three computer players (torvane-bot) each sit behind a home router that forwards
# nothing (tests/e2e/lib/routers.sh) and join at the host's public address and port, so the host
# relays every pair of them. The host creates the game in the browser, takes a nation and a
# government, deals personal objectives (they end games sooner than conquering the world), and
# starts once the computer players are ready; then it answers every panel and ends every phase
# with Return, giving no orders, until the game is over. Every computer player must report the
# same history, a victory or a defeat, and exit cleanly; the host must show its end panel.
#
# usage: check_netns_campaign.sh <source dir> <build dir>; exits 77 where namespaces cannot be
# made or there is no Xvfb, xdotool or Pillow.
set -uo pipefail

source_dir=${1:?source dir}
build_dir=${2:?build dir}
GAME="$build_dir/bin/torvane"
BOT="$build_dir/bin/torvane-bot"
for program in "$GAME" "$BOT"; do
  [ -x "$program" ] || { echo "FAIL: $program not built"; exit 1; }
done
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3

source "$source_dir/tests/e2e/lib/routers.sh"

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rt_cleanup
}
trap cleanup EXIT
trap 'exit 130' INT TERM

rt_require
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || rt_skip "$tool is not installed"
done
"$PYTHON" -c "import PIL" 2>/dev/null || rt_skip "Pillow is not installed for $PYTHON"
rt_work
OUT=$RT_WORK
fail() {
  echo "FAIL: $*"
  for log in "$OUT"/*.log; do
    echo "--- $(basename "$log")"
    tail -n 40 "$log" | sed 's/^/    /'
  done
  exit 1
}
now_s() { date +%s; }
begin=$(now_s)

rt_internet || fail "no internet namespace"
rt_public server || fail "the public machine was not made"
bots=(ordi1 ordi2 ordi3)
for home in "${bots[@]}"; do rt_home "$home" || fail "home $home not made"; done
PORT=2302

# The display lives in the public machine's namespace, with the game and xdotool.
# Its screen is also a file (-fbdir), which tells when the end panel is up without a keypress.
mkdir -p "$OUT/fb"
(exec ip netns exec "${RT_NS[server]}" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
  -fbdir "$OUT/fb") \
  3> "$OUT/display" > "$OUT/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  [ -s "$OUT/display" ] && break
  sleep 0.05
done
[ -s "$OUT/display" ] || fail "Xvfb did not start"
DISPLAY_NAME=":$(head -1 "$OUT/display")"
X() { ip netns exec "${RT_NS[server]}" env DISPLAY="$DISPLAY_NAME" xdotool "$@"; }

# The game: real windows on the virtual display whatever the test environment says; no router
# offers a port mapping here, so it is not asked for.
mkdir -p "$OUT/host/cfg/Quillmere/Torvane" "$OUT/host/pictures"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quillmere\\Torvane]\n"FullScreen"=dword:00000000\n"NoSoundCard"=dword:00000000\n"PlayerName"="Hote"\n' \
  > "$OUT/host/cfg/Quillmere/Torvane/settings.reg"
(
  unset SDL_VIDEODRIVER SDL_RENDER_DRIVER
  exec ip netns exec "${RT_NS[server]}" env DISPLAY="$DISPLAY_NAME" \
    XDG_CONFIG_HOME="$OUT/host/cfg" XDG_PICTURES_DIR="$OUT/host/pictures" \
    SDL_AUDIODRIVER=dummy TORVANE_MEDIA_AUDIO_SINK=fakesink TORVANE_BUNDLED_FONT=1 \
    TORVANE_RESOURCES="$source_dir/Ressources" TORVANE_PORT=$PORT TORVANE_PORTMAP=0 "$GAME"
) > "$OUT/game.log" 2>&1 &
game_pid=$!
pids+=($game_pid)

windows_of_size() {
  local w
  for w in $(X search --onlyvisible --name 'Torvane' 2>/dev/null); do
    X getwindowgeometry "$w" 2>/dev/null | grep -q "Geometry: $1" && echo "$w"
  done
  return 0
}
key() {
  X windowfocus --sync "$window" 2>/dev/null
  X key "$1"
  sleep "${2:-0.4}"
}

launcher=
for _ in $(seq 1 100); do
  launcher=$(windows_of_size 320x240 | head -1)
  [ -n "$launcher" ] && break
  kill -0 $game_pid 2>/dev/null || fail "the game ended at once"
  sleep 0.2
done
[ -n "$launcher" ] || fail "no launcher window"
window=$launcher
key Return 1.5
window=
for _ in $(seq 1 100); do
  window=$(windows_of_size 640x480 | head -1)
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || fail "the game window did not open"
sleep 2.5          # the browser searches and slides in
key Return 3       # "- créer -": into the lobby as host
# The lobby follows the mouse as well as the keys: the pointer rests on the map, away from the
# rows and the buttons.
X mousemove --window "$window" 320 300
sleep 0.3
key Return 1.5     # the nation: the first one
key Return 1.5     # the government: the first one
key F2 0.6         # personal objectives
for _ in $(seq 1 100); do
  [ -n "$(rt_exec server ss -Hltn "sport = :$PORT")" ] && break
  sleep 0.1
done
[ -n "$(rt_exec server ss -Hltn "sport = :$PORT")" ] || fail "the game hosts nothing on port $PORT"
echo "the host's lobby is open at ${RT_IP[server]}:$PORT after $(($(now_s) - begin)) s"

# The computer players join from behind their routers, as friends who were told the address.
seed=10
for home in "${bots[@]}"; do
  seed=$((seed + 1))
  (exec ip netns exec "${RT_NS[$home]}" env TORVANE_PORTMAP=0 "$BOT" --host "${RT_IP[server]}" \
    --port $PORT --name "${home^}" --seed $seed) > "$OUT/$home.log" 2>&1 &
  pids+=($!)
  eval "pid_$home=$!"
done
wait_all() { # waits up to $2 seconds for every computer player to print a line starting with $1
  local home deadline=$(($(now_s) + $2)) missing
  while :; do
    missing=
    for home in "${bots[@]}"; do grep -q "^$1" "$OUT/$home.log" || missing=yes; done
    [ -z "$missing" ] && return 0
    [ "$(now_s)" -ge $deadline ] && return 1
    # The lobby draws and reads the network only while it has frames: nudge it.
    X windowfocus --sync "$window" 2>/dev/null
    sleep 0.3
  done
}
wait_all READY 60 || fail "the computer players did not all become ready"
echo "three computer players ready after $(($(now_s) - begin)) s"

# "- démarrer -", pointed at, then Return; again while the host refuses (a computer player
# moving away from the host's nation is not ready yet).
X mousemove --window "$window" 512 377
sleep 0.3
started=
for _ in 1 2 3 4 5; do
  key Return 2
  if wait_all "YEAR" 10; then started=yes; break; fi
done
[ -n "$started" ] || fail "the game did not start"
echo "the campaign started after $(($(now_s) - begin)) s"

# Which end panel the host shows: the victory or the defeat picture centred on the game's
# 640x480 frame, either in a screenshot the game saved (a PNG) or on the display itself
# ("framebuffer": the window's part of Xvfb's screen file). Prints the verdict; fails when
# neither picture is there.
cat > "$OUT/end_panel.py" <<'PY'
import struct, sys
from PIL import Image, ImageChops, ImageStat
source, carte = sys.argv[1], sys.argv[2]
if source == "framebuffer":
    x, y = int(sys.argv[4]), int(sys.argv[5])
    with open(sys.argv[3], "rb") as f:
        data = f.read()
    # An XWD file: big-endian header, then the colour map, then the pixels.
    fields = struct.unpack(">25I", data[:100])
    header, width, height, order, bpp, line, ncolours = (fields[0], fields[4], fields[5],
                                                         fields[7], fields[11], fields[12],
                                                         fields[19])
    if bpp != 32 or x < 0 or y < 0 or x + 640 > width or y + 480 > height:
        print("no frame to read")
        sys.exit(1)
    offset = header + 12 * ncolours
    screen = Image.frombuffer("RGB", (width, height), data[offset:offset + line * height],
                              "raw", "BGRX" if order == 0 else "XRGB", line, 1)
    shot = screen.crop((x, y, x + 640, y + 480))
else:
    shot = Image.open(source).convert("RGB")
if shot.size != (640, 480):
    print("size %dx%d" % shot.size)
    sys.exit(1)
scores = {}
for name in ("Victoire", "Defaite"):
    panel = Image.open("%s/%s.png" % (carte, name)).convert("RGB")
    x0, y0 = (640 - panel.width) // 2, (480 - panel.height) // 2
    region = shot.crop((x0, y0, x0 + panel.width, y0 + panel.height))
    scores[name] = sum(ImageStat.Stat(ImageChops.difference(region, panel)).mean) / 3
best = min(scores, key=scores.get)
other = max(scores, key=scores.get)
print("%s (difference %.1f, the other picture %.1f)" % (best, scores[best], scores[other]))
# The titles and lines drawn over the panel differ a little from the picture (a difference of 3
# to 6); the other picture differs everywhere, and so do the year's banner and the other
# parchment panels of the game (30 and more).
sys.exit(0 if scores[best] < 12 and scores[best] < 0.6 * scores[other] else 1)
PY
end_panel() {
  local carte="$source_dir/Ressources/Graphics/Carte" position
  if [ "$1" = framebuffer ]; then
    position=$(X getwindowgeometry "$window" 2>/dev/null | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
    [ -n "$position" ] || return 1
    # shellcheck disable=SC2086 # the two coordinates
    "$PYTHON" "$OUT/end_panel.py" framebuffer "$carte" "$OUT/fb/Xvfb_screen0" $position
  else
    "$PYTHON" "$OUT/end_panel.py" "$1" "$carte"
  fi
}

# Every panel answered and every phase ended with Return, until a computer player says the game
# is over (a Return on the host's end panel would leave the game before they have all closed
# theirs).
deadline=$(($(now_s) + 1500))
last_year=
while :; do
  over=
  for home in "${bots[@]}"; do grep -q '^HISTORY\|^FIN' "$OUT/$home.log" && over=yes; done
  [ -n "$over" ] && break
  kill -0 $game_pid 2>/dev/null || fail "the game ended before the campaign"
  [ "$(now_s)" -lt $deadline ] || fail "no end after 1500 s"
  year=$(grep '^YEAR' "$OUT/ordi1.log" | tail -1)
  if [ "$year" != "$last_year" ]; then
    echo "  ${year#YEAR } after $(($(now_s) - begin)) s"
    last_year=$year
  fi
  # Stops as soon as the end panel is up, whether or not the computer players have said so yet.
  if end_panel framebuffer >/dev/null; then
    echo "  the host's end panel is up after $(($(now_s) - begin)) s"
    break
  fi
  key Return 0.7
done
wait_all FIN 60 || fail "not every computer player reached the end"

# The host's end panel, from the game's own screenshot: the victory or the defeat picture
# centred on the screen.
sleep 2
key Print 1
shot=$(ls -t "$OUT/host/pictures" | head -1)
[ -n "$shot" ] || fail "the host saved no screenshot"
verdict=$(end_panel "$OUT/host/pictures/$shot") || fail "the host does not show its end panel: $verdict"
echo "the host shows: $verdict"
# What stops the Returns above reads the display, and must read it as the screenshot does.
shown=$(end_panel framebuffer) || fail "the display does not show the end panel: $shown"
[ "${shown%% *}" = "${verdict%% *}" ] || fail "the display shows $shown"
key Return 2      # closes the end panel: back to the browser

status=0
for home in "${bots[@]}"; do
  eval "pid=\$pid_$home"
  wait "$pid"
  code=$?
  echo "  $home: $(grep -E '^(NATION|HISTORY|FIN)' "$OUT/$home.log" | tr '\n' ' ')exit $code"
  [ $code -eq 0 ] || { echo "FAIL: $home exited with $code"; status=1; }
  grep -qx 'FIN victoire\|FIN defaite' "$OUT/$home.log" || { echo "FAIL: $home did not finish the game"; status=1; }
done
histories=$(grep -h '^HISTORY' "$OUT"/ordi*.log | sort -u)
[ "$(echo "$histories" | grep -c .)" -eq 1 ] ||
  { echo "FAIL: the computer players hold different histories:"; echo "$histories"; status=1; }
# What made the relays necessary: each router dropped the connections the others tried to open
# to its computer player (all but the first to join had somebody to try).
dropped=0
for home in "${bots[@]}"; do
  # Addressed to the router itself, they end in its INPUT chain; FORWARD would see them only
  # once something forwarded a port.
  count=$(for chain in INPUT FORWARD; do
    rt_router_exec "$home" "$RT_IPT" -w -L $chain -v -n -x | awk '$3 == "DROP" {print $1}'
  done | awk '{sum += $1} END {print sum + 0}')
  echo "  $home's router dropped $count packets from the internet"
  dropped=$((dropped + count))
done
[ $dropped -gt 0 ] || { echo "FAIL: no router dropped anything: the computer players were never cut off"; status=1; }
years=$(grep -c '^YEAR' "$OUT/ordi1.log")
kill -0 $game_pid 2>/dev/null || { echo "FAIL: the game did not survive its own end"; status=1; }
[ $status -eq 0 ] || fail "see above"
echo "PASS: a whole campaign of $years years across routers that forward nothing in $(($(now_s) - begin)) s ($histories)"
