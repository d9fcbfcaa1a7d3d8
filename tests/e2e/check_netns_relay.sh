#!/usr/bin/env bash
# Players behind home routers that forward nothing (tests/e2e/lib/routers.sh): each reaches the
# public host, nobody reaches anybody else's home, so the host relays those pairs.
#
# 1. A public host and three homes: everybody sees four players, a text from each reaches every
#    other exactly once, everybody's peer data reaches everybody; the homes report direct links
#    to the host and relayed ones to each other. Then one router's wan goes down: every other
#    player reports that one lost (heartbeat 250 ms, time-out 1000 ms).
# 2. A public host, a second public player and three homes; the host is killed while the homes'
#    pairs are relayed: the public player, the only one with a direct link to everybody, becomes
#    the one new host, everybody agrees on it and on the count, and texts still reach everybody
#    through the new host.
# 3. The same with the host's link cut instead: silence until the time-out.
# 4. The host killed when the oldest player is a home that joined before the public player: it
#    reaches nobody but the host directly, so the public player (the most direct links) takes
#    over, and that home, which reaches it only through the old host, is left alone.
#
# usage: check_netns_relay.sh <source dir> <build dir>; exits 77 where namespaces cannot be made.
set -uo pipefail

source_dir=${1:?source dir}
build_dir=${2:?build dir}
PEER="$build_dir/bin/torvane-peer"
[ -x "$PEER" ] || { echo "FAIL: $PEER not built"; exit 1; }

source "$source_dir/tests/e2e/lib/routers.sh"
source "$source_dir/tests/e2e/lib/peers.sh"

cleanup() {
  peer_stop_all
  rt_cleanup
}
trap cleanup EXIT
trap 'exit 130' INT TERM

rt_require
rt_work
rt_internet || { echo "FAIL: no internet namespace"; exit 1; }
for machine in server quentin; do rt_public $machine || { echo "FAIL: $machine not made"; exit 1; }; done
for machine in alice bruno chloe; do rt_home $machine || { echo "FAIL: home $machine not made"; exit 1; }; done

HEARTBEAT=250
TIMEOUT=1000
timing=(--heartbeat $HEARTBEAT --timeout $TIMEOUT --stay 600)
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

declare -A NAME_OF=([server]=Hote [quentin]=Quentin [alice]=Alice [bruno]=Bruno [chloe]=Chloe)
declare -A ID

# Starts the host of a session on machine `server` under log name $1; sets HOST_PORT.
start_host() {
  peer_start "$1" server host --name Hote --game Relais "${timing[@]}"
  peer_wait "$1" READY 10 || { cat "$(peer_log "$1")"; return 1; }
  ID[$1]=$(grep -m1 '^READY' "$(peer_log "$1")" | cut -d' ' -f2)
  HOST_PORT=$(grep -m1 '^PORT' "$(peer_log "$1")" | cut -d' ' -f2)
  echo "host ${NAME_OF[server]} id ${ID[$1]} at ${RT_IP[server]}:$HOST_PORT"
}

# Joins machine $2 under log name $1, by the host's address and port as a friend would type it.
join() {
  local log=$1 machine=$2 start
  start=$(now_ms)
  peer_start "$log" "$machine" join --name "${NAME_OF[$machine]}" --host "${RT_IP[server]}" \
    --port "$HOST_PORT" "${timing[@]}"
  for _ in $(seq 1 400); do
    grep -q '^READY\|^FAILED' "$(peer_log "$log")" && break
    kill -0 "${PEER_PID[$log]}" 2>/dev/null || break
    sleep 0.05
  done
  if ! grep -q '^READY' "$(peer_log "$log")"; then
    fail "${NAME_OF[$machine]} (behind ${RT_ROUTER[$machine]:-no router}) could not join"
    sed 's/^/    /' "$(peer_log "$log")"
    return 1
  fi
  ID[$log]=$(grep -m1 '^READY' "$(peer_log "$log")" | cut -d' ' -f2)
  echo "${NAME_OF[$machine]} joined as ${ID[$log]} in $(($(now_ms) - start)) ms"
}

# Every log name in $@ reports PLAYERS $count HOST $host.
check_players() {
  local count=$1 host=$2 log line
  shift 2
  for log in "$@"; do
    line=$(peer_ask "$log" players PLAYERS) || { fail "$log does not answer"; continue; }
    echo "  $log: $line"
    [ "$line" = "PLAYERS $count HOST $host SELF ${ID[$log]}" ] ||
      fail "$log sees '$line', not $count players under host $host"
  done
}

# Log name $1 reports LINKS direct $2 relayed $3.
check_links() {
  local line
  line=$(peer_ask "$1" links LINKS) || { fail "$1 does not answer"; return; }
  echo "  $1: $line"
  [ "$line" = "LINKS direct $2 relayed $3" ] || fail "$1: '$line', expected direct $2 relayed $3"
}

# Every log name in $@ sends a text; each reaches every other exactly once.
check_texts() {
  local tag=$1 from to
  shift
  for from in "$@"; do peer_say "$from" "text $tag-de-$from"; done
  for from in "$@"; do
    for to in "$@"; do
      [ "$from" = "$to" ] && continue
      peer_wait "$to" "TEXT $tag-de-$from" 10 || fail "the text of $from never reached $to"
    done
  done
  # Time for a repeat to arrive before counting.
  sleep 1
  for from in "$@"; do
    for to in "$@"; do
      [ "$from" = "$to" ] && continue
      local seen
      seen=$(peer_count "$to" "TEXT $tag-de-$from")
      [ "$seen" -le 1 ] || fail "the text of $from reached $to $seen times"
    done
  done
}

# Every log name in $@ republishes its record with its own nation; everybody else sees it.
check_data() {
  local from to nation=0
  declare -A of
  for from in "$@"; do
    nation=$((nation + 1))
    of[$from]=$nation
    peer_say "$from" "data $nation"
  done
  for from in "$@"; do
    local name=${PLAYER_NAME[$from]}
    for to in "$@"; do
      [ "$from" = "$to" ] && continue
      peer_wait "$to" "DATA $name ${of[$from]}" 10 || fail "the data of $from never reached $to"
    done
  done
}

declare -A PLAYER_NAME

# --- 1. a public host and three homes -----------------------------------------------------------
echo "== a public host and three players behind routers that forward nothing"
scenario_one() {
  start_host one-hote || { fail "the host did not start"; return; }
  PLAYER_NAME[one-hote]=Hote
  local joined=(one-hote) machine
  for machine in alice bruno chloe; do
    PLAYER_NAME[one-$machine]=${NAME_OF[$machine]}
    join "one-$machine" "$machine" && joined+=("one-$machine")
  done
  [ ${#joined[@]} -eq 4 ] || { fail "only ${#joined[@]} of 4 players in the session"; return; }
  echo "players:"
  check_players 4 "${ID[one-hote]}" "${joined[@]}"
  echo "links:"
  check_links one-hote 3 0
  for machine in alice bruno chloe; do check_links "one-$machine" 1 2; done
  check_texts un "${joined[@]}"
  check_data "${joined[@]}"

  echo "Chloe's router loses its wan link"
  local start log
  start=$(now_ms)
  rt_cut chloe
  for log in one-hote one-alice one-bruno; do
    if peer_wait "$log" "LOST Chloe" 10; then
      echo "  $log reports Chloe lost after $(($(now_ms) - start)) ms or less"
    else
      fail "$log never reported Chloe lost"
    fi
  done
  peer_wait one-chloe "LOST Hote" 10 || fail "Chloe never lost the host"
  check_players 3 "${ID[one-hote]}" one-hote one-alice one-bruno
}
scenario_one
peer_stop_all
ip -n "${RT_ROUTER[chloe]}" link set wan up

# --- 2 to 4. the host goes while the homes' pairs are relayed -----------------------------------
# $1 tag, $2 kill (SIGKILL: its connections reset at once) or cut (its link goes down: silence
# until the time-out), then the order the other machines join in. Quentin, public, reaches
# everybody who joined after it directly; a home that joined before it is relayed with it.
scenario_migration() {
  local tag=$1 how=$2 machine
  shift 2
  start_host "$tag-hote" || { fail "the host did not start"; return; }
  PLAYER_NAME[$tag-hote]=Hote
  local joined=()
  for machine in "$@"; do
    PLAYER_NAME[$tag-$machine]=${NAME_OF[$machine]}
    join "$tag-$machine" "$machine" && joined+=("$tag-$machine")
  done
  [ ${#joined[@]} -eq $# ] || { fail "only $((${#joined[@]} + 1)) of $(($# + 1)) players in the session"; return; }
  echo "players:"
  check_players $(($# + 1)) "${ID[$tag-hote]}" "$tag-hote" "${joined[@]}"
  # Who is left with whom: Quentin and the homes that joined after it. A home that joined
  # first reaches nobody but the host directly, so the successor cannot relay it.
  local survivors=() alone=() seen_quentin= direct_to_all=yes
  for machine in "$@"; do
    if [ "$machine" = quentin ]; then
      seen_quentin=yes
      survivors+=("$tag-$machine")
    elif [ -n "$seen_quentin" ]; then
      survivors+=("$tag-$machine")
    else
      alone+=("$tag-$machine")
      direct_to_all=
    fi
  done
  echo "links:"
  check_links "$tag-quentin" ${#survivors[@]} ${#alone[@]}
  for log in "${survivors[@]}"; do
    [ "$log" = "$tag-quentin" ] || check_links "$log" 2 $((${#survivors[@]} - 2 + ${#alone[@]}))
  done
  for log in "${alone[@]}"; do check_links "$log" 1 $(($# - 1)); done

  local start log hosts=0
  start=$(now_ms)
  if [ "$how" = kill ]; then
    echo "the host is killed"
    peer_kill "$tag-hote"
  else
    echo "the host's link goes down"
    rt_cut server
  fi
  for log in "${survivors[@]}"; do
    if peer_wait "$log" "HOST " 15; then
      echo "  $log: $(grep '^HOST ' "$(peer_log "$log")" | tr '\n' ' ')after $(($(now_ms) - start)) ms or less"
    else
      fail "$log never saw a new host"
    fi
    peer_wait "$log" "LOST Hote" 5 || fail "$log never reported the host lost"
  done
  # Lets any second claim play out before counting hosts.
  sleep 2
  for log in "${survivors[@]}"; do
    hosts=$((hosts + $(peer_count "$log" "HOST self")))
  done
  [ $hosts -eq 1 ] || fail "$hosts players took over as host"
  grep -qx "HOST self" "$(peer_log "$tag-quentin")" ||
    fail "Quentin, the one with the most direct links, did not take over"
  echo "players:"
  check_players ${#survivors[@]} "${ID[$tag-quentin]}" "${survivors[@]}"
  for log in "${alone[@]}"; do
    local line
    line=$(peer_ask "$log" players PLAYERS) || { fail "$log does not answer"; continue; }
    echo "  $log (reaches the successor only through the old host): $line"
    case $line in "PLAYERS 1 "*) ;; *) fail "$log is not left alone: '$line'" ;; esac
  done
  echo "links:"
  check_links "$tag-quentin" $((${#survivors[@]} - 1)) 0
  for log in "${survivors[@]}"; do
    [ "$log" = "$tag-quentin" ] || check_links "$log" 1 $((${#survivors[@]} - 2))
  done
  check_texts "$tag" "${survivors[@]}"
  [ "$how" = cut ] && ip -n "${RT_NS[server]}" link set eth0 up
}

echo "== the host killed while the homes' pairs are relayed"
scenario_migration two kill quentin alice bruno chloe
peer_stop_all
echo "== the host's link cut while the homes' pairs are relayed"
scenario_migration three cut quentin alice bruno chloe
peer_stop_all
echo "== the host killed, the oldest player reaching only the host directly"
scenario_migration four kill alice quentin bruno chloe

if [ $failures -ne 0 ]; then
  echo "FAIL: $failures problems (logs above)"
  for log in "$RT_WORK"/*.log; do
    echo "--- $(basename "$log")"
    sed 's/^/    /' "$log"
  done
  exit 1
fi
echo "PASS: sessions across routers that forward nothing, relayed by the host, through a lost player and a host migration"
