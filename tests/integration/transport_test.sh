#!/usr/bin/env bash
# pelvok as a process against FreeRADIUS on its own loopback ports, over the transports:
#   ipv6    the same simulation file runs to exit 0 over IPv6 (RadHost=::1) and is probed
#   source  with SourceAddress=127.0.0.2 a server that knows only that client answers; from
#           the default address the same run goes unanswered
#   probe   --probe: both ports answer (exit 0); a wrong secret, a stopped server (exit 1);
#           no usable server (exit 2); StatusServerInterval tells of a server stopped mid-run
# Usage: transport_test.sh PROGRAM CASE PORT. Exit 77 (skipped): FreeRADIUS is not installed,
# or the machine has no IPv6 loopback.
set -uo pipefail
program="$1" case="$2" port="$3"
here="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvok-transport-XXXXXX")"
server_dir="$work/radius"
trap '"$here/scripts/freeradius.sh" stop "$server_dir" >/dev/null 2>&1; rm -rf "$work"' EXIT

failures=0
check() {  # check NAME EXPECTED_STATUS STATUS OUTPUT [PATTERN...]
  local name="$1" expected="$2" status="$3" output="$4" pattern ok=1
  shift 4
  ((status == expected)) || ok=0
  for pattern in "$@"; do grep -q -- "$pattern" <<<"$output" || ok=0; done
  if ((ok)); then
    echo "ok: $name"
  else
    echo "FAILED: $name (exit $status, expected $expected; patterns: $*)"
    echo "$output"
    failures=$((failures + 1))
  fi
}

start_server() {  # start_server [freeradius.sh options]
  local status=0
  "$here/scripts/freeradius.sh" start "$server_dir" "$port" "$@" || status=$?
  ((status == 0)) || exit "$status"  # 77: FreeRADIUS is not installed
}

# options NAME KEY=VALUE...: an options file for the server on $port. The keys given come
# first: of two lines with one key, the first counts.
options() {
  local file="$work/$1.ini"
  shift
  {
    echo "[Options]"
    printf '%s\n' "$@"
    echo "QuorlanPort=$port"
    echo "Secret=MeadowLantern"
    echo "DictDir=$here/data/"
    echo "NumPorts=4"
    echo "AuthTimeout=1"
    echo "AcctTimeout=1"
    echo "MessageAuthenticator=1"
  } >"$file"
  echo "$file"
}

cat >"$work/two.sim" <<'SIM'
0:00:00:00,alice,alicepw,00:01,Auth:NAS-IP-Address=127.0.0.1;AcctStop:Acct-Terminate-Cause=User-Request
0:00:00:00,bob,bobpw,00:01
SIM

run() {  # run OPTIONS_FILE [arguments]: the run's output with its exit status last
  local file="$1"
  shift
  "$program" --run "$work/two.sim" --config "$file" "$@" 2>&1
}

case "$case" in
  ipv6)
    if ! python3 -c 'import socket; socket.socket(socket.AF_INET6, socket.SOCK_DGRAM).bind(("::1", 0))' \
      2>/dev/null; then
      echo "this machine has no IPv6 loopback (::1): skipped"
      exit 77
    fi
    start_server --listen ::1 --client ::1
    file="$(options ipv6 RadHost=::1)"
    out="$(run "$file")"; status=$?
    check "the simulation runs over IPv6" 0 "$status" "$out" "alice: Auth Accept" "alice: Account STOP Reply" \
      "bob: Auth Reject"
    grep -qx "RadHost=::1" "$file" || { echo "FAILED: RadHost was rewritten"; failures=$((failures + 1)); }
    out="$("$program" --probe --config "$file" 2>&1)"; status=$?
    check "--probe over IPv6" 0 "$status" "$out" "Status-Server to \[::1\]:$port: Access-Accept in" \
      "Status-Server to \[::1\]:$((port + 1)): Accounting-Response in"
    ;;
  source)
    start_server --client 127.0.0.2
    out="$(run "$(options from-source RadHost=127.0.0.1 SourceAddress=127.0.0.2)")"; status=$?
    check "the server that knows only 127.0.0.2 answers it" 0 "$status" "$out" "alice: Account STOP Reply"
    [[ -d $server_dir/log/radacct/127.0.0.2 ]] ||
      { echo "FAILED: no request from 127.0.0.2"; failures=$((failures + 1)); }
    out="$(run "$(options from-any RadHost=127.0.0.1)" --max-wait 2)"; status=$?
    check "from 127.0.0.1 nothing is answered" 1 "$status" "$out"
    out="$(run "$(options from-other-family RadHost=127.0.0.1 SourceAddress=::1)")"; status=$?
    check "a source of the other family is refused" 2 "$status" "$out" "cannot reach the Radius host 127.0.0.1"
    ;;
  probe)
    start_server
    out="$("$program" --probe --config "$(options probe RadHost=127.0.0.1)" 2>&1)"; status=$?
    check "both ports answer" 0 "$status" "$out" "Status-Server to 127.0.0.1:$port: Access-Accept in [0-9.]* ms" \
      "Status-Server to 127.0.0.1:$((port + 1)): Accounting-Response in [0-9.]* ms"
    out="$("$program" --probe --config "$(options wrong-secret RadHost=127.0.0.1 Secret=wrong)" 2>&1)"; status=$?
    check "a wrong secret goes unanswered" 1 "$status" "$out" "no answer within 1000 ms"
    # A session of four seconds, the server stopped after about two of them.
    echo "0:00:00:00,alice,alicepw,00:04" >"$work/long.sim"
    "$program" --run "$work/long.sim" --config "$(options watched RadHost=127.0.0.1 StatusServerInterval=1)" \
      --max-wait 8 >"$work/watched.out" 2>&1 &
    watched=$!
    sleep 2
    "$here/scripts/freeradius.sh" stop "$server_dir" >/dev/null
    wait "$watched"; status=$?
    check "a server stopped mid-run is told" 1 "$status" "$(cat "$work/watched.out")" "alice: Auth Accept" \
      "Radius server 127.0.0.1:$port does not answer Status-Server"
    out="$("$program" --probe --config "$(options stopped RadHost=127.0.0.1)" 2>&1)"; status=$?
    check "a stopped server" 1 "$status" "$out" "Status-Server to 127.0.0.1:$port: no answer"
    out="$("$program" --probe --config "$(options nowhere RadHost=0.0.0.0)" 2>&1)"; status=$?
    check "no usable server" 2 "$status" "$out" "no usable RADIUS server address"
    ;;
  *) echo "unknown case $case"; exit 2 ;;
esac
((failures == 0))
