#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time on a scratch copy of the seed corpus.
#   run-fuzz.sh BINARY SECONDS
# FUZZ_JOBS is how many processes fuzz side by side, sharing the corpus (default: one per core).
# Exits with the fuzzer's status: non-zero when it found a crash, whose input is kept
# in an "artifacts" folder next to the binary.
set -euo pipefail
if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 BINARY SECONDS" >&2
  exit 2
fi
binary=$1
seconds=$2
seeds="$(cd "$(dirname "$0")" && pwd)/corpus"
artifacts="$(cd "$(dirname "$binary")" && pwd)/artifacts"
mkdir -p "$artifacts"

# New inputs found in the run are scratch; the checked-in seeds stay as they are.
corpus=$(mktemp -d "${TMPDIR:-/tmp}/kvx-corpus-XXXXXX")
trap 'rm -rf "$corpus"' EXIT
cp "$seeds"/* "$corpus"/

# Undefined behaviour is only reported unless it halts, and a report is not a crash.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
jobs=${FUZZ_JOBS:-$(nproc)}
status=0
"$binary" -fork="$jobs" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$corpus" || status=$?
if [ "$status" -ne 0 ]; then
  echo "fuzzing failed (status $status); the failing input is in $artifacts" >&2
fi
exit "$status"
