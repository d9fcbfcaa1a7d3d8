# Game windows on a virtual display, driven with xdotool as a player would. Sourced by the checks
# that run real game processes under xvfb-run; BIN must name the game and OUT the check's folder,
# and `fail MESSAGE` must be defined.
#
#   desktop_player NAME        writes NAME's settings (a window, sound on, its name, 127.0.0.1 to
#                              search) under $OUT/NAME; its pictures and saved games stay there
#   launch NAME X Y            starts NAME's game, opens it from its launcher with Return and
#                              moves its window to X, Y: ${win[NAME]} is the window, $wins all of
#                              them; the game's output goes to $OUT/NAME.log, its pid to $pids
#   key WINDOW KEYS [SECONDS]  focuses WINDOW, presses KEYS, waits SECONDS (0.4)
#   focus WINDOW
declare -A win
wins=()
pids=()
known=""

desktop_settings() { echo "$OUT/$1/cfg/Quillmere/Torvane/settings.reg"; }

desktop_player() {
  mkdir -p "$OUT/$1/cfg/Quillmere/Torvane" "$OUT/$1/pictures" "$OUT/$1/data"
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quillmere\\Torvane]\n"FullScreen"=dword:00000000\n"NoSoundCard"=dword:00000000\n"PlayerName"="%s"\n"ConnectIP"="127.0.0.1"\n' \
    "${1^}" > "$(desktop_settings "$1")"
}

windows_of_size() { # lists visible windows of the given geometry
  for w in $(xdotool search --onlyvisible --name 'Torvane' 2>/dev/null); do
    xdotool getwindowgeometry "$w" 2>/dev/null | grep -q "Geometry: $1" && echo "$w"
  done
  return 0
}
new_game_window() { # the 640 x 480 window that is none of the known ones
  for w in $(windows_of_size 640x480); do
    case " ${known:-} " in *" $w "*) ;; *) echo "$w"; return ;; esac
  done
}
focus() { xdotool windowfocus --sync "$1" 2>/dev/null || true; sleep 0.2; }
key() { focus "$1"; xdotool key "$2"; sleep "${3:-0.4}"; }

launch() {
  local player=$1
  XDG_CONFIG_HOME=$OUT/$player/cfg XDG_PICTURES_DIR=$OUT/$player/pictures \
    XDG_DATA_HOME=$OUT/$player/data "$BIN" > "$OUT/$player.log" 2>&1 &
  pids+=($!)
  local launcher=""
  for _ in $(seq 50); do
    launcher=$(windows_of_size 320x240 | head -1)
    [ -n "$launcher" ] && break
    sleep 0.2
  done
  [ -n "$launcher" ] || fail "$player: no launcher"
  key "$launcher" Return 1.5
  local game=""
  for _ in $(seq 50); do
    game=$(new_game_window)
    [ -n "$game" ] && break
    sleep 0.2
  done
  [ -n "$game" ] || fail "$player: the game window did not open"
  win[$player]=$game
  wins+=("$game")
  known="$known $game"
  xdotool windowmove "$game" "$2" "$3"
  focus "$game"
  sleep 2.5  # the browser searches and slides in
}
