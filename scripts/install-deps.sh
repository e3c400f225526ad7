#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12. Safe to run again:
# packages already present are skipped, and apt-get runs only when something is missing.
# Usage: scripts/install-deps.sh [--packaging]   (--packaging: also what building and
# checking the Debian package needs: dpkg-dev, lintian)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config ninja-build
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libpugixml-dev libsystemd-dev
  protobuf-compiler libprotobuf-dev
  libssl-dev
  libmosquitto-dev mosquitto mosquitto-clients
  libpaho-mqtt-dev  # the tests' own MQTT client: a library other than the server's
  qt6-base-dev libgl1-mesa-dev
  adwaita-icon-theme
  xvfb xauth x11-apps imagemagick
  nodejs npm
)
if [ "${1:-}" = "--packaging" ]; then
  packages+=(dpkg-dev lintian file adduser init-system-helpers systemd)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# nodejs may come from another source that ships npm inside it.
if command -v npm >/dev/null 2>&1; then
  missing=("${missing[@]/npm}")
fi
filtered=()
for p in "${missing[@]}"; do [ -n "$p" ] && filtered+=("$p"); done

if [ ${#filtered[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: these packages are missing: ${filtered[*]}" >&2
    echo "install-deps: run this script as root (or with sudo) to install them" >&2
    exit 1
  fi
  echo "install-deps: installing ${filtered[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${filtered[@]}"
fi

# Test-only npm tools (the OPC UA client, the Sparkplug B decoder), each pinned by its
# lockfile; installed again only when the lockfile changed since the last install.
for dir in tests/integration/ua tests/integration/sparkplug; do
  lock=$dir/package-lock.json
  [ -f "$lock" ] || continue
  stamp=$dir/node_modules/.installed-lock
  if ! cmp -s "$lock" "$stamp" 2>/dev/null; then
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
    cp "$lock" "$stamp"
  fi
done
