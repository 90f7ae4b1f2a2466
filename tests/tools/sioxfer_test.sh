#!/usr/bin/env bash
# sioxfer against lrzsz through the line simulator: XMODEM-CRC and XMODEM-1K sent to
# `rx -c`, XMODEM-CRC received from `sx`, protocols refused, a missing file, and a peer that
# never answers (exit status 1 each time something fails).
#   sioxfer_test.sh PATH_TO_SIOXFER PATH_TO_LINESIM
# SIOXFER_LONG=1 also lets the receiver give up on a silent peer by itself (about a minute)
# instead of through the tool's idle time-out.
# The time limits only stop a hung run; a correct one takes a small part of them, however
# loaded the machine.
set -uo pipefail

sioxfer=${1:?usage: sioxfer_test.sh PATH_TO_SIOXFER PATH_TO_LINESIM}
linesim=${2:?usage: sioxfer_test.sh PATH_TO_SIOXFER PATH_TO_LINESIM}
for tool in sx rx socat; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool not installed (apt-get install lrzsz socat)"
    exit 77
  fi
done
long=${SIOXFER_LONG:-0}
sioxfer=$(realpath "$sioxfer")
linesim=$(realpath "$linesim")

. "$(dirname "$0")/../support/scripts.sh"
make_work kvx-sioxfer
export KORVANEX_SERIAL_DIR=$work

perl -e 'srand(11); print map { chr(int(rand(256))) } 1 .. 10322' > site.srd

links_exist() { [ -L COM7 ] && [ -L peer ]; }

# start_line NAME [LINESIM_ARGS...]: COM7 is side A (sioxfer), peer is side B (lrzsz).
start_line() {
  local name=$1
  shift
  rm -f COM7 peer
  "$linesim" --link-a COM7 --link-b peer "$@" > /dev/null 2> "$name.line" &
  line=$!
  children+=("$line")
  wait_until 60 links_exist || fail "$name: linesim made no links"
}
stop_line() {
  kill "$line" 2>/dev/null
  wait "$line" 2>/dev/null
}

# The file as XMODEM delivers it: padded with 0x1A to whole blocks of SIZE bytes.
padded_to() {
  local size=$1 length blocks
  length=$(stat -c %s site.srd)
  blocks=$(((length + size - 1) / size))
  cp site.srd "expected.$size"
  head -c $((blocks * size - length)) /dev/zero | tr '\0' '\032' >> "expected.$size"
}
padded_to 128
padded_to 1024

# send_to_rx NAME PROTOCOL BLOCK: sioxfer sends site.srd, rx receives got.
send_to_rx() {
  local name=$1 protocol=$2 block=$3
  rm -f got
  start_line "$name" --baud 115200
  timeout 120 "$sioxfer" send --port 7 --protocol "$protocol" site.srd > "$name.out" 2> "$name.err" &
  local sender=$!
  children+=("$sender")
  wait_until 60 grep -q "side A opened" "$name.line" || fail "$name: sioxfer did not open COM7"
  # rx flushes its tty as it ends, which on a pty may discard its last ACK before the line read
  # it; through socat rx's tty is a socket and nothing is lost.
  timeout 120 socat STDIO EXEC:"rx -c got" < peer > peer 2> "$name.rx"
  local rx_rc=$?
  wait "$sender"
  local rc=$?
  stop_line
  [ "$rx_rc" -eq 0 ] || fail "$name: rx exit status $rx_rc"
  [ "$rc" -eq 0 ] || fail "$name: sioxfer exit status $rc: $(cat "$name.err")"
  cmp -s got "expected.$block" || fail "$name: received file differs"
  grep -q "^log: transmit started" "$name.out" || fail "$name: no start in the log lines"
  grep -q "^log: transmit finished OK" "$name.out" || fail "$name: no success in the log lines"
  grep -q "^status: " "$name.out" || fail "$name: no status lines"
  grep -q "^finished: At end of file" "$name.out" || fail "$name: final status: $(grep finished "$name.out")"
}

send_to_rx crc xmodem-crc 128
send_to_rx onek xmodem-1k 1024

# --- receive from sx: sioxfer's last ACK must reach sx before the port closes -----------------
rm -f back
start_line receive --baud 115200
timeout 120 sx site.srd < peer > peer 2> receive.sx &
sender=$!
children+=("$sender")
wait_until 60 grep -q "side B opened" receive.line || fail "receive: sx did not open its side"
timeout 120 "$sioxfer" receive --port 7 --protocol xmodem-crc --dir "$work" back > receive.out 2> receive.err
rc=$?
wait "$sender"
sx_rc=$?
stop_line
[ "$rc" -eq 0 ] || fail "receive: sioxfer exit status $rc: $(cat receive.err)"
[ "$sx_rc" -eq 0 ] || fail "receive: sx exit status $sx_rc (missed the last ACK?)"
cmp -s back expected.128 || fail "receive: received file differs"
grep -q "^log: receive finished OK" receive.out || fail "receive: no success in the log lines"

# --- refused and failing commands --------------------------------------------------------------
# expect_failure NAME PATTERN COMMAND...: exit status 1 and PATTERN on stderr.
expect_failure() {
  local name=$1 pattern=$2
  shift 2
  "$@" > "$name.out" 2> "$name.err"
  local rc=$?
  [ "$rc" -eq 1 ] || fail "$name: exit status $rc, expected 1"
  grep -q -- "$pattern" "$name.err" || fail "$name: no '$pattern' in: $(cat "$name.err")"
}
for protocol in ymodem ymodem-g zmodem kermit ascii; do
  expect_failure "refused-$protocol" "not available" "$sioxfer" send --port 7 --protocol "$protocol" site.srd
done
expect_failure unknown "unknown protocol" "$sioxfer" send --port 7 --protocol telepathy site.srd
expect_failure no-port "--port" "$sioxfer" send --protocol xmodem site.srd
expect_failure no-device "COM9" "$sioxfer" send --port 9 --protocol xmodem site.srd

start_line missing
expect_failure missing "No files matched" timeout 120 "$sioxfer" send --port 7 --protocol xmodem-crc no-such-file
stop_line

# --- a peer that never answers -----------------------------------------------------------------
# The tool's idle time-out ends the wait, not the protocol's own limit of about a minute nor
# the safety time-out's signal.
start_line silent-send
start=$SECONDS
expect_failure silent-send "Cancel requested" timeout 180 "$sioxfer" send --port 7 --protocol xmodem-crc --idle-timeout 3 site.srd
grep -q "^cancelling: no progress for 3 s" silent-send.out || fail "silent-send: not cancelled by its idle time-out"
[ $((SECONDS - start)) -ge 3 ] || fail "silent-send: gave up after $((SECONDS - start)) s, before its idle time"
stop_line

start_line silent-receive
if [ "$long" = 1 ]; then
  # The receiver's own limit: the handshake and its retries, then too many errors.
  expect_failure silent-receive "(-60" timeout 180 "$sioxfer" receive --port 7 --protocol xmodem-crc --idle-timeout 0 back2
else
  expect_failure silent-receive "Cancel requested" timeout 180 "$sioxfer" receive --port 7 --protocol xmodem-crc --idle-timeout 3 back2
  grep -q "^cancelling: no progress for 3 s" silent-receive.out || fail "silent-receive: not cancelled by its idle time-out"
fi
grep -q "^log: receive failed" silent-receive.out || fail "silent-receive: no failure in the log lines"
stop_line

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all sioxfer cases passed"
