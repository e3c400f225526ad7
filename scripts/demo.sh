#!/usr/bin/env bash
# The main job: two simulated GE PLCs whose registers change by themselves, the OPCZentarc
# server on them (no window, samples/OPCZentarc.xml, secure by default), and live values read
# over a signed and encrypted OPC UA channel with the command-line client for a few seconds;
# a user who may write is made for the demo. The server also publishes every tag to a
# mosquitto broker on a loopback port, where mosquitto_sub shows them arriving. Then
# everything is stopped by its PID.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

bin=build/bin
endpoint=opc.tcp://127.0.0.1:48400
config=samples/OPCZentarc.xml
work=$(mktemp -d)
# The demo leaves the machine's settings store, PKI folder and users file alone, and the
# client keeps its certificate in the demo's folder too.
export OPCZENTARC_SETTINGS=$work/opczentarc.ini
export XDG_CONFIG_HOME=$work/config
pki=$work/pki
users=$work/users
secure=(--endpoint "$endpoint" --security Aes256_Sha256_RsaPss --mode SignAndEncrypt)
# The demo's own broker, on a loopback port of its own.
broker_port=18830
mqtt=mqtt://127.0.0.1:$broker_port

sim= server= broker=
stop_all() {
  # The server first: it tells its clients and closes its PLC connections, then the PLCs go.
  if [ -n "$server" ]; then
    kill -TERM "$server" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  if [ -n "$sim" ]; then
    kill -TERM "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
  fi
  if [ -n "$broker" ]; then
    kill -TERM "$broker" 2>/dev/null || true
    wait "$broker" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop_all EXIT

# Line1 on 127.0.0.2, Line2 on 127.0.0.3 (both served by one simulator). --duration is a
# safety net: the simulator ends by itself even if this script is killed.
"$bin/plcsim" --address 127.0.0.2 --address 127.0.0.3 --duration 120 \
  --set R1=1234 --set R2=0 --animate counter:R3 --animate sine:R4 --animate toggle:R5 \
  --set R10=18765 --set R11=11608 --set R12=65 --set R13=0 \
  --animate sine:R20-R23 --set R30=17041 --set R31=0 --animate toggle:R40 \
  --animate toggle:Q1 --animate sine:AI1 &
sim=$!

printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$broker_port" >"$work/mosquitto.conf"
mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
broker=$!
for _ in $(seq 1 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$broker_port") 2>/dev/null && break
  kill -0 "$broker" 2>/dev/null || { echo "demo: mosquitto did not start:" >&2; cat "$work/mosquitto.log" >&2; exit 1; }
  sleep 0.1
done
echo "demo: mosquitto broker on $mqtt"

echo "demo: a user \"demo\" who may write (password from standard input)"
echo "demo-password" | "$bin/OPCZentarc" --add-user demo --role writer --users "$users"

echo "demo: OPCZentarc --headless on $endpoint with $config (secure policies only, anonymous read),"
echo "      publishing to $mqtt as node \"demo\", MQTT writes on"
"$bin/OPCZentarc" --headless --config "$config" --endpoint "$endpoint" --pki "$pki" --users "$users" \
  --mqtt "$mqtt" --mqtt-node demo --mqtt-write on &
server=$!

# Wait (at most 10 s) until the server answers. The client's first secure connection is
# refused: the server does not know its certificate yet and keeps a copy in rejected/certs.
ready=0
for _ in $(seq 1 50); do
  if out=$("$bin/zentarc-ua" "${secure[@]}" read i=2259 2>&1); then ready=1; break; fi
  if [[ $out == *BadCertificateUntrusted* ]]; then
    echo
    echo "demo: the first SignAndEncrypt connection is refused:"
    echo "$out" | sed 's/^/  /'
    echo "demo: as an operator would, moving the client's certificate to trusted/certs"
    mv "$pki"/rejected/certs/* "$pki"/trusted/certs/
  fi
  kill -0 "$server" 2>/dev/null || break
  sleep 0.2
done
if [ "$ready" != 1 ]; then
  echo "demo: the server did not start (see its messages above)" >&2
  exit 1
fi

echo
echo "demo: every tag, read from the PLCs over Aes256_Sha256_RsaPss, SignAndEncrypt, anonymous"
"$bin/zentarc-ua" "${secure[@]}" read Line1.Setpoint Line1.Counter Line1.Level Line1.Running \
  Line1.Recipe Line1.Speeds Line1.Temperature Line2.Counter Line2.Alarms Line2.PumpRunning Line2.TankLevel

echo
echo "demo: live values for 5 seconds (a subscription, 500 ms)"
"$bin/zentarc-ua" "${secure[@]}" watch Line1.Counter Line1.Level Line1.Running Line2.Alarms Line2.PumpRunning Line2.TankLevel \
  --interval 500 --duration 5

echo
echo "demo: the PLC folders, what Line1's folder holds, and its diagnostics"
"$bin/zentarc-ua" "${secure[@]}" browse
"$bin/zentarc-ua" "${secure[@]}" browse "ns=1;s=Line1/"
"$bin/zentarc-ua" "${secure[@]}" read "ns=1;s=Line1/Diagnostics/State" "ns=1;s=Line1/Diagnostics/Connected" \
  "ns=1;s=Line1/Diagnostics/MessagesSent" "ns=1;s=Line1/Diagnostics/PolledTags" "ns=1;s=Line1/Diagnostics/CpuState"

echo
echo "demo: an anonymous client may read but not write"
"$bin/zentarc-ua" "${secure[@]}" write Line1.Setpoint 1500 || true

echo
echo "demo: user demo writes 1500 to Line1.Setpoint, then reads it back"
ZENTARC_UA_PASSWORD=demo-password "$bin/zentarc-ua" "${secure[@]}" --user demo write Line1.Setpoint 1500
ZENTARC_UA_PASSWORD=demo-password "$bin/zentarc-ua" "${secure[@]}" --user demo read Line1.Setpoint

echo
echo "demo: values arriving over MQTT (mosquitto_sub, 3 seconds): retained states first, then changes"
mosquitto_sub -h 127.0.0.1 -p "$broker_port" -v -W 3 -t 'opczentarc/demo/#' 2>/dev/null | head -n 24 || true

echo
echo "demo: an MQTT write of 1600 to Line1.Setpoint, answered once the PLC acknowledged it"
mosquitto_sub -h 127.0.0.1 -p "$broker_port" -v -C 1 -W 5 -t 'opczentarc/demo/Line1/Line1.Setpoint/set/result' &
answer=$!
sleep 0.5
mosquitto_pub -h 127.0.0.1 -p "$broker_port" -t 'opczentarc/demo/Line1/Line1.Setpoint/set' -m '{"value": 1600, "id": "demo-1"}'
wait "$answer" || true

echo
echo "demo: stopping the server (it says offline to the broker), the simulated PLCs and the broker"
