# Shared by the test scripts that run programs beside each other in a scratch folder;
# source it, then call make_work.

children=()  # processes ended at exit
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cleanup() {
  for p in "${children[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}

# make_work PREFIX: a fresh folder $work under /tmp, made the working folder and removed
# at exit.
make_work() {
  work=$(mktemp -d "/tmp/$1-XXXXXX")
  trap cleanup EXIT
  cd "$work" || exit 1
}

# wait_until SECONDS COMMAND...: polls the command every 10 ms.
wait_until() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.01
  done
}
