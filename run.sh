#!/usr/bin/env bash
# Installs what is missing, builds in Release into build/ and starts the program.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKS_TESTS=OFF >/dev/null
cmake --build build --parallel
if [ -x build/app/KomaSlateUtility ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: start the program from a desktop session, or under a virtual one (apt-get install xvfb, then xvfb-run ./run.sh)." >&2
    exit 1
  fi
  exec build/app/KomaSlateUtility "$@"
fi
exec build/cli/komaslate-tool --help
