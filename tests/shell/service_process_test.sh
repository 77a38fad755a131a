#!/usr/bin/env bash
# The service mode as a process: pelvok --config on a temporary options file with Service=1,
# against the scripted responder on 127.0.0.1.
#
#   service_process_test.sh PELVOK RESPONDER CASE
#   CASE: played-out | sigterm | sighup | start-failures
set -euo pipefail

pelvok="$1"
responder="$2"
case_name="$3"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvok-service-XXXXXX")"
responder_pid=""
pelvok_pid=""

cleanup() {
  [[ -n $pelvok_pid ]] && kill -KILL "$pelvok_pid" 2>/dev/null || true
  [[ -n $responder_pid ]] && kill -KILL "$responder_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for file in "$work"/*.out; do [[ -f $file ]] && { echo "--- $file" >&2; cat "$file" >&2; }; done
  exit 1
}

# Waits (at most 10 s) until the file holds the text.
wait_for() {
  local file="$1" text="$2"
  for _ in $(seq 100); do
    grep -qF -- "$text" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "no \"$text\" in $file"
}

start_responder() {
  "$responder" --port 0 --port-file "$work/port" --verbose --max-seconds 60 >"$work/responder.out" 2>&1 &
  responder_pid=$!
  for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
  [[ -s $work/port ]] || fail "the responder did not start"
  port="$(cat "$work/port")"
}

stop_responder() {
  kill -TERM "$responder_pid"
  wait "$responder_pid" || true
  responder_pid=""
}

write_options() {  # extra lines on standard input
  {
    printf '[Options]\nService=1\nRadHost=127.0.0.1\nQuorlanPort=%s\nDictDir=%s/\n' "${port:-1812}" "$work"
    printf 'AuthTimeout=1\nAcctTimeout=1\nSessionId=100\n'
    cat
    printf '[Logs]\nFile1=ON,NAME=%s/log.out\nFile3=ON,NAME=%s/log.out\n' "$work" "$work"
  } >"$work/pelvok.ini"
}

case "$case_name" in
  played-out)
    start_responder
    printf '0:00:00:00,alice,pw,00:01\n0:00:00:03,zed,pw,00:01\n' >"$work/run.sim"
    write_options <<<"SimFile=$work/run.sim"
    status=0
    (cd "$work" && timeout 30 "$pelvok" --config pelvok.ini >"$work/stdout.out" 2>"$work/stderr.out") || status=$?
    [[ $status -eq 0 ]] || fail "exit status $status, expected 0"
    grep -qx "alice: Auth Accept" "$work/stdout.out" || fail "no accept line on standard output"
    grep -qx "alice: Account STOP Reply" "$work/stdout.out" || fail "no stop reply line"
    grep -q "^SessionId=102$" "$work/pelvok.ini" || fail "SessionId not saved"
    stop_responder
    grep -q "Access-Request id=[0-9]* user=zed" "$work/responder.out" || fail "the last line was not sent"
    ;;

  sigterm | sighup)
    signal="${case_name#sig}"
    start_responder
    printf '0:00:00:00,alice,pw,10:00\n0:01:00:00,zed,pw,00:01\n' >"$work/run.sim"
    write_options <<<"SimFile=$work/run.sim"
    (cd "$work" && exec "$pelvok" --config pelvok.ini) >"$work/stdout.out" 2>"$work/stderr.out" &
    pelvok_pid=$!
    wait_for "$work/stdout.out" "alice: Account START Reply"
    kill -"${signal^^}" "$pelvok_pid"
    status=0
    wait "$pelvok_pid" || status=$?
    pelvok_pid=""
    [[ $status -eq 0 ]] || fail "exit status $status after SIG${signal^^}, expected 0"
    grep -q "^SessionId=101$" "$work/pelvok.ini" || fail "options not saved at the stop"
    grep -qx "Service stopped" "$work/log.out" || fail "no \"Service stopped\" in the log"
    sleep 0.2  # the responder reads what is already queued before it stops
    stop_responder
    grep -q "Accounting-Request id=[0-9]* user=alice status=2" "$work/responder.out" ||
      fail "no accounting stop for the live session"
    ! grep -q "user=zed" "$work/responder.out" || fail "a line after the stop was sent"
    ;;

  start-failures)
    port=1812
    mkfifo "$work/pipe.sim"  # nobody writes to it: opening it would wait for ever
    for variant in empty missing fifo badhost; do
      code=3
      case $variant in
        empty)
          write_options <<<"SimFile="
          expected="Service Init failure: Missing Simulation file option." ;;
        missing | fifo)
          write_options <<<"SimFile=$work/$([[ $variant == fifo ]] && echo pipe || echo none).sim"
          expected="Service Init failure: Invalid Simulation file." ;;
        badhost)
          # The first RadHost counts: a malformed address, never sent to (0.0.0.0 is this host).
          write_options <<<"SimFile=$work/none.sim"
          { printf '[Options]\nRadHost=300.1.2.3\n'; sed 1d "$work/pelvok.ini"; } >"$work/badhost.ini"
          mv "$work/badhost.ini" "$work/pelvok.ini"
          code=2
          expected="Service Init failure: no usable RADIUS server address (RadHost) in pelvok.ini" ;;
      esac
      rm -f "$work/log.out"
      before="$(cat "$work/pelvok.ini")"
      status=0
      (cd "$work" && timeout 30 "$pelvok" --config pelvok.ini >"$work/stdout.out" 2>&1) || status=$?
      [[ $status -eq $code ]] || fail "$variant: exit status $status, expected $code"
      grep -qxF "$expected" "$work/log.out" || fail "$variant: no \"$expected\""
      [[ "$(cat "$work/pelvok.ini")" == "$before" ]] || fail "$variant: the options file changed"
    done
    ;;

  *)
    fail "unknown case $case_name"
    ;;
esac
echo "ok: $case_name"
