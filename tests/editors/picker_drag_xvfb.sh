#!/usr/bin/env bash
# The two-tree picker in a real X window, dragged with the mouse as a person drags: a node
# dropped on the other tree moves there, one dropped back on its own tree stays.
#   picker_drag_xvfb.sh DRAG_LIST_DEMO
set -u
demo=$1
. "$(dirname "$0")/../support/xvfb.sh" "$@"

dir=$(mktemp -d)
state="$dir/state"
"$demo" "$state" >"$dir/out" 2>"$dir/err" &
pid=$!

# "X Y" of a node (`at src Alpha`), of an empty place of a tree (`at src`), or of the button.
at() {
  case $# in
    2) awk -v s="$1" -v c="$2" '$1 == "node" && $2 == s && $3 == c { print $4, $5 }' "$state" ;;
    1) awk -v s="$1" '$1 == "space" && $2 == s { print $3, $4 }' "$state" ;;
  esac
}
done_button() { awk '$1 == "done" { print $2, $3 }' "$state"; }
# The captions a tree shows, in order, on one line.
shows() { awk -v s="$1" '$1 == "node" && $2 == s { printf "%s ", $3 }' "$state"; }

if wait_seq 0; then
  read -r ax ay <<<"$(at src Alpha)"
  read -r dx dy <<<"$(at dst)"
  if [ -n "${ax:-}" ] && [ -n "${dx:-}" ]; then
    drag "$ax" "$ay" "$dx" "$dy"
    if wait_seq 1; then
      [ "$(shows src)" = "Bravo Charlie " ] || fail "left after the first drag: '$(shows src)'"
      [ "$(shows dst)" = "Alpha Zulu " ] || fail "right after the first drag: '$(shows dst)'"
    else
      fail "Alpha dragged onto the right tree did not move"
    fi
  else
    fail "no position of Alpha or of the right tree"
  fi

  # Onto its own tree: refused. Then Charlie across, whose move shows Bravo stayed.
  read -r bx by <<<"$(at src Bravo)"
  read -r sx sy <<<"$(at src)"
  drag "$bx" "$by" "$sx" "$sy"
  read -r cx cy <<<"$(at src Charlie)"
  read -r dx dy <<<"$(at dst)"
  drag "$cx" "$cy" "$dx" "$dy"
  if wait_seq 2; then
    [ "$(shows src)" = "Bravo " ] || fail "left after the drop on its own tree: '$(shows src)'"
    [ "$(shows dst)" = "Alpha Charlie Zulu " ] || fail "right after the drop on its own tree: '$(shows dst)'"
  else
    fail "Charlie dragged onto the right tree did not move"
  fi

  # And back from the right to the left.
  read -r zx zy <<<"$(at dst Zulu)"
  read -r sx sy <<<"$(at src)"
  drag "$zx" "$zy" "$sx" "$sy"
  if wait_seq 3; then
    [ "$(shows src)" = "Bravo Zulu " ] || fail "left after the drag back: '$(shows src)'"
  else
    fail "Zulu dragged onto the left tree did not move"
  fi

  read -r ox oy <<<"$(done_button)"
  xdotool mousemove "$ox" "$oy" click 1
  wait_exit $pid || fail "the demo did not end"
  grep -qx "destination: Alpha,Charlie" "$dir/out" || fail "stored: '$(cat "$dir/out")'"
else
  fail "the demo showed no trees: $(cat "$dir/err")"
fi
kill $pid 2>/dev/null
rm -rf "$dir"

[ $failures -eq 0 ] && echo "picker drag test passed"
exit $((failures > 0))
