#!/usr/bin/env bash
# The interactive program as a process on a virtual X server (Xvfb), with its screenshot tour
# (pelvok-screenshot-tour) starting a session for alice against the scripted responder on
# 127.0.0.1. While her session is live, SIGTERM, or the display going away, must still send her
# accounting stop, save SessionId and log the stop line; a second program (pelvok itself) on
# the same options file is refused.
#
#   interactive_process_test.sh PELVOK TOUR RESPONDER CASE
#   CASE: sigterm | display-lost | second-instance
set -euo pipefail

pelvok="$1"
tour="$2"
responder="$3"
case_name="$4"
data_dir="$(cd "$(dirname "$0")/../../data" && pwd)"
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (scripts/setup.sh): skipped"; exit 77; }
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvok-interactive-XXXXXX")"
responder_pid="" xvfb_pid="" pelvok_pid="" second_pid=""

cleanup() {
  local pid
  for pid in "$pelvok_pid" "$second_pid" "$xvfb_pid" "$responder_pid"; do
    [[ -n $pid ]] && kill -KILL "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for file in "$work"/*.out; do [[ -f $file ]] && { echo "--- $file" >&2; tail -30 "$file" >&2; }; done
  exit 1
}

# Waits (at most 20 s) until the file holds a line matching the pattern.
wait_for() {
  for _ in $(seq 200); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "no \"$2\" in $1"
}

# Waits (at most 30 s) for a background process to end; its exit status goes to $status.
wait_ended() {
  for _ in $(seq 300); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && fail "process $1 did not end"
  status=0
  wait "$1" || status=$?
}

"$responder" --port 0 --port-file "$work/port" --verbose --max-seconds 90 >"$work/responder.out" 2>&1 &
responder_pid=$!
wait_for "$work/port" "[0-9]"
port="$(cat "$work/port")"

# Xvfb picks a free display and writes its number once it is ready.
Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$work/display" >"$work/xvfb.out" 2>&1 &
xvfb_pid=$!
wait_for "$work/display" "[0-9]"

cat >"$work/pelvok.ini" <<INI
[Options]
RadHost=127.0.0.1
QuorlanPort=$port
SessionId=1000
DictDir=$data_dir/
AuthTimeout=2
AcctTimeout=2
[Logs]
File3=ON,NAME=$work/log.out
File4=ON,NAME=$work/trace.out
INI

# The X11 plugin's keyboard library hands strndup strings that are not terminated within the
# length it gives; strict string checks take that for an overflow (in a library, not ours).
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:strict_string_checks=0"
if [[ $case_name == display-lost ]]; then
  # Qt ends the process with exit() from inside its event loop: what is alive then is not
  # freed, which is no leak.
  export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
fi
DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb \
  "$tour" "$work/pictures" --config "$work/pelvok.ini" >"$work/stdout.out" 2>"$work/stderr.out" &
pelvok_pid=$!
# Her start is answered (an Accounting-Response, code 5). Her session lasts 3 s and SessionId
# is saved every 10 s: what follows is the shutdown's.
wait_for "$work/trace.out" "^Recv([0-9]*)\. Code=5,"

if [[ $case_name == second-instance ]]; then
  # It says why, in a box too, and ends with 2 (the box closes on SIGTERM like any other).
  DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb "$pelvok" --config "$work/pelvok.ini" \
    >"$work/second.out" 2>&1 &
  second_pid=$!
  wait_for "$work/second.out" "pelvok: $work/pelvok.ini is in use by another Pelvok (process $pelvok_pid)"
  kill -TERM "$second_pid"
  wait_ended "$second_pid"
  [[ $status -eq 2 ]] || fail "the second program ended with $status, expected 2"
  second_pid=""
fi

case "$case_name" in
  sigterm | second-instance) kill -TERM "$pelvok_pid"; expected=0 ;;
  display-lost) kill -TERM "$xvfb_pid"; xvfb_pid=""; expected=1 ;;
  *) fail "unknown case $case_name" ;;
esac
wait_ended "$pelvok_pid"
pelvok_pid=""
[[ $status -eq $expected ]] || fail "exit status $status, expected $expected"
# alice's session, and bob's when the tour got to start it before the end
grep -Eq "^SessionId=100[12]$" "$work/pelvok.ini" || fail "SessionId not saved"
grep -qx "Quorlan Pelvok Stopped" "$work/log.out" || fail "no stop line in the log"
sleep 0.2  # the responder reads what is already queued before it stops
kill -TERM "$responder_pid"
wait "$responder_pid" || true
responder_pid=""
grep -q "Accounting-Request id=[0-9]* user=alice status=2" "$work/responder.out" ||
  fail "no accounting stop for alice's live session"
echo "ok: $case_name"
