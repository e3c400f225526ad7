#!/usr/bin/env bash
# Pictures of the configuration editor for the README, made under a virtual X display.
# Usage: scripts/screenshot-editor.sh [build folder]   (default build/; writes docs/images/)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
if [ ! -x "$dir/bin/editor_screenshots" ]; then
  [ -f "$dir/CMakeCache.txt" ] || scripts/build.sh
  cmake --build "$dir" --target editor_screenshots
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (apt-get install xvfb)" >&2; exit 1; }
mkdir -p docs/images
xvfb-run -a -s "-screen 0 1280x800x24" "$dir/bin/editor_screenshots" docs/images
