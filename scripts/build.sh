#!/usr/bin/env bash
# Configures and builds. Usage: scripts/build.sh [--sanitize] [extra cmake -D options]
# Plain builds go to build/, sanitizer builds to build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
# Optimised, with line tables: all that backtraces and profilers use,
# at two thirds of the build time of full debug info (configure a Debug build for a debugger).
opts=("-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")
if [ "${1:-}" = "--sanitize" ]; then
  shift
  dir=build-asan
  # -O1 and line tables only: what the sanitizers' reports need, at a fraction of the build time.
  opts=(-DZENTARC_SANITIZE=ON -DZENTARC_WITH_BENCH=OFF "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1")
fi
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" "${gen[@]}" "${opts[@]}" "$@"
else
  cmake -S . -B "$dir" "${opts[@]}" "$@" >/dev/null
fi
cmake --build "$dir" -j "$(nproc)"
