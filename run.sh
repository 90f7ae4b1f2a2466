#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Built build/korvanex, but this machine has no display to show it on."
  echo "To try it without one:  xvfb-run -a build/korvanex"
  exit 0
fi
exec build/korvanex "$@"
