#!/usr/bin/env bash
# Configures and builds. Usage: scripts/build.sh [--sanitize] [extra cmake -D options]
# Plain builds go to build/, sanitizer builds to build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
opts=()
if [ "${1:-}" = "--sanitize" ]; then
  shift
  dir=build-asan
  opts+=(-DZENTARC_SANITIZE=ON -DZENTARC_WITH_BENCH=OFF)
fi
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" "${gen[@]}" "${opts[@]}" "$@"
else
  cmake -S . -B "$dir" "${opts[@]}" "$@" >/dev/null
fi
cmake --build "$dir" -j "$(nproc)"
