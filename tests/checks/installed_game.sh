# Shared by the install and package checks (sourced).
#   on_virtual_display <check name> "<tools>" "$0" "$@"
# Runs the calling check again on a virtual display of its own, once the tools it needs are there.
#   reach_browser <torvane executable> <scratch folder> <discovery port>
# Starts an installed game from an empty working folder, as a player with a fresh home: opens it
# from its launcher with Return, then sees it reach the network browser, whose first search
# sends its query to the discovery port on this machine. Takes a Print Screen there, hosts a game
# and adds a computer player, ends the game with SIGTERM (the computer player with it), and checks
# it wrote nothing but its settings, the picture and caches in the player's own folders.

# Processes reach_browser started, for the calling check's exit trap (stop_started).
started=()
stop_started() {
  [ ${#started[@]} -eq 0 ] || kill "${started[@]}" 2> /dev/null || true
}

on_virtual_display() {
  local name=$1 tools=$2
  shift 2
  [ -z "${TORVANE_ON_VIRTUAL_DISPLAY:-}" ] || return 0
  for tool in xvfb-run xdotool $tools; do
    command -v "$tool" > /dev/null || { echo "$name: $tool is missing"; exit 1; }
  done
  export TORVANE_ON_VIRTUAL_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
}

reach_browser() {
  local bin=$1 scratch=$2 port=$3
  local home=$scratch/home cwd=$scratch/cwd log=$scratch/game.log
  mkdir -p "$home/.config/Quillmere/Torvane" "$home/Pictures" "$cwd"
  # Silent (no film), in a window.
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quillmere\\Torvane]\n"FullScreen"=dword:00000000\n"NoSoundCard"=dword:00000000\n' \
    > "$home/.config/Quillmere/Torvane/settings.reg"

  # The browser's search reaches this listener, standing where a host's discovery port would be.
  "$PYTHON" - "$port" "$scratch/query" <<'PY' &
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.settimeout(40)
try:
    data, _ = s.recvfrom(4096)
    open(sys.argv[2], "w").write("%d\n" % len(data))
except socket.timeout:
    pass
PY
  local listener=$!
  started+=("$listener")

  (cd "$cwd" && exec env -u TORVANE_RESOURCES -u SDL_VIDEODRIVER -u SDL_RENDER_DRIVER \
    HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_DATA_HOME="$home/.local/share" XDG_PICTURES_DIR="$home/Pictures" \
    TORVANE_SEARCH=local TORVANE_DISCOVERY_PORT="$port" TORVANE_PORT=$((port + 229)) \
    SDL_AUDIODRIVER=dummy TORVANE_MEDIA_AUDIO_SINK=fakesink "$bin") > "$log" 2>&1 &
  local game=$!
  started+=("$game")

  local launcher="" window=""
  for _ in $(seq 100); do
    launcher=$( (xdotool search --onlyvisible --name '^Torvane$' 2>/dev/null || true) | head -1)
    [ -n "$launcher" ] && break
    sleep 0.1
  done
  [ -n "$launcher" ] || { cat "$log"; fail "$bin: no launcher window"; }
  xdotool windowfocus --sync "$launcher" 2>/dev/null || true
  xdotool key Return
  for _ in $(seq 200); do
    [ -s "$scratch/query" ] && break
    kill -0 "$game" 2>/dev/null || { cat "$log"; fail "$bin: the game ended before the browser"; }
    sleep 0.1
  done
  [ "$(cat "$scratch/query" 2>/dev/null)" = 256 ] ||
    { cat "$log"; fail "$bin: the browser's search never came (started from $cwd)"; }

  # The browser on screen, in the game's own screenshot.
  for _ in $(seq 50); do
    for w in $(xdotool search --onlyvisible --name '^Torvane$' 2>/dev/null || true); do
      xdotool getwindowgeometry "$w" 2>/dev/null | grep -q 'Geometry: 640x480' && window=$w
    done
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || fail "$bin: no game window"
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  sleep 1
  xdotool key Print
  local shot=""
  for _ in $(seq 50); do
    shot=$(find "$home/Pictures" -name 'Torvane *.png' | head -1)
    [ -n "$shot" ] && break
    sleep 0.1
  done
  [ -n "$shot" ] || fail "$bin: Print Screen saved nothing"
  "$PYTHON" - "$shot" <<'PY' || fail "$bin: the screenshot is not the browser's picture"
import sys
from PIL import Image
im = Image.open(sys.argv[1]).convert("RGB")
assert im.size == (640, 480), im.size
colours = len(im.getcolors(1 << 20) or [])
assert colours > 200, "%d colours" % colours
PY

  # "- créer -": the lobby as host, which opens on the nation chooser; Return takes the first
  # nation, then the first government. F3 then adds a computer player: the program installed
  # beside the game, which the game starts itself.
  local step
  for step in 1.5 0.8 0.8; do
    xdotool key Return
    sleep "$step"
  done
  xdotool key F3
  local bot=""
  for _ in $(seq 50); do
    bot=$(pgrep -P "$game" -f "$(dirname "$bin")/torvane-bot" || true)
    [ -n "$bot" ] && break
    sleep 0.1
  done
  [ -n "$bot" ] || { cat "$log"; fail "$bin: F3 in the lobby started no torvane-bot beside it"; }

  kill -TERM "$game"
  local status=0
  wait "$game" || status=$?
  [ "$status" -eq 0 ] || { cat "$log"; fail "$bin: SIGTERM ended the game with $status"; }
  for _ in $(seq 30); do
    kill -0 "$bot" 2>/dev/null || break
    sleep 0.1
  done
  ! kill -0 "$bot" 2>/dev/null || { kill -9 "$bot"; fail "$bin: the computer player outlived the game"; }
  kill "$listener" 2>/dev/null || true
  wait "$listener" 2>/dev/null || true

  [ -z "$(ls -A "$cwd")" ] || fail "$bin wrote into its working folder: $(ls -A "$cwd")"
  local strays
  strays=$(cd "$home" && find . -type f | grep -v -E '^\./\.config/Quillmere/Torvane/settings\.reg(\.lock)?$|^\./Pictures/Torvane [^/]*\.png$|^\./\.cache/' || true)
  [ -z "$strays" ] || fail "$bin wrote outside the player's folders: $strays"
  grep -q '^"FullScreen"=dword:00000000' "$home/.config/Quillmere/Torvane/settings.reg" ||
    fail "$bin lost its settings"
}
