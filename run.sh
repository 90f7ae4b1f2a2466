#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -G Ninja -DKVX_BUILD_TESTS=ON >/dev/null
cmake --build build
if [ -x build/korvanex ]; then
  exec build/korvanex "$@"
fi
echo "The site model and its tools are built (build/tests/tools/srdtool); the main window comes next."
