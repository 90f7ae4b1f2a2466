#!/usr/bin/env bash
# The real program in a real X window, used as a person would: start it on a site given
# with /prj=, read the window's title, leave through the File menu and answer the
# question, then look at the settings it wrote back. Also: a missing site, and the
# language remembered for the next start.
#   smoke_xvfb.sh KORVANEX SRDTOOL
set -u
korvanex=$1
srdtool=$2
. "$(dirname "$0")/../support/xvfb.sh" "$@"

fresh_home() {
  export HOME
  HOME=$(mktemp -d)
}

# 1. A site named on the command line opens; leaving writes the settings back.
fresh_home
"$srdtool" new Alpha "$HOME" >/dev/null || fail "srdtool new"
"$korvanex" "/prj=$HOME/Alpha.srd" 2>/dev/null &
pid=$!
if w=$(wait_window "Korvanex \\["); then
  title=$(xdotool getwindowname "$w")
  [ "$title" = " Korvanex [$HOME/Alpha.srd]" ] || fail "title is '$title'"
  keys "$w" alt+f e
  if q=$(wait_window "^Question$"); then keys "$q" Return; else fail "no close question"; fi
  wait_exit $pid || fail "the program did not end"
  ini="$HOME/.config/Korvanex/Korvanex.ini"
  for key in COM=1 "LOADSAVEPATH=$HOME" "SAVE_AS_PATH=$HOME" "UPLOADEDPATH=$HOME" LANGUEDEFAUT=LANGUE_ANGLAIS AVSA=1; do
    grep -qxF "$key" "$ini" || fail "settings lack $key"
  done
else
  fail "no main window with the site"
  kill $pid 2>/dev/null
fi

# 2. A missing site: a warning, and the program stays without database.
fresh_home
"$korvanex" "/prj=$HOME/missing.srd" 2>/dev/null &
pid=$!
if m=$(wait_window "^Warning$"); then
  w=$(wait_window "^ Korvanex")
  keys "$m" Return
  [ "$(xdotool getwindowname "$w")" = " Korvanex " ] || fail "a database seems open"
  keys "$w" alt+f e
  wait_exit $pid || fail "the program did not end after the warning"
else
  fail "no warning for a missing site"
  kill $pid 2>/dev/null
fi

# 3. The remembered language is the one of the next start.
fresh_home
mkdir -p "$HOME/bin" "$HOME/.config/Korvanex"
cp "$korvanex" "$HOME/bin/korvanex"
printf '464\t Korvanex FR \n' > "$HOME/bin/korvanex.FRA"
printf '[MULTILANGUE]\nLANGUEDEFAUT=LANGUE_FRANCAIS\n' > "$HOME/.config/Korvanex/Korvanex.ini"
"$HOME/bin/korvanex" 2>/dev/null &
pid=$!
if w=$(wait_window "Korvanex FR"); then
  keys "$w" alt+f e
  wait_exit $pid || fail "the program did not end in French"
  grep -qxF LANGUEDEFAUT=LANGUE_FRANCAIS "$HOME/.config/Korvanex/Korvanex.ini" || fail "language not kept"
else
  fail "the program did not start in the remembered language"
  kill $pid 2>/dev/null
fi

[ $failures -eq 0 ] && echo "smoke test passed"
exit $((failures > 0))
