# Runs Debian's miniupnpd (iptables backend) as a home router's UPnP IGD and NAT-PMP server
# inside a network namespace that the calling check made. Source this file, then:
#
#   start_miniupnpd <router-ns> <wan-if> <lan-if> <workdir> <both|upnp|natpmp> [min-lifetime]
#       Sets up miniupnpd's chains in the namespace (legacy iptables, which is what this build of
#       miniupnpd writes to), writes <workdir>/miniupnpd.conf and starts the daemon in the
#       foreground with its pid file, lease file and log (<workdir>/miniupnpd.log) in <workdir>.
#       <wan-if> must have an address miniupnpd takes for public: it refuses to forward
#       anything from a reserved one, and its list holds RFC 1918, 100.64/10, 198.18/15 and the
#       documentation ranges (192.0.2/24, 198.51.100/24, 203.0.113/24) too. Inside namespaces
#       with no link out, an ordinary public range is harmless (the port mapping check uses
#       192.0.3.0/24). <lan-if> needs a private address. The last argument says which protocols it
#       answers; min-lifetime (seconds, default 1) is the shortest lease it grants, so that
#       checks can ask for short leases. Returns non-zero, with the log on stderr, when the
#       daemon does not come up within 5 s, or says it cannot forward from that wan address.
#   stop_miniupnpd <workdir>
#       Stops the daemon started with that workdir and waits for it (it removes its own rules
#       on the way out). The namespace, the chains and the workdir stay: the caller removes
#       them with the namespace.
#
# The daemon never leaves the namespace: it binds its HTTP, SSDP and NAT-PMP sockets to
# <lan-if>'s address, so nothing reaches this machine's own interfaces.

# The chains miniupnpd adds its rules to, hooked in ahead of whatever the router already has so
# that a forwarded port gets through a filter that drops new connections from the wan.
miniupnpd_chains() {
  local ns=$1 wan=$2 ipt="ip netns exec $1 iptables-legacy -w"
  $ipt -t nat -N MINIUPNPD || return 1
  $ipt -t nat -I PREROUTING -i "$wan" -j MINIUPNPD || return 1
  $ipt -t nat -N MINIUPNPD-POSTROUTING || return 1
  $ipt -t nat -I POSTROUTING -o "$wan" -j MINIUPNPD-POSTROUTING || return 1
  $ipt -t mangle -N MINIUPNPD || return 1
  $ipt -t mangle -I PREROUTING -i "$wan" -j MINIUPNPD || return 1
  $ipt -t filter -N MINIUPNPD || return 1
  $ipt -t filter -I FORWARD -i "$wan" ! -o "$wan" -j MINIUPNPD || return 1
}

start_miniupnpd() {
  local ns=${1:?router namespace} wan=${2:?wan interface} lan=${3:?lan interface}
  local work=${4:?work folder} which=${5:?both, upnp or natpmp} min_lifetime=${6:-1}
  local upnp=yes natpmp=yes lan_ip
  case $which in
    both) ;;
    upnp) natpmp=no ;;
    natpmp) upnp=no ;;
    *) echo "start_miniupnpd: '$which' is not both, upnp or natpmp" >&2; return 2 ;;
  esac
  command -v miniupnpd >/dev/null || [ -x /usr/sbin/miniupnpd ] ||
    { echo "start_miniupnpd: miniupnpd is not installed (miniupnpd-iptables)" >&2; return 2; }
  lan_ip=$(ip -n "$ns" -4 -o addr show dev "$lan" | awk '{print $4; exit}')
  [ -n "$lan_ip" ] || { echo "start_miniupnpd: $lan has no IPv4 address in $ns" >&2; return 2; }
  mkdir -p "$work" || return 2
  if ! ip netns exec "$ns" iptables-legacy -w -t nat -L MINIUPNPD -n >/dev/null 2>&1; then
    miniupnpd_chains "$ns" "$wan" || { echo "start_miniupnpd: chains not made in $ns" >&2; return 1; }
  fi
  : > "$work/miniupnpd.leases"
  cat > "$work/miniupnpd.conf" <<CONF
ext_ifname=$wan
listening_ip=$lan
http_port=0
enable_upnp=$upnp
enable_natpmp=$natpmp
secure_mode=yes
system_uptime=yes
notify_interval=60
clean_ruleset_interval=600
lease_file=$work/miniupnpd.leases
min_lifetime=$min_lifetime
uuid=6b3e0f52-4d1a-4c8e-9f31-$(printf '%012x' "$(printf '%s' "$work" | cksum | cut -d' ' -f1)")
allow 1024-65535 0.0.0.0/0 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
CONF
  ip netns exec "$ns" /usr/sbin/miniupnpd -d -f "$work/miniupnpd.conf" -P "$work/miniupnpd.pid" \
    > "$work/miniupnpd.log" 2>&1 &
  echo $! > "$work/miniupnpd.daemon"
  local port=
  for _ in $(seq 1 100); do
    kill -0 "$(cat "$work/miniupnpd.daemon")" 2>/dev/null || break
    if [ $natpmp = yes ]; then
      ip netns exec "$ns" ss -Hlun "sport = :5351" | grep -q . && port=yes
    else
      ip netns exec "$ns" ss -Hltnp | grep -q miniupnpd && port=yes
    fi
    if [ -n "$port" ]; then
      if grep -q "Port forwarding is impossible" "$work/miniupnpd.log"; then
        echo "start_miniupnpd: miniupnpd takes $wan's address for reserved and forwards nothing" >&2
        stop_miniupnpd "$work"
        return 1
      fi
      return 0
    fi
    sleep 0.05
  done
  echo "start_miniupnpd: miniupnpd did not come up in $ns; its log:" >&2
  cat "$work/miniupnpd.log" >&2
  return 1
}

stop_miniupnpd() {
  local work=${1:?work folder} pid
  [ -f "$work/miniupnpd.daemon" ] || return 0
  pid=$(cat "$work/miniupnpd.daemon")
  if kill "$pid" 2>/dev/null; then
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null
  rm -f "$work/miniupnpd.daemon"
  return 0
}
