#!/usr/bin/env bash
# Router port mapping against a real router: Debian's miniupnpd in a "router" network namespace
# between a "wan" namespace and a "client" one, with masquerading and a filter that drops new
# connections from the wan, as a home router has. The probe program asks for a port from the
# client; the check reads the router's rules, connects from the wan through the mapping, and
# checks that everything is removed at the end. UPnP (with a port change and a short renewed
# lease), NAT-PMP alone (renewed, and removed by a mapping object destroyed without Stop), a
# port the router maps elsewhere, a router without miniupnpd and one that drops NAT-PMP. Exits 77 (skipped) where
# namespaces cannot be made.
set -uo pipefail

source_dir=${1:?source dir}
build_dir=${2:?build dir}
probe="$build_dir/bin/torvane-portmap"
[ -x "$probe" ] || { echo "FAIL: $probe not built"; exit 1; }
# shellcheck source=lib/miniupnpd.sh
. "$source_dir/tests/e2e/lib/miniupnpd.sh"
python=/usr/bin/python3

id=$(( $$ % 250 + 1 ))
ns_wan="tvmW$$"
ns_router="tvmR$$"
ns_client="tvmC$$"
if_wan="tmw$$"     # the router's wan side
if_isp="tmi$$"     # the wan namespace's end of that link
if_lan="tml$$"     # the router's lan side
if_client="tmc$$"  # the client's end
# miniupnpd refuses every reserved range on its wan side (the documentation ones too), so the
# wan link uses addresses it takes for public. The namespaces have no link to this machine's
# own, so nothing sent to them goes anywhere else.
wan_router=192.0.3.1
wan_peer=192.0.3.2
lan="10.233.$id"
client="$lan.2"
work=$(mktemp -d)
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  stop_miniupnpd "$work/router"
  wait 2>/dev/null
  ip netns del "$ns_wan" 2>/dev/null
  ip netns del "$ns_router" 2>/dev/null
  ip netns del "$ns_client" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null || ! ip netns add "$ns_wan" 2>/dev/null; then
  echo "SKIP: network namespaces cannot be created here (needs root and iproute2)"
  exit 77
fi
for tool in /usr/sbin/miniupnpd iptables-legacy "$python"; do
  command -v "$tool" >/dev/null ||
    { echo "SKIP: $tool is missing (tools/install-deps installs it)"; exit 77; }
done
ip netns add "$ns_router" || exit 1
ip netns add "$ns_client" || exit 1
ip link add "$if_wan" netns "$ns_router" type veth peer name "$if_isp" netns "$ns_wan" || exit 1
ip link add "$if_lan" netns "$ns_router" type veth peer name "$if_client" netns "$ns_client" || exit 1
ip -n "$ns_router" addr add "$wan_router/24" dev "$if_wan"
ip -n "$ns_wan" addr add "$wan_peer/24" dev "$if_isp"
ip -n "$ns_router" addr add "$lan.1/24" dev "$if_lan"
ip -n "$ns_client" addr add "$client/24" dev "$if_client"
for ns in "$ns_wan" "$ns_router" "$ns_client"; do ip -n "$ns" link set lo up; done
ip -n "$ns_router" link set "$if_wan" up
ip -n "$ns_router" link set "$if_lan" up
ip -n "$ns_wan" link set "$if_isp" up
ip -n "$ns_client" link set "$if_client" up
ip -n "$ns_client" route add default via "$lan.1" || exit 1
ip netns exec "$ns_router" sysctl -qw net.ipv4.ip_forward=1 || exit 1
router_ipt() { ip netns exec "$ns_router" iptables-legacy -w "$@"; }
router_ipt -t nat -A POSTROUTING -o "$if_wan" -j MASQUERADE || exit 1
router_ipt -A FORWARD -i "$if_wan" -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT || exit 1
router_ipt -A FORWARD -i "$if_wan" -j DROP || exit 1

# Waits up to $2 seconds for a line matching $1 in file $3.
wait_line() {
  for _ in $(seq 1 $(( $2 * 20 ))); do
    grep -q "$1" "$3" && return 0
    sleep 0.05
  done
  return 1
}

fail() {
  echo "FAIL: $*"
  for f in "$work"/probe-*; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done
  echo "--- router nat rules"; router_ipt -t nat -S
  [ -f "$work/router/miniupnpd.log" ] && { echo "--- miniupnpd"; tail -40 "$work/router/miniupnpd.log"; }
  exit 1
}

# A listener in the client namespace on the ports the probe maps: writes "TCP <text>" and
# "UDP <text>" for what reaches it.
ports=(2302 2317 2325 2340 2351)
ip netns exec "$ns_client" "$python" -u - "$work/received" "${ports[@]}" <<'PY' &
import select, socket, sys
out = open(sys.argv[1], "a", buffering=1)
sockets = {}
for port in map(int, sys.argv[2:]):
    t = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    t.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    t.bind(("0.0.0.0", port)); t.listen(8)
    u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    u.bind(("0.0.0.0", port))
    sockets[t] = "TCP"; sockets[u] = "UDP"
while True:
    for s in select.select(list(sockets), [], [])[0]:
        if sockets[s] == "TCP":
            c, _ = s.accept(); c.settimeout(2)
            try:
                data = c.recv(200)
            except OSError:
                data = b""
            c.close()
        else:
            data = s.recv(200)
        out.write("%s %s\n" % (sockets[s], data.decode(errors="replace").strip()))
PY
pids+=($!)
for _ in $(seq 1 100); do
  ip netns exec "$ns_client" ss -Hltn "sport = :${ports[-1]}" | grep -q . && break
  sleep 0.05
done
touch "$work/received"

# Sends a TCP connection and a datagram from the wan to the router's external port $1, each
# carrying the text $2.
from_wan() {
  ip netns exec "$ns_wan" timeout 3 bash -c \
    "exec 3<>/dev/tcp/$wan_router/$1 && echo 'tcp $2' >&3" 2>/dev/null
  ip netns exec "$ns_wan" bash -c "echo 'udp $2' > /dev/udp/$wan_router/$1" 2>/dev/null
}
# True when both reached the client (within 3 s).
reached() {
  wait_line "^TCP tcp $1\$" 3 "$work/received" && wait_line "^UDP udp $1\$" 3 "$work/received"
}
# True when neither reached the client.
blocked() {
  sleep 0.5
  ! grep -q " $1\$" "$work/received"
}
# The router's forwarding rules for port $1: "tcp", "udp", both or none.
router_forwards() {
  router_ipt -t nat -S MINIUPNPD 2>/dev/null | grep -- "--dport $1 " |
    sed -n 's/.* -p \([a-z]*\) .*/\1/p' | sort | tr '\n' ' '
}

# Starts the probe named $1 for port $2 with further arguments; its standard input is a fifo
# this script writes to (descriptor probe_fd_<name>) until close_probe. The probe opens the fifo
# before the script does, so that it does not inherit the writing end and sees its end.
start_probe() {
  local name=$1 port=$2 fd
  shift 2
  mkfifo "$work/in-$name"
  ip netns exec "$ns_client" "$probe" "$port" "$@" < "$work/in-$name" > "$work/probe-$name" 2>&1 &
  eval "probe_pid_$name=$!"
  pids+=($!)
  exec {fd}>"$work/in-$name"
  eval "probe_fd_$name=$fd"
}
say_probe() { local fd; eval "fd=\$probe_fd_$1"; echo "$2" >&"$fd"; }
# Closes the probe's input (it stops) and waits for it to end.
close_probe() {
  local fd pid
  eval "fd=\$probe_fd_$1 pid=\$probe_pid_$1"
  exec {fd}>&-
  wait_line "^STOPPED" 10 "$work/probe-$1" || fail "probe $1 did not stop"
  wait "$pid" 2>/dev/null
}
settled() { grep "^STATUS" "$work/probe-$1" | sed -n "${2:-1}p"; }

# --- UPnP (miniupnpd answering both protocols: UPnP is asked first) ---------------------------
from_wan 2302 before-upnp
blocked before-upnp || fail "the router forwards new connections from the wan without a mapping"

start_miniupnpd "$ns_router" "$if_wan" "$if_lan" "$work/router" both || fail "miniupnpd did not start"
start_probe upnp 2302 --stay 120
wait_line "^STATUS" 30 "$work/probe-upnp" || fail "UPnP probe never settled"
echo "upnp: $(settled upnp)"
settled upnp | grep -q "^STATUS Mapped $wan_router UPnP " ||
  fail "UPnP mapping not made with the router's external address"
[ "$(router_forwards 2302)" = "tcp udp " ] || fail "router has no TCP and UDP rules for 2302"
grep -q "^TCP:2302:$client:2302:[0-9]*:Torvane$" "$work/router/miniupnpd.leases" ||
  fail "UPnP lease not for the client's address with our description"
from_wan 2302 upnp-2302
reached upnp-2302 || fail "a connection from the wan did not reach the client through UPnP"

# Another port replaces the first one.
say_probe upnp "port 2317"
for _ in $(seq 1 600); do [ -n "$(settled upnp 2)" ] && break; sleep 0.05; done
echo "upnp, another port: $(settled upnp 2)"
settled upnp 2 | grep -q "^STATUS Mapped $wan_router UPnP " || fail "second port not mapped"
[ "$(router_forwards 2317)" = "tcp udp " ] || fail "router has no rules for the second port"
[ -z "$(router_forwards 2302)" ] || fail "the first port is still mapped after the change"
from_wan 2317 upnp-2317
reached upnp-2317 || fail "the second port does not reach the client"
# The same port again while it is mapped leaves the router alone.
adds=$(grep -c "AddPortMapping: ext port 2317 " "$work/router/miniupnpd.log")
say_probe upnp "port 2317"
for _ in $(seq 1 600); do [ -n "$(settled upnp 3)" ] && break; sleep 0.05; done
settled upnp 3 | grep -q "^STATUS Mapped $wan_router UPnP " || fail "same port again: not mapped"
[ "$(grep -c "AddPortMapping: ext port 2317 " "$work/router/miniupnpd.log")" -eq "$adds" ] ||
  fail "asking again for the mapped port asked the router again"

close_probe upnp
grep "^STOPPED" "$work/probe-upnp"
[ -z "$(router_forwards 2317)" ] || fail "UPnP mapping left on the router after Stop"
grep -q "^NOT-OFF" "$work/probe-upnp" && fail "state not Off after Stop"
from_wan 2317 after-upnp
blocked after-upnp || fail "the wan still reaches the client after Stop"

# A short lease is renewed before it runs out: the rule is still there after the lease.
start_probe lease 2325 --lease 4 --stay 120
wait_line "^STATUS" 30 "$work/probe-lease" || fail "short-lease probe never settled"
settled lease | grep -q "^STATUS Mapped $wan_router UPnP " || fail "short-lease UPnP mapping not made"
grep -q "^LEASE 4$" "$work/probe-lease" || fail "the router did not grant the 4 s lease"
wait_line "^RENEWED 2$" 15 "$work/probe-lease" || fail "the UPnP lease was not renewed twice"
[ "$(router_forwards 2325)" = "tcp udp " ] || fail "the renewed UPnP mapping expired anyway"
from_wan 2325 renewed-upnp
reached renewed-upnp || fail "the renewed mapping does not reach the client"
close_probe lease
[ -z "$(router_forwards 2325)" ] || fail "renewed UPnP mapping left after Stop"
echo "upnp short lease: $(grep -c '^RENEWED' "$work/probe-lease") renewals"

# A port the router cannot forward from the same number (miniupnpd will not forward a port the
# router itself listens on): UPnP refuses and NAT-PMP offers another external port, which is
# given back.
ip netns exec "$ns_router" "$python" -c \
  "import socket,time; s=socket.socket(); s.bind(('0.0.0.0',2351)); s.listen(); time.sleep(120)" &
pids+=($!)
for _ in $(seq 1 100); do
  ip netns exec "$ns_router" ss -Hltn "sport = :2351" | grep -q . && break
  sleep 0.05
done
start_probe taken 2351 --stay 120
wait_line "^STATUS" 30 "$work/probe-taken" || fail "taken-port probe never settled"
echo "taken: $(settled taken) ($(sed -n 's/^DETAIL //p' "$work/probe-taken"))"
settled taken | grep -q "^STATUS Unavailable - - " || fail "a port mapped elsewhere counted as mapped"
sleep 0.3
[ -z "$(router_forwards 2351)" ] && ! router_ipt -t nat -S MINIUPNPD | grep -q -- "-p" ||
  fail "a mapping from another external port was left on the router"
close_probe taken
stop_miniupnpd "$work/router"

# --- NAT-PMP alone -----------------------------------------------------------------------------
start_miniupnpd "$ns_router" "$if_wan" "$if_lan" "$work/router" natpmp ||
  fail "miniupnpd (NAT-PMP only) did not start"
start_probe natpmp 2340 --lease 4 --stay 120
wait_line "^STATUS" 30 "$work/probe-natpmp" || fail "NAT-PMP probe never settled"
echo "natpmp: $(settled natpmp)"
settled natpmp | grep -q "^STATUS Mapped $wan_router NAT-PMP " ||
  fail "NAT-PMP mapping not made with the router's external address"
[ "$(router_forwards 2340)" = "tcp udp " ] || fail "router has no TCP and UDP rules for 2340"
from_wan 2340 natpmp-2340
reached natpmp-2340 || fail "a connection from the wan did not reach the client through NAT-PMP"
wait_line "^RENEWED 2$" 15 "$work/probe-natpmp" || fail "the NAT-PMP lease was not renewed twice"
[ "$(router_forwards 2340)" = "tcp udp " ] || fail "the renewed NAT-PMP mapping expired anyway"
close_probe natpmp
[ -z "$(router_forwards 2340)" ] || fail "NAT-PMP mapping left on the router after Stop"

# Dropped without Stop (a session that just lets it go): the destructor removes the mapping.
start_probe dropped 2340 --no-stop --stay 120
wait_line "^STATUS" 30 "$work/probe-dropped" || fail "dropped probe never settled"
settled dropped | grep -q "^STATUS Mapped $wan_router NAT-PMP " || fail "NAT-PMP mapping not made again"
[ "$(router_forwards 2340)" = "tcp udp " ] || fail "router has no rules for the dropped probe"
close_probe dropped
[ -z "$(router_forwards 2340)" ] || fail "mapping left on the router by a mapping destroyed without Stop"
stop_miniupnpd "$work/router"

# --- No miniupnpd at all: unavailable, within the budget (the time is reported, not judged) ----
start_probe none 2302 --stay 120
wait_line "^STATUS" 30 "$work/probe-none" || fail "probe without a router daemon never settled"
echo "no daemon: $(settled none) ms ($(sed -n 's/^DETAIL //p' "$work/probe-none"))"
settled none | grep -q "^STATUS Unavailable - - " || fail "no router daemon but not Unavailable"
close_probe none
echo "stop without a daemon: $(grep '^STOPPED' "$work/probe-none") ms"

# A router that drops NAT-PMP without a word: the asking ends at the budget all the same.
router_ipt -I INPUT -p udp --dport 5351 -j DROP || exit 1
start_probe silent 2302 --stay 120
wait_line "^STATUS" 30 "$work/probe-silent" || fail "probe behind a silent router never settled"
echo "silent router: $(settled silent) ms ($(sed -n 's/^DETAIL //p' "$work/probe-silent"))"
settled silent | grep -q "^STATUS Unavailable - - " || fail "silent router but not Unavailable"
close_probe silent

echo "PASS: UPnP and NAT-PMP port mapping through a router namespace"
exit 0
