#!/usr/bin/env bash
# The points window in a real X window, its tree dragged with the mouse as a person drags:
# a point dropped on another loop moves there, a loop dropped on another loop gives it all
# its points, and a drop the window refuses changes nothing.
#   points_drag_xvfb.sh POINTS_DRAG_DEMO
set -u
demo=$1
. "$(dirname "$0")/../support/xvfb.sh" "$@"

dir=$(mktemp -d)
state="$dir/state"
"$demo" "$state" >"$dir/out" 2>"$dir/err" &
pid=$!

# "X Y" of a node by its key (loop1, point3...).
at() { awk -v k="$1" '$1 == "node" && $2 == k { print $3, $4 }' "$state"; }
# The keys of the visible nodes in tree order, on one line.
shows() { awk '$1 == "node" { printf "%s ", $2 }' "$state"; }
# Line and zone of each point, then whether the site is modified, on one line.
site() { awk '$1 == "point" { printf "%s:%s/%s ", $2, $4, $6 } $1 == "modified" { printf "%s", $2 }' "$state"; }

# One drag from node $2 through the nodes after it, then the state after drag number $1.
drag_nodes() {
  local n=$1 key x y points=()
  shift
  for key in "$@"; do
    read -r x y <<<"$(at "$key")"
    [ -n "${x:-}" ] || { fail "no position of $key: '$(shows)'"; return 1; }
    points+=("$x" "$y")
  done
  drag "${points[@]}"
  wait_seq "$n" || { fail "the drag of $1 onto ${!#} did not end in the tree"; return 1; }
}

if wait_seq 0; then
  [ "$(shows)" = "loop1 point1 point2 loop2 point3 " ] || fail "the tree at the start: '$(shows)'"

  # A loop onto a point: refused, the site as it was and not modified.
  if drag_nodes 1 loop1 point3; then
    [ "$(site)" = "1:1/1 2:1/1 3:2/2 no" ] || fail "after a loop dropped on a point: '$(site)'"
  fi

  # A point onto the other loop, past its neighbour.
  if drag_nodes 2 point1 loop2; then
    [ "$(site)" = "1:2/1 2:1/1 3:2/2 yes" ] || fail "after point 1 dropped on loop 2: '$(site)'"
    [ "$(shows)" = "loop1 point2 loop2 point1 point3 " ] || fail "the tree after point 1 moved: '$(shows)'"
  fi

  # A loop onto the other loop: all its points go, their zones stay.
  if drag_nodes 3 loop1 loop2; then
    [ "$(site)" = "1:2/1 2:2/1 3:2/2 yes" ] || fail "after loop 1 dropped on loop 2: '$(site)'"
    [ "$(shows)" = "loop1 loop2 point1 point2 point3 " ] || fail "the tree after the loops merged: '$(shows)'"
  fi

  # A point away over another and back onto itself: refused.
  if drag_nodes 4 point2 point3 point2; then
    [ "$(site)" = "1:2/1 2:2/1 3:2/2 yes" ] || fail "after point 2 dropped on itself: '$(site)'"
    [ "$(shows)" = "loop1 loop2 point1 point2 point3 " ] || fail "the tree after a drop on itself: '$(shows)'"
  fi

  touch "$state.done"
  wait_exit $pid || fail "the demo did not end"
  expected=$'point 1 line 2 zone 1\npoint 2 line 2 zone 1\npoint 3 line 2 zone 2\nmodified yes'
  [ "$(cat "$dir/out")" = "$expected" ] || fail "the site at the end: '$(cat "$dir/out")'"
else
  fail "the demo showed no points window: $(cat "$dir/err")"
fi
kill $pid 2>/dev/null
rm -rf "$dir"

[ $failures -eq 0 ] && echo "points drag test passed"
exit $((failures > 0))
