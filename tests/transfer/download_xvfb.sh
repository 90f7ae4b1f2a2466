#!/usr/bin/env bash
# The real program in a real X window downloads a site as a person would: start it on a
# site given with /prj=, open Tools > Panel Upload / Download, press Download; the
# simulated panel on the far side of the line receives the site. Then close the window
# and leave through the File menu.
#   download_xvfb.sh KORVANEX SRDTOOL LINESIM PANELSIM
set -u
korvanex=$(realpath "$1")
srdtool=$(realpath "$2")
linesim=$(realpath "$3")
panelsim=$(realpath "$4")
command -v rx >/dev/null || { echo "rx missing"; exit 77; }
. "$(dirname "$0")/../support/xvfb.sh" "$@"

# Waits up to $2 tenths of a second for the file $1 to contain the text $3.
wait_text() {
  for _ in $(seq "$2"); do
    grep -qF "$3" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

export HOME
HOME=$(mktemp -d)
ports="$HOME/ports"
mkdir -p "$ports" "$HOME/.config/Korvanex"
printf '[GENERAL]\nCOM=7\n' > "$HOME/.config/Korvanex/Korvanex.ini"
"$srdtool" new Alpha "$HOME" >/dev/null || fail "srdtool new"

"$linesim" --baud 9600 --link-a "$ports/COM7" --link-b "$ports/peer" >/dev/null 2>"$HOME/linesim.log" &
line=$!
for _ in $(seq 600); do [ -L "$ports/COM7" ] && [ -L "$ports/peer" ] && break; sleep 0.1; done

KORVANEX_SERIAL_DIR=$ports "$korvanex" "/prj=$HOME/Alpha.srd" 2>"$HOME/korvanex.log" &
pid=$!
panel=
if w=$(wait_window "Korvanex \\["); then
  keys "$w" alt+t p
  # The transfer window is a child inside the main window: its Download button answers
  # to its mnemonic there.
  keys "$w" alt+d
  if wait_text "$HOME/linesim.log" 600 "side A opened"; then
    # The program answers the request by itself, which a loaded machine may make later than
    # the panel's own 5 s.
    (cd "$HOME" && exec "$panelsim" --tty "$ports/peer" --type 7 --answer-timeout 60000 download got.srd \
       2>"$HOME/panelsim.log") &
    panel=$!
    status=
    for _ in $(seq 1800); do
      kill -0 $panel 2>/dev/null || { wait $panel; status=$?; break; }
      sleep 0.1
    done
    if [ "$status" != 0 ]; then
      fail "the panel did not receive the site (status '${status:-running}')"
      cat "$HOME/panelsim.log"
    else
      size=$(stat -c %s "$HOME/got.srd")
      [ "$size" = 10368 ] || fail "the panel got $size bytes"
      cmp -s <(head -c 10322 "$HOME/got.srd") "$HOME/Alpha.srd" || fail "the panel got another site"
      [ "$(tail -c 46 "$HOME/got.srd" | tr -d '\032' | wc -c)" = 0 ] || fail "the last block is not padded"
    fi
    [ -f "$HOME/Alpha.bak" ] || fail "the site was not saved before the download"
  else
    fail "Download did not open the port"
  fi
  # The port is closed once the transfer ends.
  wait_text "$HOME/linesim.log" 600 "side A closed" || fail "the port stayed open"
  # Close the transfer window with its button (Abort during the transfer, which kept the
  # focus, and Close again now), then leave.
  keys "$w" space
  keys "$w" alt+f e
  if q=$(wait_window "^Question$"); then keys "$q" Return; else fail "no close question (is the transfer window still open?)"; fi
  wait_exit $pid || { fail "the program did not end"; kill $pid 2>/dev/null; }
else
  fail "no main window with the site"
  kill $pid 2>/dev/null
fi

[ -n "$panel" ] && kill $panel 2>/dev/null
kill $line 2>/dev/null
wait $line 2>/dev/null
rm -rf "$HOME"
[ $failures -eq 0 ] && echo "download test passed"
exit $((failures > 0))
