#!/bin/bash
# Only the platform backends (src/platform/sdl, media, net, jpeg) may include SDL, GStreamer,
# Asio, libjpeg, fontconfig, X11, miniupnpc or libnatpmp; the game data and the campaign build
# with the standard library alone.
# usage: check_layers.sh <source dir> <build dir>
set -euo pipefail
cd "$1"
pattern='#include *[<"](SDL|gst/|asio|jpeglib|jerror|X11/|fontconfig/|miniupnpc/|natpmp)'
bad=$(grep -rlE "$pattern" src | grep -vE '^src/platform/(sdl|media|net|jpeg)/' || true)
if [ -n "$bad" ]; then
  echo "check_layers: platform libraries included above the platform layer:"
  echo "$bad"
  exit 1
fi
# The game data (the world, objectives, history and the player record) and the campaign (the
# rules, their messages, the computer player, the simulation).
data="src/game/Game src/game/Objectif src/game/Directlog src/game/Random src/network/Playerinfo"
data="$data $(ls src/campaign/*.h src/campaign/*.cpp | sed 's/\.[ch]p*$//' | sort -u)"
for unit in $data; do
  for file in "$unit.h" "$unit.cpp"; do
    [ -f "$file" ] || continue
    if grep -E '#include "(platform|screen|input|audio|states|lobby|app|bot)/|#include "game/State|#include "network/Directplay' "$file"; then
      echo "check_layers: $file reaches above the game data"
      exit 1
    fi
  done
done
echo "check_layers: layers respected"
