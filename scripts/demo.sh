#!/usr/bin/env bash
# The demo: builds Pelvok, starts FreeRADIUS on 127.0.0.1:21812 (accounting 21813), plays
# examples/demo.sim in service mode (result lines on the terminal, packet trace in
# build/demo/packets.log), stops the server and exits with Pelvok's status.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh
mkdir -p build/demo
server_dir="$PWD/build/demo/freeradius"
port=21812

scripts/freeradius.sh start "$server_dir" "$port"
trap 'scripts/freeradius.sh stop "$server_dir" >/dev/null || true' EXIT

# Pelvok writes its session counter back into the options file: it gets a copy, so the
# example in the repository stays as it is.
cp examples/demo.ini build/demo/demo.ini
echo "pelvok: playing examples/demo.sim against FreeRADIUS on 127.0.0.1:$port"
status=0
build/release/pelvok --config build/demo/demo.ini || status=$?
echo "pelvok: exit status $status (packet trace: build/demo/packets.log)"
exit "$status"
