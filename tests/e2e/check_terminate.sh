#!/bin/bash
# The game ends cleanly and at once when it is asked to terminate (SIGTERM at the end of a desktop
# session, SIGINT from a terminal): a quit message, not a kill.
# usage: check_terminate.sh <source dir> <build dir>
set -euo pipefail
BUILD=$2
folder=$(mktemp -d /tmp/torvane-term-XXXXXX)
trap 'rm -rf "$folder"' EXIT
export XDG_CONFIG_HOME=$folder SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy TORVANE_SEARCH=local
# (A shell starts background jobs with SIGINT ignored, so only SIGTERM can be checked here.)
for signal in TERM; do
  "$BUILD/bin/torvane" > "$folder/log" 2>&1 &
  pid=$!
  sleep 1.5
  kill -0 "$pid" || { echo "check_terminate: the game did not start"; cat "$folder/log"; exit 1; }
  kill -"$signal" "$pid"
  for _ in $(seq 30); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -9 "$pid"
    echo "check_terminate: SIG$signal did not end the game"
    exit 1
  fi
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { echo "check_terminate: SIG$signal ended the game with $status"; exit 1; }
done
# The launcher had stored its options before the end: nothing was lost.
grep -q '"NoSoundCard"=dword:00000001' "$XDG_CONFIG_HOME/Quillmere/Torvane/settings.reg"
echo "check_terminate: the game ends cleanly on SIGTERM"
