#!/usr/bin/env bash
# lrzsz across the line simulator: `sx` sends a 10322-byte file to `rx -c` on a clean line,
# on a line paced at 115200 baud (never faster than the line allows), with one flipped data
# byte (a retry repairs it), and on a line that goes silent (the transfer fails).
#   linesim_selftest.sh PATH_TO_LINESIM
# LINESIM_LONG=1 adds the 9600-baud case (about 11.3 s on the line) and lets lrzsz give up on
# the silent line by itself (about 50 s) instead of stopping it once the silence began.
# The limits only stop a hung run; how close to the line limit a transfer keeps is measured by
# bench/bench_linesim.
set -uo pipefail

linesim=${1:?usage: linesim_selftest.sh PATH_TO_LINESIM}
if ! command -v sx >/dev/null || ! command -v rx >/dev/null; then
  echo "skipped: sx/rx not installed (apt-get install lrzsz)"
  exit 77
fi
long=${LINESIM_LONG:-0}

. "$(dirname "$0")/../support/scripts.sh"
make_work kvx-linesim

# A fixed pseudo-random file, so that a failing run can be replayed.
perl -e 'srand(7); print map { chr(int(rand(256))) } 1 .. 10322' > site.srd

links_exist() { [ -L a ] && [ -L b ]; }
running() { kill -0 "$1" 2>/dev/null; }

# acks FILE: the ACKs (0x06) a timing file shows delivered to side A.
acks() { awk '$1 == "b2a" && $4 == "06"' "$1" | wc -l; }

# transfer NAME LIMIT_S LINESIM_ARGS...
# Sets rx_rc and sx_rc (124 when stopped at the limit, "missed" when sx was still waiting
# for rx's last ACK), leaves NAME.log (linesim), NAME.timing, NAME.sx, NAME.rx and got.
# With stop_on set to a line of linesim's log, rx is stopped once that line is there.
transfer() {
  local name=$1 limit=$2
  shift 2
  rm -f a b got
  "$linesim" --link-a a --link-b b --timing "$name.timing" "$@" > /dev/null 2> "$name.log" &
  local line=$!
  children+=("$line")
  wait_until 60 links_exist || { fail "$name: linesim made no links"; cat "$name.log" >&2; }

  # sx first: it waits for the receiver. rx starts once the line has seen side A open, so
  # that its first 'C' is not lost on a side nobody listens to.
  timeout "$limit" sx site.srd < a > a 2> "$name.sx" &
  local sender=$!
  children+=("$sender")
  wait_until 60 grep -q "side A opened" "$name.log" || fail "$name: sx did not open side A"
  timeout "$limit" rx -c got < b > b 2> "$name.rx" &
  local receiver=$!
  children+=("$receiver")
  if [ -n "${stop_on:-}" ]; then
    wait_until "$limit" eval '! running $receiver || grep -qF "$stop_on" "$name.log"'
    kill "$receiver" 2>/dev/null
  fi
  wait "$receiver"
  rx_rc=$?

  # rx ends right after its last ACK with a tcflush of its tty, and on a pty that discards
  # what the far side has not yet taken in: sx then often never sees the ACK. Once the line
  # has seen rx's side close it has read all it ever will from rx; an ACK it read is
  # delivered within a few byte times, and then sx must end, however long that takes here.
  wait_until 60 eval '! running $sender || grep -q "side B closed" "$name.log"'
  local settle=$((SECONDS + 3))
  while running "$sender" && { [ $SECONDS -lt $settle ] || [ "$(acks "$name.timing")" -ge 82 ]; }; do
    [ $SECONDS -ge $((settle + limit)) ] && break
    sleep 0.01
  done
  if ! running "$sender"; then
    wait "$sender"
    sx_rc=$?
  else
    kill "$sender" 2>/dev/null
    wait "$sender" 2>/dev/null
    sx_rc=missed
  fi
  kill "$line"
  wait "$line" || fail "$name: linesim exit status $?"
}

# got is site.srd padded with 0x1A to a whole number of 128-byte blocks.
received_intact() {
  [ -f got ] && [ "$(stat -c %s got)" -eq 10368 ] && cmp -s -n 10322 got site.srd &&
    [ -z "$(tail -c 46 got | tr -d '\032')" ]
}

# Seconds on the line from rx's first 'C' to its 81st ACK, the last block's (NAKs are 0x15).
line_time() {
  awk '$1 == "b2a" && $4 == "43" && c == "" { c = $3 }
       $1 == "b2a" && $4 == "06" && ++acks == 81 { ack = $3 }
       END { if (c != "" && ack != "") printf "%.3f", (ack - c) / 1e6 }' "$1"
}

# A transfer that must complete: rx succeeds with the file intact, and sx either succeeds or
# missed only the ACK that never reached the line.
expect_complete() {
  local name=$1
  [ "$rx_rc" -eq 0 ] || fail "$name: rx exit status $rx_rc"
  received_intact || fail "$name: received file differs"
  # Once rx is gone, what sx sends (its cancel when it is stopped) is lost on the closed side.
  grep -q "b2a: .*, 0 lost" "$name.log" && { [ "$sx_rc" = missed ] || grep -q "a2b: .*, 0 lost" "$name.log"; } ||
    fail "$name: bytes lost: $(grep -F ' bytes in' "$name.log")"
  if [ "$sx_rc" = missed ]; then
    # Only fine if the line never carried that ACK, the 82nd, the EOT's.
    if [ "$(acks "$name.timing")" -ge 82 ]; then
      fail "$name: the line delivered rx's last ACK but sx did not end"
    else
      echo "note: $name: rx's last ACK was flushed from its pty before the line read it"
    fi
  elif [ "$sx_rc" -ne 0 ]; then
    fail "$name: sx exit status $sx_rc"
  fi
}

# --- clean, unpaced ---------------------------------------------------------------------
transfer clean 120
expect_complete clean

# --- paced -------------------------------------------------------------------------------
# 81 blocks of 133 bytes plus an ACK each, 10 bits a byte: the line limit. The peers'
# turnarounds and a loaded machine only add to it.
check_pace() {
  local name=$1 baud=$2 took ideal
  took=$(line_time "$name.timing")
  ideal=$(awk -v b="$baud" 'BEGIN { printf "%.3f", 81 * 134 * 10 / b }')
  echo "$name: ${took:-?} s from the first 'C' to the last block's ACK (line limit $ideal s)"
  awk -v t="${took:-0}" -v i="$ideal" 'BEGIN { exit !(t >= i * 0.995) }' ||
    fail "$name: ${took:-no} s on the line, faster than its limit of $ideal s"
}
transfer b115200 120 --baud 115200
expect_complete b115200
check_pace b115200 115200

if [ "$long" = 1 ]; then
  transfer b9600 180 --baud 9600
  expect_complete b9600
  check_pace b9600 9600
fi

# --- one flipped data byte: the 68th byte of block 41 -----------------------------------
# Far from the start: on a loaded machine rx may get ready only after sx's first block 1 came
# and flush it, so the first blocks can go more than once. Whole blocks only, so the byte
# stays the 68th of whichever later block it falls in, which rx reads and answers with a NAK.
transfer flip 120 --flip a2b:5387:3
expect_complete flip
grep -q "a2b byte 5387: bit 3 flipped" flip.log || fail "flip: no flip in the log"
awk '$1 == "b2a" && $4 == "15" { n++ } END { exit !n }' flip.timing || fail "flip: rx sent no NAK"

# --- silence from byte 2000 on -----------------------------------------------------------
if [ "$long" = 1 ]; then
  transfer silent 240 --silent-after a2b:2000
  [ "$rx_rc" -ne 0 ] && [ "$rx_rc" -ne 124 ] || fail "silent: rx exit status $rx_rc, expected its own failure"
else
  stop_on="a2b byte 2000: silent from here on" transfer silent 120 --silent-after a2b:2000
  [ "$rx_rc" -ne 0 ] || fail "silent: rx reported success"
fi
received_intact && fail "silent: the file came through"
grep -q "a2b byte 2000: silent from here on" silent.log || fail "silent: no silence in the log"
grep -q "a2b: [0-9]* bytes in, 2000 delivered" silent.log || fail "silent: $(grep -F 'a2b: ' silent.log)"

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all lrzsz cases passed"
