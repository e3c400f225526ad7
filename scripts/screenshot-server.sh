#!/usr/bin/env bash
# Pictures of the server's status window and Communication Status dialog for the README,
# made under a virtual X display with a simulated PLC (127.0.0.2) and the sample configuration.
# Usage: scripts/screenshot-server.sh [build folder]   (default build/; writes docs/images/)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
if [ ! -x "$dir/bin/server_screenshots" ]; then
  [ -f "$dir/CMakeCache.txt" ] || scripts/build.sh
  cmake --build "$dir" --target server_screenshots
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (apt-get install xvfb)" >&2; exit 1; }
mkdir -p docs/images
OPCZENTARC_SETTINGS=/nonexistent/opczentarc.ini \
  xvfb-run -a -s "-screen 0 1280x800x24" "$dir/bin/server_screenshots" docs/images samples/OPCZentarc.xml
