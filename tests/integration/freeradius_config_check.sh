#!/usr/bin/env bash
# Checks the FreeRADIUS configuration of examples/freeradius with radclient alone, so a
# mistake there is told apart from one in our engine: alice is accepted with her attributes,
# bob rejected with his message, carol challenged and then accepted with her PIN, vera accepted
# with vendor-specific attributes, every request in the detail files, and accounting answered.
# Usage: freeradius_config_check.sh DIR PORT
set -uo pipefail
dir="$1" port="$2" secret=MeadowLantern
if [[ ! -s $dir/freeradius.pid ]] || ! kill -0 "$(cat "$dir/freeradius.pid")" 2>/dev/null; then
  echo "FreeRADIUS is not running in $dir (is the freeradius package installed?): skipped"
  exit 77
fi
command -v radclient >/dev/null || { echo "radclient is not installed (freeradius-utils): skipped"; exit 77; }

failures=0
ask() {  # ask KIND PORT ATTRIBUTES -> radclient's listing
  echo "$3" | radclient -x -t 2 -r 2 "127.0.0.1:$2" "$1" "$secret" 2>&1
}
expect() {  # expect NAME OUTPUT PATTERN
  if grep -q -- "$3" <<<"$2"; then echo "ok: $1"; else echo "FAILED: $1 (no '$3')"; echo "$2"; failures=$((failures + 1)); fi
}

out="$(ask auth "$port" 'User-Name=alice,User-Password=alicepw')"
expect "alice accepted" "$out" "Received Access-Accept"
expect "alice Framed-IP-Address" "$out" "Framed-IP-Address = 10.0.0.5"
expect "alice Class" "$out" "Class = 0x70656c766f6b2d676f6c64"

out="$(ask auth "$port" 'User-Name=bob,User-Password=bobpw')"
expect "bob rejected" "$out" "Received Access-Reject"
expect "bob message" "$out" 'Reply-Message = "Bob is not welcome here"'

out="$(ask auth "$port" 'User-Name=carol,User-Password=x')"
expect "carol challenged" "$out" "Received Access-Challenge"
expect "carol prompt" "$out" 'Reply-Message = "Enter your PIN"'
state="$(sed -n 's/^[[:space:]]*State = \(0x[0-9a-f]*\)$/\1/p' <<<"$out")"
out="$(ask auth "$port" "User-Name=carol,User-Password=4321,State=$state")"
expect "carol accepted with her PIN" "$out" "Received Access-Accept"

out="$(ask auth "$port" 'User-Name=vera,User-Password=verapw,Cisco-AVPair="check:1"')"
expect "vera accepted" "$out" "Received Access-Accept"
expect "vera Cisco-AVPair" "$out" 'Cisco-AVPair = "shell:priv-lvl=15"'
expect "vera Lucent-Max-Shared-Users" "$out" "Lucent-Max-Shared-Users = 3"
expect "requests in the detail file" "$(cat "$dir"/log/radacct/127.0.0.1/auth-detail-* 2>/dev/null)" 'Cisco-AVPair = "check:1"'

out="$(ask acct "$((port + 1))" 'User-Name=alice,Acct-Status-Type=Start,Acct-Session-Id=1,NAS-Port=1')"
expect "accounting answered" "$out" "Received Accounting-Response"

((failures == 0))
