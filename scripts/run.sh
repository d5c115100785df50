#!/usr/bin/env bash
# Installs what is missing, builds Brivet and runs it in the current desktop session.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -z "${DISPLAY:-}" ]]; then
  echo "Brivet needs an X11 desktop session: DISPLAY is not set." >&2
  echo "Run this from a terminal inside your desktop session." >&2
  exit 1
fi
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIVET_BUILD_TESTS=OFF \
  -DBRIVET_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "${BRIVET_JOBS:-2}"
exec ./build/src/app/brivet "$@"
