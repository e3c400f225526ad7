#!/usr/bin/env bash
# The main job, as far as it is built: a simulated GE PLC whose registers change by
# themselves, read live through the server's PLC link for a few seconds, then stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

bin=build/bin
address=127.0.0.2
# --duration is a safety net: the simulator ends by itself even if this script is killed.
"$bin/plcsim" --address "$address" --set R1=1234 --animate counter:R2-R3 --animate sine:R4 \
  --animate toggle:R5 --duration 60 &
sim=$!
stop_sim() {
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
}
trap stop_sim EXIT

echo "demo: PLC simulator on $address:18245 (R1 fixed, R2-R3 counters, R4 sine, R5 toggling bit)"
# --wait retries until the simulator listens (at most 5 s), so no sleep is needed.
"$bin/plcread" --address "$address" --read R1-R5 --repeat 12 --interval 500 --wait 5000
