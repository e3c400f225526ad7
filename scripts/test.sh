#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
# Usage: scripts/test.sh [--sanitize]   (--sanitize: AddressSanitizer + UBSan build in build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-asan
scripts/build.sh "$@"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$dir"
ctest --output-on-failure -j "$(nproc)" --timeout 300
