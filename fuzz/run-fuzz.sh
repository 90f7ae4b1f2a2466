#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time on a scratch copy of the seed corpus.
#   run-fuzz.sh BINARY SECONDS
# FUZZ_JOBS is how many fuzzing processes run side by side on one corpus (default: one per core).
# Exits with the fuzzer's status: non-zero when it found a crash, whose input is kept
# in an "artifacts" folder next to the binary.
set -euo pipefail
if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 BINARY SECONDS" >&2
  exit 2
fi
binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
seconds=$2
seeds="$(cd "$(dirname "$0")" && pwd)/corpus"
artifacts="$(dirname "$binary")/artifacts"
mkdir -p "$artifacts"

# New inputs found in the run are scratch, shared by the workers; the checked-in seeds stay
# as they are. Each worker writes its log (fuzz-N.log) into the scratch folder.
work=$(mktemp -d "${TMPDIR:-/tmp}/kvx-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp "$seeds"/* "$work/corpus"/
cd "$work"

# Undefined behaviour is only reported unless it halts, and a report is not a crash.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
jobs=${FUZZ_JOBS:-$(nproc)}
status=0
"$binary" -jobs="$jobs" -workers="$jobs" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" corpus > fuzz.out 2>&1 || status=$?
executed=$(cat fuzz-*.log 2>/dev/null | awk '/stat::number_of_executed_units/ { n += $2 } END { print n + 0 }')
echo "fuzzed $executed inputs in ${seconds}s with $jobs processes ($((executed / (seconds > 0 ? seconds : 1)))/s)"
if [ "$status" -ne 0 ]; then
  tail -n 40 fuzz-*.log >&2
  echo "fuzzing failed (status $status); the failing input is in $artifacts" >&2
fi
exit "$status"
