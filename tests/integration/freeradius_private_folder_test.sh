#!/usr/bin/env bash
# FreeRADIUS started by scripts/freeradius.sh from a folder only its owner may enter (mode
# 700, as a home folder is), which is where a clone made by root lands: it starts, answers
# alice, and stops.  Usage: freeradius_private_folder_test.sh PORT
set -uo pipefail
port="$1"
here="$(cd "$(dirname "$0")/../.." && pwd)"
private="$(mktemp -d "${TMPDIR:-/tmp}/pelvok-private-XXXXXX")"
chmod 700 "$private"
server_dir="$private/home/clone/build/radius"
mkdir -p -m 700 "$private/home"
trap '"$here/scripts/freeradius.sh" stop "$server_dir" >/dev/null 2>&1; rm -rf "$private"' EXIT

status=0
"$here/scripts/freeradius.sh" start "$server_dir" "$port" || status=$?
((status == 0)) || exit "$status"  # 77: FreeRADIUS is not installed
command -v radclient >/dev/null || { echo "radclient is not installed (freeradius-utils): skipped"; exit 77; }

out="$(echo 'User-Name=alice,User-Password=alicepw' | radclient -t 2 -r 2 "127.0.0.1:$port" auth MeadowLantern 2>&1)"
grep -q "Received Access-Accept" <<<"$out" || { echo "FAILED: no Access-Accept from the server in $server_dir"; echo "$out"; exit 1; }
echo "ok: FreeRADIUS runs from a mode-700 folder"
