#!/usr/bin/env bash
# The demo: builds Pelvok, starts FreeRADIUS on 127.0.0.1:21812 (accounting 21813), plays
# examples/demo.sim headless (result lines on the terminal, packet trace in
# build/demo/packets.log), then examples/session-life.sim with a session's whole life
# switched on (interim updates, counters, and a Disconnect-Request from radclient on port
# 21814), stops the server and exits with Pelvok's status (the first run's failing one first).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh
mkdir -p build/demo
server_dir="$PWD/build/demo/freeradius"
port=${PELVOK_DEMO_PORT:-21812}

# The server requires Message-Authenticator, as patched servers do; demo.ini sends it.
scripts/freeradius.sh start "$server_dir" "$port" --require-message-authenticator
trap 'scripts/freeradius.sh stop "$server_dir" >/dev/null || true' EXIT

# Pelvok writes its session counter back into the options file: it gets a copy, so the
# example in the repository stays as it is.
# The copy names the server's port (PELVOK_DEMO_PORT when set).
sed "s/^QuorlanPort=.*/QuorlanPort=$port/" examples/demo.ini >build/demo/demo.ini
echo "pelvok: playing examples/demo.sim against FreeRADIUS on 127.0.0.1:$port"
status=0
# A headless run: it waits until every session has ended, then prints the counter report,
# a summary with the server's latency, and writes the JSON report.
build/release/pelvok --run examples/demo.sim --config build/demo/demo.ini \
  --report build/demo/report.json || status=$?
echo "pelvok: exit status $status (report: build/demo/report.json, packet trace: build/demo/packets.log)"

# The session's whole life: ivan's Accept asks for interim updates every 2 seconds; alice,
# on for 30 seconds, is disconnected by the server's operator about 3 seconds after her start.
coa_port=$((port + 2))
sed -e "s/^QuorlanPort=.*/QuorlanPort=$port/" -e "s/^CoaPort=.*/CoaPort=$coa_port/" \
  examples/session-life.ini >build/demo/session-life.ini
echo "pelvok: playing examples/session-life.sim; radclient disconnects alice through port $coa_port"
(sleep 4 && echo 'User-Name = "alice"' | radclient -r 1 -t 3 "127.0.0.1:$coa_port" disconnect MeadowLantern) &
radclient_pid=$!
life_status=0
build/release/pelvok --run examples/session-life.sim --config build/demo/session-life.ini \
  --report build/demo/session-life-report.json || life_status=$?
wait "$radclient_pid" || echo "pelvok: radclient got no Disconnect-ACK" >&2
echo "pelvok: exit status $life_status (packet trace: build/demo/session-life-packets.log)"
((status != 0)) || status=$life_status
exit "$status"
