# Shared by the scripts that drive the real program in a real X window; source it after
# `set -u`, with the script's arguments: `. xvfb.sh "$@"`. It runs the script again under
# xvfb-run when there is no virtual display yet (exit 77, skipped, without xvfb-run or
# xdotool), and gives the helpers below.

command -v xvfb-run >/dev/null && command -v xdotool >/dev/null || { echo "xvfb-run or xdotool missing"; exit 77; }
if [ -z "${DISPLAY:-}" ] || [ "${KVX_IN_XVFB:-}" != 1 ]; then
  KVX_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
unset QT_QPA_PLATFORM
# No session bus: Qt would ask it (or have libdbus launch one on the virtual display) for
# desktop settings and accessibility, which can stall the start past the waits below and
# leaks in libdbus, which the sanitizer build reports when the program ends.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The id of the first window whose name matches, waiting up to 60 s: a loaded machine may
# take that long to start the program; a correct run takes a small part of it.
wait_window() {
  local w
  for _ in $(seq 600); do
    w=$(xdotool search --name "$1" 2>/dev/null | head -1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

# Sends keys to a window.
keys() {
  local w=$1
  shift
  xdotool windowfocus --sync "$w" 2>/dev/null
  for k in "$@"; do
    xdotool key --clearmodifiers "$k"
    sleep 0.3
  done
}

# Waits up to $2 tenths of a second (default 600) for process $1 to end; kills it and
# fails when it does not.
wait_exit() {
  for _ in $(seq "${2:-600}"); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  kill "$1" 2>/dev/null
  return 1
}

# For the drag scripts, whose demo rewrites the file $state with "seq N" on its first line
# after each drag: waits up to 60 s for the state after drag number $1 (or a later one).
wait_seq() {
  local n
  for _ in $(seq 600); do
    n=$( [ -f "$state" ] && head -1 "$state" | awk '$1 == "seq" { print $2 }')
    [ -n "$n" ] && [ "$n" -ge "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# Press at the first "X Y", move through the next ones in steps (the first step is past
# the drag distance), release at the last.
drag() {
  local x=$1 y=$2 i
  shift 2
  xdotool mousemove "$x" "$y"
  sleep 0.3
  xdotool mousedown 1
  sleep 0.3
  while [ $# -ge 2 ]; do
    for i in 1 2 3 4 5 6 7 8 9 10; do
      xdotool mousemove $((x + ($1 - x) * i / 10)) $((y + ($2 - y) * i / 10))
      sleep 0.15
    done
    x=$1 y=$2
    shift 2
  done
  sleep 0.5
  xdotool mouseup 1
  sleep 0.5
}
