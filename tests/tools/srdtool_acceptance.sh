#!/usr/bin/env bash
# Acceptance run of the site-file rules through srdtool, as a user would try them:
# a fresh home, new files, resaves, and every refused file with its exact message.
#   srdtool_acceptance.sh PATH_TO_SRDTOOL
set -uo pipefail

tool=${1:?usage: srdtool_acceptance.sh PATH_TO_SRDTOOL}
work=$(mktemp -d /tmp/kvx-srdtool-XXXXXX)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
export HOME=$work/home
unset XDG_CONFIG_HOME
mkdir -p "$HOME"
cd "$work" || exit 1

failures=0
passed=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
ok() { passed=$((passed + 1)); }

srd() { "$tool" "$@"; }

# --- bytes of a file -------------------------------------------------------------
byte_at() { od -An -tu1 -j "$2" -N1 "$1" | tr -d ' \n'; }
text_at() { dd if="$1" bs=1 skip="$2" count="$3" status=none | tr '\0' '.'; }
set_byte() { printf "\\x$(printf %02x "$3")" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
put_text() { printf '%s' "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
size_of() { stat -c %s "$1"; }

# CRC-16 of bytes 0..10319 for panel type 7: reflected polynomial 0xA001, final XOR 0x5EF1.
crc7() {
  local crc=0xFFFF b k
  for b in $(od -An -v -tu1 -N10320 "$1"); do
    crc=$((crc ^ b))
    for k in 1 2 3 4 5 6 7 8; do
      if ((crc & 1)); then crc=$(((crc >> 1) ^ 0xA001)); else crc=$((crc >> 1)); fi
    done
  done
  echo $((crc ^ 0x5EF1))
}
stored_crc() { echo $(($(byte_at "$1" 10320) | ($(byte_at "$1" 10321) << 8))); }
fix_crc() {
  local crc
  crc=$(crc7 "$1")
  set_byte "$1" 10320 $((crc & 0xFF))
  set_byte "$1" 10321 $((crc >> 8))
}

# --- one case each -----------------------------------------------------------------
# expect_ok NAME ARGS...: exit 0 and nothing on stderr.
expect_ok() {
  local name=$1
  shift
  if srd "$@" >"$work/out" 2>"$work/err" && [ ! -s "$work/err" ]; then ok; else fail "$name: exit $? stderr: $(cat "$work/err")"; fi
}
# expect_error NAME MESSAGE ARGS...: exit 1, MESSAGE (printf escapes) exactly on stderr, nothing on stdout.
expect_error() {
  local name=$1 message=$2 rc
  shift 2
  srd "$@" >"$work/out" 2>"$work/err"
  rc=$?
  printf "$message\n" >"$work/expected"
  if [ "$rc" -ne 1 ]; then
    fail "$name: exit $rc, expected 1"
  elif ! cmp -s "$work/err" "$work/expected"; then
    fail "$name: stderr differs:$(diff "$work/expected" "$work/err")"
  elif [ -s "$work/out" ]; then
    fail "$name: unexpected output: $(cat "$work/out")"
  else
    ok
  fi
}
# A copy of the new site changed by a command, CRC repaired unless told otherwise.
variant() {
  local name=$1 fix=$2
  shift 2
  cp "$work/Alpha.srd" "$work/$name.srd"
  "$@" "$work/$name.srd"
  [ "$fix" = fix ] && fix_crc "$work/$name.srd"
  echo "$work/$name.srd"
}
load_error='An error occurs while loading database :\n'

# --- new site ----------------------------------------------------------------------
case_new_site() {
  expect_ok "new" new Alpha "$work"
  local f=$work/Alpha.srd
  [ "$(size_of "$f")" = 10322 ] || fail "new: size $(size_of "$f")"
  [ "$(byte_at "$f" 0)" = 7 ] || fail "new: panel type $(byte_at "$f" 0)"
  [ "$(text_at "$f" 1 4)" = 0004 ] || fail "new: map version $(text_at "$f" 1 4)"
  [ "$(text_at "$f" 9 20)" = "Alpha..............." ] || fail "new: file name $(text_at "$f" 9 20)"
  [ "$(text_at "$f" 34 20)" = "     SARDEL128      " ] || fail "new: site name $(text_at "$f" 34 20)"
  [ "$(text_at "$f" 255 6)" = 794862 ] || fail "new: access codes $(text_at "$f" 255 6)"
  [[ "$(text_at "$f" 262 10)" =~ ^[0-9]{10}$ ]] || fail "new: time stamp $(text_at "$f" 262 10)"
  [ "$(stored_crc "$f")" = "$(crc7 "$f")" ] || fail "new: CRC $(stored_crc "$f") computed $(crc7 "$f")"
  [ -f "$HOME/.config/Korvanex/Korvanex.ini" ] || fail "new: no settings file in the fresh home"
  grep -qx 'COM=1' "$HOME/.config/Korvanex/Korvanex.ini" || fail "new: settings file without COM=1"
  ok
}

case_resave_keeps_bytes() {
  local in=$work/Reserved.srd out=$work/Resaved.srd at
  cp "$work/Alpha.srd" "$in"
  for at in 29 30 31 32 10236 10237 10319; do set_byte "$in" $at $((at % 200 + 17)); done
  fix_crc "$in"
  expect_ok "resave" resave "$in" "$out"
  [ "$(size_of "$out")" = 10322 ] || fail "resave: size $(size_of "$out")"
  # cmp -l numbers bytes from 1.
  local changed
  changed=$(cmp -l "$in" "$out" | awk '{ o = $1 - 1; if (!((o >= 262 && o <= 271) || o == 10320 || o == 10321)) print o }')
  [ -z "$changed" ] || fail "resave: bytes changed: $changed"
  [ "$(stored_crc "$out")" = "$(crc7 "$out")" ] || fail "resave: CRC"
  ok
}

case_backup() {
  cp "$work/Alpha.srd" "$work/First.srd"
  expect_ok "second new" new Alpha "$work"
  cmp -s "$work/Alpha.bak" "$work/First.srd" || fail "backup: Alpha.bak is not the first save"
  ok
}

case_refused_files() {
  local f
  f=$(variant Short nofix truncate -s 10321)
  expect_error "10321 bytes" "${load_error}Wrong file format" resave "$f" "$work/x.srd"
  f=$(variant Long nofix truncate -s 10323)
  expect_error "10323 bytes" "${load_error}Wrong file format" resave "$f" "$work/x.srd"
  f=$(variant Type3 fix set_byte_0 3)
  expect_error "type 3" "${load_error}Identification conflict! Wrong file for this application" check "$f"
  f=$(variant Type12 fix set_byte_0 12)
  expect_error "type 12" "${load_error}Identification conflict! Wrong file for this application" check "$f"
  f=$(variant Map5 fix put_map 0005)
  expect_error "map 0005" "${load_error}Open file error:version is superior than the application one!" check "$f"
  f=$(variant Remarks nofix set_remark)
  expect_error "remarks byte" "${load_error}File integrity corrupted" check "$f"
  expect_error "missing file" "Unable to load\n$work/None.srd\nZavo database." check "$work/None.srd"
  [ ! -e "$work/x.srd" ] || fail "refused files: a file was written"
  ok
}
set_byte_0() { set_byte "$2" 0 "$1"; }
put_map() { put_text "$2" 1 "$1"; }
set_remark() { set_byte "$1" 150 120; }

case_panel_types() {
  expect_error "--type 3 on a type-7 file" "${load_error}Identification conflict! Wrong file for this application" \
    --type 3 check "$work/Alpha.srd"
  mkdir -p "$work/t2"
  expect_ok "new --type 2" --type 2 new Two "$work/t2"
  [ "$(byte_at "$work/t2/Two.srd" 0)" = 2 ] || fail "--type 2: byte 0 is $(byte_at "$work/t2/Two.srd" 0)"
  expect_ok "--type 3 opens its partner" --type 3 check "$work/t2/Two.srd"
  expect_error "type 7 refuses type 2" "${load_error}Identification conflict! Wrong file for this application" \
    check "$work/t2/Two.srd"
  ok
}

case_save_failures() {
  expect_error "two missing folders" "Unable to create backup directory : \n\n$work/a/b." new Deep "$work/a/b"
  if [ "$(id -u)" != 0 ]; then
    mkdir -p "$work/ro"
    expect_ok "new in ro" new Ro "$work/ro"
    cp "$work/ro/Ro.srd" "$work/Ro.before"
    chmod a-w "$work/ro"
    srd resave "$work/ro/Ro.srd" "$work/ro/Ro.srd" 2>"$work/err"
    [ $? = 1 ] || fail "read-only folder: exit status"
    head -n1 "$work/err" | grep -qx 'An error occurs while saving database :' || fail "read-only folder: $(cat "$work/err")"
    chmod u+w "$work/ro"
    cmp -s "$work/ro/Ro.srd" "$work/Ro.before" || fail "read-only folder: the earlier file changed"
  fi
  ok
}

case_usage() {
  srd >/dev/null 2>&1
  [ $? = 2 ] || fail "no arguments: exit status"
  srd frobnicate x >/dev/null 2>&1
  [ $? = 2 ] || fail "unknown command: exit status"
  srd --type x new A "$work" >/dev/null 2>&1
  [ $? = 2 ] || fail "bad --type: exit status"
  ok
}

case_new_site
case_resave_keeps_bytes
case_backup
case_refused_files
case_panel_types
case_save_failures
case_usage

echo "srdtool acceptance: $passed passed, $failures failed"
[ "$failures" = 0 ]
