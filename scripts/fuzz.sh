#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each briefly over its seed
# corpus (the fuzz ctest entries). Usage: scripts/fuzz.sh
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-fuzz
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
cmake -S . -B "$dir" "${gen[@]}" -DCMAKE_CXX_COMPILER=clang++ -DZENTARC_FUZZ=ON \
  -DZENTARC_WITH_QT=OFF -DZENTARC_WITH_BENCH=OFF >/dev/null
targets=$(sed -n 's/^add_executable(\([a-z_]*_fuzz\).*/\1/p' tests/fuzz/CMakeLists.txt)
cmake --build "$dir" -j "$(nproc)" --target $targets
cd "$dir"
ctest --output-on-failure -j "$(nproc)" -R '_fuzz_' --timeout 300
