#!/usr/bin/env bash
# The general parameters window in a real X window, driven by its mnemonics as a person
# at the keyboard drives it: Alt+C in the window is its "&Cancel", not the (disabled)
# Configuration menu, and Alt+O its "&OK", whose name reaches the saved site.
#   general_xvfb.sh KORVANEX SRDTOOL
set -u
korvanex=$1
srdtool=$2
. "$(dirname "$0")/../support/xvfb.sh" "$@"

export HOME
HOME=$(mktemp -d)
"$srdtool" new Alpha "$HOME" >/dev/null || fail "srdtool new"
site="$HOME/Alpha.srd"
before=$(cksum < "$site")

# The stored site name, bytes 34-53 of the image.
site_name() { dd if="$site" bs=1 skip=34 count=20 2>/dev/null; }

# 1. Typed into, then cancelled with Alt+C: leaving asks only whether to leave.
"$korvanex" "/prj=$site" 2>/dev/null &
pid=$!
if w=$(wait_window "Korvanex \\["); then
  keys "$w" alt+c g Z alt+c alt+f e
  if q=$(wait_window "^Question$"); then keys "$q" Return; else fail "Alt+C did not close the window"; fi
  wait_exit $pid 50 || fail "the site was changed by a cancelled window"
  [ "$(cksum < "$site")" = "$before" ] || fail "the site file changed"
else
  fail "no main window with the site"
fi
kill $pid 2>/dev/null

# 2. Typed into and stored with Alt+O: leaving offers to save, and the name is saved.
"$korvanex" "/prj=$site" 2>/dev/null &
pid=$!
if w=$(wait_window "Korvanex \\["); then
  keys "$w" alt+c g Z alt+o alt+f e
  if q=$(wait_window "^Question$"); then keys "$q" Return; else fail "no leave question after OK"; fi
  sleep 1
  if q=$(wait_window "^Question$"); then keys "$q" Return; else fail "no save question after OK"; fi
  wait_exit $pid || fail "the program did not end"
  [ "$(site_name)" = "       AlphaZ       " ] || fail "saved site name is '$(site_name)'"
else
  fail "no main window with the site"
fi
kill $pid 2>/dev/null

[ $failures -eq 0 ] && echo "general parameters test passed"
exit $((failures > 0))
