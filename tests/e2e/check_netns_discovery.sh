#!/usr/bin/env bash
# Broadcast discovery and joining across a real link: two network namespaces joined by a veth
# pair with private addresses on that link only. Two hosts share one namespace (and so the
# discovery port); a searcher in the other namespace must find both with an empty host name,
# then join one. Exits 77 (skipped) where namespaces cannot be made.
set -uo pipefail

source_dir=${1:?source dir}
build_dir=${2:?build dir}
peer="$build_dir/bin/torvane-peer"
[ -x "$peer" ] || { echo "FAIL: $peer not built"; exit 1; }

id=$(( $$ % 250 + 1 ))
ns_a="tvnA$$"
ns_b="tvnB$$"
veth_a="tva$$"
veth_b="tvb$$"
net="10.231.$id"
work=$(mktemp -d)
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  exec 9>&- 2>/dev/null
  ip netns del "$ns_a" 2>/dev/null
  ip netns del "$ns_b" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null || ! ip netns add "$ns_a" 2>/dev/null; then
  echo "SKIP: network namespaces cannot be created here (needs root and iproute2)"
  exit 77
fi
ip netns add "$ns_b" || exit 1
ip link add "$veth_a" netns "$ns_a" type veth peer name "$veth_b" netns "$ns_b" || exit 1
ip -n "$ns_a" addr add "$net.1/24" broadcast "$net.255" dev "$veth_a"
ip -n "$ns_b" addr add "$net.2/24" broadcast "$net.255" dev "$veth_b"
for ns in "$ns_a" "$ns_b"; do ip -n "$ns" link set lo up; done
ip -n "$ns_a" link set "$veth_a" up
ip -n "$ns_b" link set "$veth_b" up

# Waits up to $2 seconds for a line starting with $1 in file $3.
wait_line() {
  for _ in $(seq 1 $(( $2 * 20 ))); do
    grep -q "^$1" "$3" && return 0
    sleep 0.05
  done
  return 1
}

# The peers read standard input from a fifo this script holds open, so they keep running
# until they are killed by id.
mkfifo "$work/keep"
exec 9<>"$work/keep"

# Two hosts in namespace A: the default ports, so they share the discovery port.
ip netns exec "$ns_a" "$peer" host --name Hote1 --game "Partie Une" --stay 30 \
  < "$work/keep" > "$work/host1" 2>&1 &
pids+=($!)
wait_line READY 5 "$work/host1" || { echo "FAIL: first host did not start"; cat "$work/host1"; exit 1; }
ip netns exec "$ns_a" "$peer" host --name Hote2 --game "Partie Deux" --stay 30 \
  < "$work/keep" > "$work/host2" 2>&1 &
pids+=($!)
wait_line READY 5 "$work/host2" || { echo "FAIL: second host did not start"; cat "$work/host2"; exit 1; }

start=$(date +%s%N)
ip netns exec "$ns_b" "$peer" search > "$work/search" 2>&1
status=$?
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
cat "$work/search"
[ $status -eq 0 ] || { echo "FAIL: nothing found across the link"; exit 1; }
grep -q "^PARTY 3.00a|Partie Une|1|[0-9]*|$net.1:[0-9]*$" "$work/search" ||
  { echo "FAIL: first host not listed with its address on the link"; exit 1; }
grep -q "^PARTY 3.00a|Partie Deux|1|[0-9]*|$net.1:[0-9]*$" "$work/search" ||
  { echo "FAIL: second host not listed"; exit 1; }
[ "$(grep -c '^PARTY' "$work/search")" -eq 2 ] || { echo "FAIL: a session was listed twice"; exit 1; }
echo "search across the link: ${elapsed} ms (process start included)"

# Join across the link: the searcher joins the first session it finds.
ip netns exec "$ns_b" "$peer" join --name Voisin --stay 30 < "$work/keep" > "$work/join" 2>&1 &
pids+=($!)
wait_line READY 10 "$work/join" || { echo "FAIL: join across the link failed"; cat "$work/join"; exit 1; }
seen=
for _ in $(seq 1 100); do
  if grep -q "^JOINED Voisin" "$work/host1" "$work/host2"; then seen=yes; break; fi
  sleep 0.05
done
[ -n "$seen" ] || { echo "FAIL: no host saw the joiner"; exit 1; }
echo "PASS: broadcast discovery and join across a veth link"
exit 0
