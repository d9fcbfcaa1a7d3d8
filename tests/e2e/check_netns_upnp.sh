#!/usr/bin/env bash
# The host and three players each behind a home router that forwards nothing of itself but runs
# miniupnpd (UPnP IGD and NAT-PMP; tests/e2e/lib/routers.sh and miniupnpd.sh). With port mapping
# on, every member asks its router to forward its session port: the routers' nat tables show the
# mappings, the host's portmap command shows its router's public address, a friend joins at that
# address, every link is direct (nothing relayed), and once everybody has left the mappings are
# gone from every router.
#
# usage: check_netns_upnp.sh <source dir> <build dir>; exits 77 where namespaces cannot be made
# or miniupnpd is missing.
set -uo pipefail

source_dir=${1:?source dir}
build_dir=${2:?build dir}
PEER="$build_dir/bin/torvane-peer"
[ -x "$PEER" ] || { echo "FAIL: $PEER not built"; exit 1; }

# miniupnpd forwards nothing from a documentation range: an ordinary one, inside the namespaces
# only.
RT_SUBNET=192.0.3
source "$source_dir/tests/e2e/lib/routers.sh"
source "$source_dir/tests/e2e/lib/peers.sh"

cleanup() {
  peer_stop_all
  rt_cleanup
}
trap cleanup EXIT
trap 'exit 130' INT TERM

rt_require
[ -x /usr/sbin/miniupnpd ] || command -v miniupnpd >/dev/null ||
  rt_skip "miniupnpd is not installed (miniupnpd-iptables)"
command -v iptables-legacy >/dev/null || rt_skip "iptables-legacy, which miniupnpd writes to, is missing"
rt_work
export TORVANE_PORTMAP=1

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
homes=(hote alice bruno chloe)
declare -A NAME_OF=([hote]=Hote [alice]=Alice [bruno]=Bruno [chloe]=Chloe) ID PORT

rt_internet || { echo "FAIL: no internet namespace"; exit 1; }
for home in "${homes[@]}"; do
  rt_home "$home" || { echo "FAIL: home $home not made"; exit 1; }
  rt_upnp "$home" both || { echo "FAIL: miniupnpd did not start in $home's router"; exit 1; }
done

timing=(--heartbeat 250 --timeout 1000 --stay 600 --portmap 1)

# The router's forwarding rules for home $1, one per line: the nat table's redirections (whose
# target this iptables prints only as DNAT: legacy iptables cannot print the revision miniupnpd
# writes) with their source rewriting, and the filter table's openings, which name the address.
mappings() {
  rt_router_exec "$1" iptables-legacy -w -t nat -S MINIUPNPD | grep -- '-j DNAT'
  rt_router_exec "$1" iptables-legacy -w -t nat -S MINIUPNPD-POSTROUTING | grep -- '-j MASQUERADE'
  rt_router_exec "$1" iptables-legacy -w -t filter -S MINIUPNPD | grep -- '-j ACCEPT'
}

# Waits until home $1's router forwards TCP and UDP port $2 to it; prints the rules.
wait_mapped() {
  local home=$1 port=$2 rules protocol ok
  for _ in $(seq 1 100); do
    rules=$(mappings "$home")
    ok=yes
    for protocol in tcp udp; do
      echo "$rules" | grep -q -- "-p $protocol -m $protocol --dport $port -j DNAT" || ok=
      echo "$rules" | grep -q -- "-d ${RT_LAN[$home]}/32 -p $protocol -m $protocol --dport $port -j ACCEPT" || ok=
    done
    if [ -n "$ok" ]; then
      echo "$rules" | sed "s/^/    $home's router: /"
      return 0
    fi
    sleep 0.1
  done
  echo "$rules" | sed "s/^/    $home's router: /"
  return 1
}

# Waits until $1's portmap says its router's public address.
wait_public() {
  local line
  for _ in $(seq 1 50); do
    line=$(peer_ask "$1" portmap PUBLIC)
    [ "$line" = "PUBLIC ${RT_IP[$1]}" ] && { echo "  $1: $line"; return 0; }
    kill -0 "${PEER_PID[$1]}" 2>/dev/null || break  # it has ended: no answer will come
    sleep 0.2
  done
  echo "  $1: $line"
  return 1
}

session() {
  local start home
  start=$(now_ms)
  peer_start hote hote host --name Hote --game Routeurs "${timing[@]}"
  peer_wait hote READY 10 || { fail "the host did not start"; return; }
  ID[hote]=$(grep -m1 '^READY' "$(peer_log hote)" | cut -d' ' -f2)
  PORT[hote]=$(grep -m1 '^PORT' "$(peer_log hote)" | cut -d' ' -f2)
  wait_mapped hote "${PORT[hote]}" || fail "the host's router forwards nothing to it"
  wait_public hote || fail "the host does not know its public address ${RT_IP[hote]}"
  echo "host mapped at ${RT_IP[hote]}:${PORT[hote]} after $(($(now_ms) - start)) ms"

  for home in alice bruno chloe; do
    start=$(now_ms)
    peer_start "$home" "$home" join --name "${NAME_OF[$home]}" --host "${RT_IP[hote]}" \
      --port "${PORT[hote]}" "${timing[@]}"
    for _ in $(seq 1 400); do
      grep -q '^READY\|^FAILED' "$(peer_log "$home")" && break
      sleep 0.05
    done
    grep -q '^READY' "$(peer_log "$home")" || { fail "$home could not join"; return; }
    ID[$home]=$(grep -m1 '^READY' "$(peer_log "$home")" | cut -d' ' -f2)
    PORT[$home]=$(grep -m1 '^PORT' "$(peer_log "$home")" | cut -d' ' -f2)
    echo "${NAME_OF[$home]} joined in $(($(now_ms) - start)) ms"
    # The next player connects to this one's router: the mapping must hold by then, as it
    # does when friends join a few seconds apart.
    wait_mapped "$home" "${PORT[$home]}" || fail "$home's router forwards nothing to it"
    wait_public "$home" || fail "$home does not know its public address"
  done

  echo "players and links:"
  local line
  for home in "${homes[@]}"; do
    line=$(peer_ask "$home" players PLAYERS)
    echo "  $home: $line"
    [ "$line" = "PLAYERS 4 HOST ${ID[hote]} SELF ${ID[$home]}" ] || fail "$home sees '$line'"
    line=$(peer_ask "$home" links LINKS)
    echo "  $home: $line"
    [ "$line" = "LINKS direct 3 relayed 0" ] || fail "$home: '$line', expected 3 direct links"
  done
  # A text from each reaches everybody, over the forwarded ports.
  local from to
  for from in "${homes[@]}"; do peer_say "$from" "text par-upnp-de-$from"; done
  for from in "${homes[@]}"; do
    for to in "${homes[@]}"; do
      [ "$from" = "$to" ] || peer_wait "$to" "TEXT par-upnp-de-$from" 10 ||
        fail "the text of $from never reached $to"
    done
  done

  echo "everybody leaves"
  for home in chloe bruno alice hote; do
    peer_close "$home" 15 || fail "$home did not leave cleanly"
  done
  for home in "${homes[@]}"; do
    local rules=
    for _ in $(seq 1 100); do
      rules=$(mappings "$home")
      [ -z "$rules" ] && break
      sleep 0.05
    done
    if [ -n "$rules" ]; then
      fail "$home's router still forwards after the session:"
      echo "$rules" | sed 's/^/    /'
    fi
  done
}
session

if [ $failures -ne 0 ]; then
  echo "FAIL: $failures problems"
  for log in "$RT_WORK"/*.log "$RT_WORK"/upnp-*/miniupnpd.log; do
    echo "--- ${log#"$RT_WORK"/}"
    sed 's/^/    /' "$log"
  done
  exit 1
fi
echo "PASS: the routers forwarded every member's port while the session ran, every link direct, nothing left afterwards"
