# A small internet in network namespaces, for checks that play across home routers. Sourced.
#
#   rt_require              exits 77 with the reason unless namespaces, veth pairs, bridges and
#                           iptables (filter and nat) can be made here
#   rt_internet             the internet: a namespace of its own holding the bridge every wan
#                           leg plugs into (198.51.100.0/24, TEST-NET-2, unless RT_SUBNET names
#                           another /24 before sourcing: miniupnpd forwards nothing from a
#                           documentation range, so the port mapping check takes 192.0.3)
#   rt_public NAME          a machine on the internet with a public address, no router
#   rt_home NAME            a home: a router on the internet (wan leg on the bridge, masquerading
#                           out of it, ip_forward on, new connections from the wan dropped, so it
#                           forwards nothing) and a machine NAME behind it on 192.168.1.0/24 with
#                           its default route via the router. Every home uses the same private
#                           network, as real ones do.
#   rt_upnp NAME MODE       miniupnpd (both|upnp|natpmp) in home NAME's router, through
#                           tests/e2e/lib/miniupnpd.sh; fails when that helper is missing
#   rt_cut NAME             takes the wan leg of NAME's router (or of a public machine) down
#   rt_exec NAME CMD...     runs CMD inside machine NAME's namespace
#   rt_router_exec NAME CMD...  runs CMD inside home NAME's router
#   rt_cleanup              stops what still runs in the namespaces (by process id), stops the
#                           routers' miniupnpd and deletes every namespace; call it from a trap
#
# After rt_public / rt_home: RT_NS[NAME] is the machine's namespace, RT_IP[NAME] the address the
# internet sees it at (the router's wan address for a home), RT_LAN[NAME] its own address and
# RT_ROUTER[NAME] its router's namespace (empty for a public machine). Names carry RT_TAG (the
# sourcing script's pid unless set), so runs side by side never meet. RT_WORK is a folder the
# library may write to (made on first use, removed by rt_cleanup unless the caller set it).
#
# The routers use iptables-legacy where it exists: Debian's miniupnpd programs the legacy tables,
# and a filter of the other flavour would drop what miniupnpd lets through.

RT_TAG=${RT_TAG:-$$}
RT_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
RT_INET="tv${RT_TAG}inet"
RT_SUBNET=${RT_SUBNET:-198.51.100}
RT_HOME_NET=192.168.1
if command -v iptables-legacy >/dev/null 2>&1; then RT_IPT=iptables-legacy; else RT_IPT=iptables; fi
declare -gA RT_NS RT_IP RT_LAN RT_ROUTER
RT_NAMESPACES=()
RT_UPNP_DIRS=()
RT_NEXT_PUBLIC=10
RT_NEXT_ROUTER=100
RT_OWN_WORK=

rt_work() {
  if [ -z "${RT_WORK:-}" ]; then
    RT_WORK=$(mktemp -d /tmp/torvane-routers-XXXXXX)
    RT_OWN_WORK=yes
  fi
}

rt_skip() {
  echo "SKIP: $*"
  exit 77
}

rt_require() {
  [ "$(id -u)" -eq 0 ] || rt_skip "network namespaces need root"
  command -v ip >/dev/null || rt_skip "iproute2 is not installed"
  command -v "$RT_IPT" >/dev/null || rt_skip "iptables is not installed"
  local probe="tv${RT_TAG}probe"
  ip netns add "$probe" 2>/dev/null || rt_skip "network namespaces cannot be created here"
  local reason=
  if ! ip -n "$probe" link add br0 type bridge 2>/dev/null; then
    reason="bridges cannot be made in a namespace"
  elif ! ip -n "$probe" link add v0 type veth peer name v1 2>/dev/null; then
    reason="veth pairs cannot be made in a namespace"
  elif ! ip netns exec "$probe" "$RT_IPT" -w -t nat -A POSTROUTING -o v0 -j MASQUERADE 2>/dev/null; then
    reason="$RT_IPT cannot masquerade in a namespace (no nat table)"
  elif ! ip netns exec "$probe" "$RT_IPT" -w -A FORWARD -i v0 -m conntrack \
      --ctstate ESTABLISHED,RELATED -j ACCEPT 2>/dev/null; then
    reason="$RT_IPT cannot filter by connection state in a namespace"
  fi
  ip netns del "$probe" 2>/dev/null
  [ -z "$reason" ] || rt_skip "$reason"
}

# Makes a namespace of ours with its loopback up.
rt_namespace() {
  ip netns add "$1" || return 1
  RT_NAMESPACES+=("$1")
  ip -n "$1" link set lo up
}

rt_internet() {
  rt_namespace "$RT_INET" || return 1
  ip -n "$RT_INET" link add br0 type bridge || return 1
  ip -n "$RT_INET" link set br0 up
}

# Plugs namespace $1 into the internet's bridge: interface $2 inside it, address $3, and $4 the
# other end's name on the bridge.
rt_plug() {
  local ns=$1 inside=$2 address=$3 peer=$4
  ip -n "$ns" link add "$inside" type veth peer name "$peer" netns "$RT_INET" || return 1
  ip -n "$RT_INET" link set "$peer" master br0
  ip -n "$RT_INET" link set "$peer" up
  ip -n "$ns" addr add "$address/24" dev "$inside"
  ip -n "$ns" link set "$inside" up
}

rt_public() {
  local name=$1 ns="tv${RT_TAG}$1"
  rt_namespace "$ns" || return 1
  rt_plug "$ns" eth0 "$RT_SUBNET.$RT_NEXT_PUBLIC" "pub$RT_NEXT_PUBLIC" || return 1
  RT_NS[$name]=$ns
  RT_IP[$name]=$RT_SUBNET.$RT_NEXT_PUBLIC
  RT_LAN[$name]=$RT_SUBNET.$RT_NEXT_PUBLIC
  RT_ROUTER[$name]=
  RT_NEXT_PUBLIC=$((RT_NEXT_PUBLIC + 1))
}

rt_home() {
  local name=$1 ns="tv${RT_TAG}$1" router="tv${RT_TAG}$1rt"
  local wan="$RT_SUBNET.$RT_NEXT_ROUTER"
  rt_namespace "$router" || return 1
  rt_namespace "$ns" || return 1
  rt_plug "$router" wan "$wan" "wan$RT_NEXT_ROUTER" || return 1
  ip -n "$router" link add lan type veth peer name eth0 netns "$ns" || return 1
  ip -n "$router" addr add "$RT_HOME_NET.1/24" dev lan
  ip -n "$router" link set lan up
  ip -n "$ns" addr add "$RT_HOME_NET.2/24" dev eth0
  ip -n "$ns" link set eth0 up
  ip -n "$ns" route add default via "$RT_HOME_NET.1"
  ip netns exec "$router" sysctl -q -w net.ipv4.ip_forward=1 || return 1
  local ipt=(ip netns exec "$router" "$RT_IPT" -w)
  "${ipt[@]}" -t nat -A POSTROUTING -o wan -j MASQUERADE || return 1
  # Answers to what the home opened come back in; nothing else does, to the home or the router.
  "${ipt[@]}" -A FORWARD -i wan -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT || return 1
  "${ipt[@]}" -A FORWARD -i wan -j DROP || return 1
  "${ipt[@]}" -A INPUT -i wan -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT || return 1
  "${ipt[@]}" -A INPUT -i wan -j DROP || return 1
  RT_NS[$name]=$ns
  RT_IP[$name]=$wan
  RT_LAN[$name]=$RT_HOME_NET.2
  RT_ROUTER[$name]=$router
  RT_NEXT_ROUTER=$((RT_NEXT_ROUTER + 1))
}

rt_upnp() {
  local name=$1 mode=$2 router=${RT_ROUTER[$1]}
  [ -n "$router" ] || { echo "rt_upnp: $name has no router"; return 1; }
  [ -f "$RT_LIB_DIR/miniupnpd.sh" ] || { echo "rt_upnp: $RT_LIB_DIR/miniupnpd.sh is missing"; return 1; }
  # shellcheck source=/dev/null
  declare -F start_miniupnpd >/dev/null || source "$RT_LIB_DIR/miniupnpd.sh"
  rt_work
  local dir="$RT_WORK/upnp-$name"
  mkdir -p "$dir"
  RT_UPNP_DIRS+=("$dir")
  start_miniupnpd "$router" wan lan "$dir" "$mode"
}

rt_cut() {
  local name=$1
  if [ -n "${RT_ROUTER[$name]}" ]; then
    ip -n "${RT_ROUTER[$name]}" link set wan down
  else
    ip -n "${RT_NS[$name]}" link set eth0 down
  fi
}

rt_exec() {
  local name=$1
  shift
  ip netns exec "${RT_NS[$name]}" "$@"
}

rt_router_exec() {
  local name=$1
  shift
  ip netns exec "${RT_ROUTER[$name]}" "$@"
}

rt_cleanup() {
  local dir ns pid
  for dir in "${RT_UPNP_DIRS[@]}"; do
    declare -F stop_miniupnpd >/dev/null && stop_miniupnpd "$dir" 2>/dev/null
  done
  RT_UPNP_DIRS=()
  # Whatever still runs inside our namespaces was started by this run: ended by id.
  for ns in "${RT_NAMESPACES[@]}"; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill "$pid" 2>/dev/null; done
  done
  for _ in $(seq 1 50); do
    local left=
    for ns in "${RT_NAMESPACES[@]}"; do
      [ -n "$(ip netns pids "$ns" 2>/dev/null)" ] && left=yes
    done
    [ -z "$left" ] && break
    sleep 0.1
  done
  for ns in "${RT_NAMESPACES[@]}"; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  done
  for ns in "${RT_NAMESPACES[@]}"; do ip netns del "$ns" 2>/dev/null; done
  RT_NAMESPACES=()
  if [ -n "$RT_OWN_WORK" ] && [ -n "${RT_WORK:-}" ]; then
    rm -rf "$RT_WORK"
    RT_WORK=
    RT_OWN_WORK=
  fi
}
