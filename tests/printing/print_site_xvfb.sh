#!/usr/bin/env bash
# The site report from the real program in a real X window: File > Print Site..., then
# "&Print" with every section selected, to the PDF file KORVANEX_PRINT_TO_PDF names. The
# report carries the site's file name and the stored data signature, and leaving asks no
# save question: printing changed nothing.
#   print_site_xvfb.sh KORVANEX SRDTOOL
set -u
korvanex=$1
srdtool=$2
. "$(dirname "$0")/../support/xvfb.sh" "$@"
command -v pdftotext >/dev/null || { echo "pdftotext missing"; exit 77; }

export HOME
HOME=$(mktemp -d)
"$srdtool" new Alpha "$HOME" >/dev/null || fail "srdtool new"
site="$HOME/Alpha.srd"
before=$(cksum < "$site")
sign=$(od -An -tx1 -j10320 -N2 "$site" | awk '{print $2 $1}')
export KORVANEX_PRINT_TO_PDF="$HOME/report.pdf"

"$korvanex" "/prj=$site" 2>/dev/null &
pid=$!
if w=$(wait_window "Korvanex \\["); then
  keys "$w" alt+f p alt+p
  for _ in $(seq 600); do
    [ -s "$KORVANEX_PRINT_TO_PDF" ] && pdftotext "$KORVANEX_PRINT_TO_PDF" - 2>/dev/null | grep -q "Page" && break
    sleep 0.1
  done
  text=$(pdftotext -layout "$KORVANEX_PRINT_TO_PDF" - 2>/dev/null)
  grep -q "File name : Alpha.srd" <<<"$text" || fail "no file name in the report"
  grep -q "Datas sign : ${sign}h" <<<"$text" || fail "the signature is not the stored ${sign}h"
  grep -q "GENERAL PARAMETERS" <<<"$text" || fail "no general parameters"
  grep -q "0 DECLARED POINT" <<<"$text" || fail "no site summary"
  keys "$w" alt+c alt+f e
  if q=$(wait_window "^Question$"); then keys "$q" Return; else fail "no leave question"; fi
  wait_exit $pid 50 || fail "leaving asked more than whether to leave"
  [ "$(cksum < "$site")" = "$before" ] || fail "the site file changed"
else
  fail "no main window with the site"
fi
kill $pid 2>/dev/null

[ $failures -eq 0 ] && echo "site report test passed"
exit $((failures > 0))
