# torvane-peer processes on the machines of routers.sh, driven through their standard input.
# Sourced after routers.sh; PEER must name the torvane-peer program and RT_WORK be set (rt_work).
#
#   peer_start NAME MACHINE ARGS...  starts torvane-peer ARGS in MACHINE's namespace; its output
#                                    goes to $RT_WORK/NAME.log, its commands come from a fifo
#                                    this shell holds open
#   peer_say NAME COMMAND            writes one command line to NAME
#   peer_ask NAME COMMAND PREFIX     sends COMMAND and prints the first line starting with PREFIX
#                                    that NAME writes after it (non-zero after 5 s without one)
#   peer_wait NAME PREFIX SECONDS    waits for a line starting with PREFIX anywhere in NAME's log
#   peer_count NAME LINE             how many lines of NAME's log are exactly LINE
#   peer_kill NAME                   SIGKILL: no goodbye
#   peer_close NAME SECONDS          closes NAME's standard input, so it leaves the session as a
#                                    player quits, and waits for it to exit; non-zero when it
#                                    does not, or exits with an error
#   peer_stop_all                    ends every peer still running (by id) and waits for it
#
# PEER_PID[NAME] holds each peer's process id.

declare -gA PEER_PID PEER_FD
PEER_NAMES=()

peer_log() { echo "$RT_WORK/$1.log"; }

peer_start() {
  local name=$1 machine=$2 fd
  shift 2
  mkfifo "$RT_WORK/$name.in" || return 1
  exec {fd}<>"$RT_WORK/$name.in"
  PEER_FD[$name]=$fd
  # The peer holds no other peer's fifo open, nor its own for writing, so that closing this
  # shell's end means end of input; ip netns exec becomes the program itself, so the pid is the
  # peer's own.
  (
    for other in "${PEER_FD[@]}"; do eval "exec $other>&-"; done
    exec ip netns exec "${RT_NS[$machine]}" "$PEER" "$@"
  ) < "$RT_WORK/$name.in" > "$(peer_log "$name")" 2>&1 &
  PEER_PID[$name]=$!
  PEER_NAMES+=("$name")
}

peer_say() {
  echo "$2" >&"${PEER_FD[$1]}"
}

peer_ask() {
  local name=$1 command=$2 prefix=$3 log before
  log=$(peer_log "$name")
  before=$(wc -l < "$log")
  peer_say "$name" "$command"
  for _ in $(seq 1 100); do
    local line
    line=$(tail -n +$((before + 1)) "$log" | grep -m1 "^$prefix")
    if [ -n "$line" ]; then
      echo "$line"
      return 0
    fi
    # A peer that has ended answers nothing more: fail at once rather than at every time-out.
    kill -0 "${PEER_PID[$name]}" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

peer_wait() {
  local name=$1 prefix=$2 seconds=$3
  for _ in $(seq 1 $((seconds * 20))); do
    grep -q "^$prefix" "$(peer_log "$name")" && return 0
    kill -0 "${PEER_PID[$name]}" 2>/dev/null || {
      grep -q "^$prefix" "$(peer_log "$name")"
      return
    }
    sleep 0.05
  done
  return 1
}

peer_count() {
  grep -cxF -- "$2" "$(peer_log "$1")"
}

peer_kill() {
  kill -9 "${PEER_PID[$1]}" 2>/dev/null
  wait "${PEER_PID[$1]}" 2>/dev/null
}

peer_close() {
  local name=$1 seconds=$2 fd=${PEER_FD[$1]} status
  { exec {fd}>&-; } 2>/dev/null
  for _ in $(seq 1 $((seconds * 20))); do
    kill -0 "${PEER_PID[$name]}" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "${PEER_PID[$name]}" 2>/dev/null && return 1
  wait "${PEER_PID[$name]}"
  status=$?
  return $status
}

peer_stop_all() {
  local name
  for name in "${PEER_NAMES[@]}"; do kill "${PEER_PID[$name]}" 2>/dev/null; done
  for name in "${PEER_NAMES[@]}"; do wait "${PEER_PID[$name]}" 2>/dev/null; done
  local fd
  for name in "${PEER_NAMES[@]}"; do
    fd=${PEER_FD[$name]}
    { exec {fd}>&-; } 2>/dev/null
  done
  PEER_NAMES=()
}
