#!/usr/bin/env bash
# The demo: builds Pelvok, starts FreeRADIUS on 127.0.0.1:21812 (accounting 21813), plays
# examples/demo.sim headless (result lines on the terminal, packet trace in
# build/demo/packets.log), stops the server and exits with Pelvok's status.
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
# example in the repository stays as it is. The copy names the server's port.
sed "s/^QuorlanPort=.*/QuorlanPort=$port/" examples/demo.ini > build/demo/demo.ini
echo "pelvok: playing examples/demo.sim against FreeRADIUS on 127.0.0.1:$port"
status=0
# A headless run: it waits until every session has ended, then prints the counter report,
# a summary with the server's latency, and writes the JSON report.
build/release/pelvok --run examples/demo.sim --config build/demo/demo.ini \
  --report build/demo/report.json || status=$?
echo "pelvok: exit status $status (report: build/demo/report.json, packet trace: build/demo/packets.log)"
exit "$status"
