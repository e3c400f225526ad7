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
# A compiler cache, when the machine has one, makes rebuilds in other checkouts of the
# project (git worktrees) cheap; paths below the checkout are hashed relative to it.
if command -v ccache >/dev/null 2>&1; then
  opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" "${gen[@]}" "${opts[@]}" "$@"
else
  cmake -S . -B "$dir" "${opts[@]}" "$@" >/dev/null
fi
cmake --build "$dir" -j "$(nproc)"
