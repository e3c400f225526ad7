#!/usr/bin/env bash
# Builds the Debian package: build/opczentarc_<version>_amd64.deb (both programs, error.dat,
# the sample configuration, the systemd unit, the editor's desktop entry).
# Usage: scripts/package.sh [--check]   (--check: then scripts/check-package.sh on it)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --packaging
scripts/build.sh
version=$(sed -n 's/^project(OPCZentarc VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
deb=build/opczentarc_${version}_${arch}.deb
rm -f "$deb"
(cd build && cpack -G DEB >/dev/null)
[ -f "$deb" ] || { echo "package: $deb was not made" >&2; exit 1; }
echo "package: $deb"
if [ "${1:-}" = "--check" ]; then
  scripts/check-package.sh "$deb"
fi
