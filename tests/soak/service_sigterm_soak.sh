#!/usr/bin/env bash
# The service stopped at random moments: pelvok in service mode (Service=1) plays a
# simulation file of many sessions against the scripted responder on 127.0.0.1 and gets
# SIGTERM after a random time, ROUNDS times. Each time the program must run its shutdown
# steps and exit 0, and leave its options file whole (it parses, keeps every key, and holds
# the session counter it reached).
#
#   service_sigterm_soak.sh PELVOK RESPONDER [ROUNDS] [SEED]
set -euo pipefail

pelvok="$(realpath "$1")"
responder="$(realpath "$2")"
rounds="${3:-5}"
seed="${4:-$$}"
data_dir="$(cd "$(dirname "$0")/../../data" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvok-sigterm-XXXXXX")"
responder_pid=""
pelvok_pid=""
RANDOM=$seed

cleanup() {
  [[ -n $pelvok_pid ]] && kill -KILL "$pelvok_pid" 2>/dev/null || true
  if [[ -n $responder_pid ]]; then
    kill -TERM "$responder_pid" 2>/dev/null || true
    wait "$responder_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL (seed $seed): $*" >&2
  for file in "$work"/*.out "$work"/pelvok.ini; do [[ -f $file ]] && { echo "--- $file" >&2; tail -40 "$file" >&2; }; done
  exit 1
}

# The responder, bounded in time whatever happens to this script.
"$responder" --port 0 --port-file "$work/port" --max-seconds $((rounds * 20 + 60)) >"$work/responder.out" 2>&1 &
responder_pid=$!
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
[[ -s $work/port ]] || fail "the responder did not start"
port="$(cat "$work/port")"

# 600 sessions over a minute, ten a second, lasting 2 to 20 seconds.
for i in $(seq 0 599); do
  printf '0:00:%02d:%02d,user%d,pw,00:%02d\n' $((i / 10 / 60)) $((i / 10 % 60)) "$i" $((2 + i % 19))
done >"$work/run.sim"

# Every line is blank, a [section] or key=value; every key the file started with is there.
check_options() {
  local file="$1" expected_keys="$2"
  awk '!/^$/ && !/^\[[^]]+\]$/ && !/^[^=]+=.*$/ { bad = 1 } END { exit bad }' "$file" ||
    fail "the options file does not parse"
  local key
  for key in $expected_keys; do
    grep -q "^$key=" "$file" || fail "the options file lost its key $key"
  done
}

session_id=100
for round in $(seq "$rounds"); do
  {
    printf '[Options]\nService=1\nRadHost=127.0.0.1\nQuorlanPort=%s\nDictDir=%s/\nDictName=default.dic\n' "$port" "$data_dir"
    printf 'NumPorts=1000\nAuthTimeout=1\nAcctTimeout=1\nSessionId=%d\nSimFile=%s\n' "$session_id" "$work/run.sim"
    printf '[Logs]\nFile1=ON,NAME=%s/log.out\nFile2=ON,NAME=%s/log.out\nFile3=ON,NAME=%s/log.out\n' "$work" "$work" "$work"
  } >"$work/pelvok.ini"
  keys="Service RadHost QuorlanPort DictDir DictName NumPorts AuthTimeout AcctTimeout SessionId SimFile File1 File2 File3"
  rm -f "$work/log.out"

  (cd "$work" && exec "$pelvok" --config pelvok.ini) >"$work/stdout.out" 2>"$work/stderr.out" &
  pelvok_pid=$!
  # Somewhere between 0.2 and 3 seconds into the run.
  delay_ms=$((200 + RANDOM % 2800))
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -0 "$pelvok_pid" 2>/dev/null || fail "round $round: pelvok ended before the signal"
  kill -TERM "$pelvok_pid"
  status=0
  for _ in $(seq 300); do kill -0 "$pelvok_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pelvok_pid" 2>/dev/null && fail "round $round: still running 30 s after SIGTERM"
  wait "$pelvok_pid" || status=$?
  pelvok_pid=""
  [[ $status -eq 0 ]] || fail "round $round: exit status $status after SIGTERM at ${delay_ms} ms"

  check_options "$work/pelvok.ini" "$keys"
  saved="$(sed -n 's/^SessionId=//p' "$work/pelvok.ini")"
  [[ $saved =~ ^[0-9]+$ ]] || fail "round $round: SessionId \"$saved\" is not a number"
  ((saved > session_id)) || fail "round $round: SessionId $saved not beyond $session_id"
  grep -qx "Service stopped" "$work/log.out" || fail "round $round: no \"Service stopped\" in the log"
  ls "$work" | grep -q '\.tmp\.' && fail "round $round: a temporary file was left behind"
  grep -qi "runtime error\|AddressSanitizer\|LeakSanitizer" "$work/stderr.out" && fail "round $round: sanitizer report"
  printf 'round %d: SIGTERM at %d ms, sessions %d..%d, exit 0\n' "$round" "$delay_ms" "$session_id" "$saved"
  session_id="$saved"
done
echo "ok: $rounds SIGTERMs (seed $seed), every shutdown clean, options file whole each time"
