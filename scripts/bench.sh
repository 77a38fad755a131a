#!/usr/bin/env bash
# End-to-end benchmark: Pelvok against radclient, both sending to one FreeRADIUS 3.2 on the
# loopback address, in the same run.
#
#   scripts/bench.sh [--rounds N] [--sessions N] [--per-second N] [--port PORT] [--no-trace]
#                    [--sustained-rate N] [--sustained-seconds N] [--no-sustained]
#                    [--also-rates "N ..."] [--radclient-file-users N]
#                    [--capture-rate N] [--capture-seconds N]
#
# Each round:
#   1. Pelvok plays a generated simulation file headless (--run), logging off: SESSIONS
#      sessions of users bench00001..., PER_SECOND of them starting each second, lasting 1 to 3
#      seconds, so that at most about 2 x PER_SECOND request identifiers are ever in use
#      (the starts of one second and the stops that fall due in it). Every session makes an
#      Access-Request, an Accounting-Request Start and a Stop.
#   2. radclient sends the same number of Access-Requests (distinct users) and then
#      Accounting-Requests (a start and a stop per user), 255 outstanding (-p 255).
# For both, the CPU time (user + system) of the process is taken from the kernel's account of
# the finished child (GNU time), per request; and requests per second of wall time. Pelvok's
# retransmissions, drops and unanswered requests come from its JSON report; radclient's lost
# requests from its summary. Medians over the rounds are printed at the end, with the ratio.
# Then one Pelvok run with a single session lasting as long as a round measures the run's
# fixed cost (start-up, ticks, shutdown), and, unless --no-trace, one more round runs with the
# packet trace (log level 3) written to a file, for its cost against logging off.
# Then, unless --no-sustained, the sustained load against the same server: pelvok --run --load
# at --sustained-rate sessions a second for --sustained-seconds (Pacing=1, Sockets=16,
# WaitForId=1, DiscardUnauthenticated=1, two-second sessions), radclient -p 255 with the same
# number of requests, and one session as long as that run, paced and on the 100 ms tick, with
# the voluntary context switches of each (its wake-ups) and the CPU time and wake-ups of its
# idle middle alone, and `pelvok --version` (the start-up).
# --also-rates: further sustained runs of the same length at those rates first (the highest
# rate with nothing lost). radclient's file for the sustained size holds
# --radclient-file-users users (1,000) and is sent that many times over with -c: radclient's
# cost per request grows with the size of its file (120,000 requests cost it 499 us each),
# which is its file handling, not the network.
# --capture-rate: one more load run at that rate for --capture-seconds (10) with loopback
# captured by dumpcap; scripts/wire-latency.py compares the latency on the wire with the
# run's report.
#
# Needs: a Release build in build/bench (made here if missing), FreeRADIUS and radclient;
# for --capture-rate also dumpcap and tshark (Debian package tshark) and the right to capture
# on loopback (root).
# The server is scripts/freeradius.sh's with --high-rate: 4 MiB socket receive buffers, the
# bench users (any benchNNNNN with password benchpw is accepted), no authentication log lines
# and no detail files. It runs in build/bench/e2e/freeradius and is stopped at the end.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

rounds=3
sessions=3000
per_second=60
port=18620
trace=1
sustained=1
sustained_rate=6000
sustained_seconds=60
also_rates=""
radclient_file_users=1000
capture_rate=0
capture_seconds=10
while (($#)); do
  case "$1" in
    --sustained-rate) sustained_rate="$2"; shift ;;
    --sustained-seconds) sustained_seconds="$2"; shift ;;
    --no-sustained) sustained=0 ;;
    --also-rates) also_rates="$2"; shift ;;
    --radclient-file-users) radclient_file_users="$2"; shift ;;
    --capture-rate) capture_rate="$2"; shift ;;
    --capture-seconds) capture_seconds="$2"; shift ;;
    --rounds) rounds="$2"; shift ;;
    --sessions) sessions="$2"; shift ;;
    --per-second) per_second="$2"; shift ;;
    --port) port="$2"; shift ;;
    --no-trace) trace=0 ;;
    *) echo "usage: $0 [--rounds N] [--sessions N] [--per-second N] [--port PORT] [--no-trace]" \
            "[--sustained-rate N] [--sustained-seconds N] [--no-sustained] [--also-rates \"N ...\"]" \
            "[--radclient-file-users N] [--capture-rate N] [--capture-seconds N]" >&2; exit 2 ;;
  esac
  shift
done
for number in "$rounds" "$sessions" "$per_second" "$port" "$sustained_rate" "$sustained_seconds" \
  "$radclient_file_users" "$capture_seconds" $also_rates; do
  [[ $number =~ ^[1-9][0-9]*$ ]] || { echo "bench: not a positive number: $number" >&2; exit 2; }
done
((per_second <= 120)) || { echo "bench: --per-second above 120 would need more than 255 identifiers" >&2; exit 2; }

secret=MeadowLantern
build="$root/build/bench"
work="$build/e2e"
server_dir="$work/freeradius"
python=/usr/bin/python3
mkdir -p "$work"

# ---- The program ------------------------------------------------------------------------
if [[ ! -f $build/build.ninja ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
pelvok="$build/pelvok"
if ! cmake --build "$build" --target pelvok -j2 >"$work/build.log" 2>&1; then
  [[ -x $pelvok ]] || { cat "$work/build.log" >&2; exit 1; }
  echo "bench: the build failed (see $work/build.log); measuring the pelvok built before" >&2
fi
if ! "$pelvok" --help 2>/dev/null | grep -q -- '--run'; then
  echo "bench: $pelvok has no --run mode" >&2
  exit 1
fi

# ---- The server -------------------------------------------------------------------------
start_server() {
  scripts/freeradius.sh start "$server_dir" "$port" --high-rate >/dev/null || {
    echo "bench: FreeRADIUS did not start" >&2; exit 1; }
}
trap 'scripts/freeradius.sh stop "$server_dir" >/dev/null 2>&1 || true' EXIT
start_server
# The first requests after the start can go unanswered: a few go through before measuring.
for _ in 1 2 3; do
  echo 'User-Name = "bench00000", User-Password = "benchpw"' |
    radclient -q -t 1 -r 3 "127.0.0.1:$port" auth "$secret" >/dev/null 2>&1 || true
  echo 'User-Name = "bench00000", Acct-Status-Type = Start, Acct-Session-Id = "0"' |
    radclient -q -t 1 -r 3 "127.0.0.1:$((port + 1))" acct "$secret" >/dev/null 2>&1 || true
done
echo "bench: FreeRADIUS on 127.0.0.1:$port (accounting $((port + 1))), config $server_dir"

# ---- Inputs -------------------------------------------------------------------------------
run_arguments=()
sim="$work/bench.sim"
awk -v count="$sessions" -v rate="$per_second" 'BEGIN {
  for (i = 1; i <= count; i++) {
    offset = int((i - 1) / rate)
    printf "0:%02d:%02d:%02d,bench%05d,benchpw,00:%02d,Auth:NAS-IP-Address=127.0.0.1,NAS-Port-Type=Virtual;AcctStart:Acct-Delay-Time=0,Connect-Info=bench;AcctStop:Acct-Input-Octets=123456,Acct-Output-Octets=654321\n",
           int(offset / 3600), int(offset / 60) % 60, offset % 60, i, 1 + i % 3
  }
}' >"$sim"

# IncomingNotify=0: no result line per reply (radclient -s prints none either); the counts
# come from the --report file. No section "Logs" unless a trace log is asked for.
write_options() {  # FILE [trace-log]
  cat >"$1" <<EOF
[Options]
Service=0
RadHost=127.0.0.1
QuorlanPort=$port
Secret=$secret
NasName=bench-nas
DictDir=data/
DictName=default.dic
NumPorts=${num_ports:-2000}
ResendAuth=1
AuthTimeout=3
ResendAcct=1
AcctTimeout=3
AuthOnly=0
IncomingNotify=0
SessionId=1
EOF
  # The sustained load's own keys (none of those above: the first of two equal keys counts).
  [[ -z ${extra_options:-} ]] || printf '%s\n' "$extra_options" >>"$1"
  if [[ -n ${2:-} ]]; then
    printf '\n[Logs]\nFile4=ON,ERASE,NAME=%s\n' "$2" >>"$1"
  fi
}

# radclient's requests for COUNT users: the Access-Requests, then a start and a stop each.
radclient_requests() {  # COUNT AUTH-FILE ACCT-FILE
  awk -v count="$1" 'BEGIN {
  for (i = 1; i <= count; i++)
    printf "User-Name = \"bench%05d\", User-Password = \"benchpw\", NAS-IP-Address = 127.0.0.1, NAS-Port = %d, NAS-Port-Type = Virtual\n\n", i, i
}' >"$2"
  awk -v count="$1" 'BEGIN {
  for (i = 1; i <= count; i++) {
    printf "Acct-Session-Id = \"%d\", Acct-Status-Type = Start, User-Name = \"bench%05d\", NAS-IP-Address = 127.0.0.1, NAS-Port = %d, Acct-Delay-Time = 0\n\n", i, i, i
    printf "Acct-Session-Id = \"%d\", Acct-Status-Type = Stop, User-Name = \"bench%05d\", NAS-IP-Address = 127.0.0.1, NAS-Port = %d, Acct-Session-Time = %d, Acct-Input-Octets = 123456, Acct-Output-Octets = 654321\n\n", i, i, i, 1 + i % 3
  }
}' >"$3"
}
auth_requests="$work/radclient-auth.txt"
acct_requests="$work/radclient-acct.txt"
radclient_requests "$sessions" "$auth_requests" "$acct_requests"

# ---- Runs ---------------------------------------------------------------------------------
results="$work/results.txt"
: >"$results"

# User and system CPU seconds, wall seconds and voluntary context switches (the wake-ups after
# a sleep) of a command (the kernel's account of the finished child, in microseconds; GNU time
# rounds to 10 ms) into OUTFILE; the command's status. With IDLE_WINDOW="FROM TO" (seconds
# after the start) also the CPU seconds and wake-ups of that window alone, from the process's
# CPU clock (clock_getcpuclockid's, in nanoseconds) and its count of voluntary switches.
timed() {  # OUTFILE command...
  local out="$1"; shift
  IDLE_WINDOW="${IDLE_WINDOW:-}" "$python" -c '
import os, resource, subprocess, sys, time
started = time.monotonic()
child = subprocess.Popen(sys.argv[2:])
window = ""
if os.environ["IDLE_WINDOW"]:
    def sample():
        cpu = time.clock_gettime(((~child.pid) << 3) | 2)  # the process-wide CPU clock of a pid
        with open(f"/proc/{child.pid}/status") as status:
            woke = next(int(line.split()[1]) for line in status if line.startswith("voluntary_ctxt_switches"))
        return cpu, woke
    begin, end = (float(x) for x in os.environ["IDLE_WINDOW"].split())
    try:
        time.sleep(max(0.0, started + begin - time.monotonic()))
        first = sample()
        time.sleep(max(0.0, started + end - time.monotonic()))
        last = sample()
        window = f" {last[0] - first[0]:.6f} {last[1] - first[1]}"
    except (OSError, StopIteration):
        window = ""  # the process ended before the window did
status = child.wait()
wall = time.monotonic() - started
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
open(sys.argv[1], "w").write(f"{usage.ru_utime:.6f} {usage.ru_stime:.6f} {wall:.6f} {usage.ru_nvcsw}{window}\n")
sys.exit(status)' "$out" "$@"
}

run_pelvok() {  # ROUND LABEL [trace-log] [simulation-file]
  local round="$1" label="$2" ini="$work/pelvok-$2-$1.ini" report="$work/pelvok-$2-$1.json"
  write_options "$ini" "${3:-}"
  local status=0
  # What to play: the simulation file, or the load's arguments in run_arguments.
  local play=(--run "${4:-$sim}")
  ((${#run_arguments[@]} == 0)) || play=(--run "${run_arguments[@]}")
  timed "$work/time-pelvok" "$pelvok" "${play[@]}" --config "$ini" --report "$report" \
    >"$work/pelvok-$label-$round.out" 2>&1 || status=$?
  read -r user sys wall switches idle_cpu idle_woke <"$work/time-pelvok"
  "$python" - "$report" "$user" "$sys" "$wall" "$label" "$status" "$switches" "${idle_cpu:-}" "${idle_woke:-}" \
    >>"$results" <<'EOF'
import json, sys
report, user, sys_, wall, label, status = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), sys.argv[5], sys.argv[6]
switches = sys.argv[7]
window = f" idle_cpu_s={float(sys.argv[8]):.6f} idle_wakeups={sys.argv[9]}" if sys.argv[8] else ""
data = json.load(open(report))
kinds = data["requests"]
kinds = kinds.values() if isinstance(kinds, dict) else kinds
requests = sum(k["requests"] for k in kinds)
retrans = sum(k["retransmissions"] for k in kinds)
drops = sum(k["drops"] for k in kinds)
replies = sum(k["replies"] for k in kinds)
cpu = user + sys_
print(f"{label} requests={requests} replies={replies} retransmissions={retrans} drops={drops} "
      f"unfinished={data['sessions']['unfinished']} notStarted={data['sessions']['notStarted']} "
      f"cpu_s={cpu:.4f} wall_s={wall:.2f} cpu_us_per_request={cpu / max(requests, 1) * 1e6:.2f} "
      f"requests_per_s={requests / max(wall, 1e-9):.0f} wakeups={switches} exit={status}{window}")
EOF
  tail -n 1 "$results"
}

run_radclient() {  # ROUND [LABEL AUTH-FILE ACCT-FILE SESSIONS [REPEAT]]
  # SESSIONS: the users the requests are for in all; REPEAT: how often radclient sends each
  # request of its files (-c), the files then holding SESSIONS / REPEAT users.
  local round="$1" label="${2:-radclient}" auth="${3:-$auth_requests}" acct="${4:-$acct_requests}"
  local count="${5:-$sessions}" repeat="${6:-1}" user sys wall user2 sys2 wall2 switches
  timed "$work/time-rc-auth" radclient -p 255 -s -t 3 -r 3 -c "$repeat" -f "$auth" \
    "127.0.0.1:$port" auth "$secret" >"$work/$label-auth-$round.out" 2>&1 || true
  timed "$work/time-rc-acct" radclient -p 255 -s -t 3 -r 3 -c "$repeat" -f "$acct" \
    "127.0.0.1:$((port + 1))" acct "$secret" >"$work/$label-acct-$round.out" 2>&1 || true
  read -r user sys wall switches <"$work/time-rc-auth"
  read -r user2 sys2 wall2 switches <"$work/time-rc-acct"
  "$python" - "$work/$label-auth-$round.out" "$work/$label-acct-$round.out" \
    "$user" "$sys" "$wall" "$user2" "$sys2" "$wall2" "$((3 * count))" "$label" >>"$results" <<'EOF'
import re, sys
lost = 0
answered = 0
for path in sys.argv[1:3]:
    text = open(path).read()
    lost += sum(int(n) for n in re.findall(r"Lost\s*:\s*(\d+)", text))
    answered += sum(int(n) for n in re.findall(r"(?:Accepted|Rejected)\s*:\s*(\d+)", text))
v = [float(x) for x in sys.argv[3:9]]
requests = int(sys.argv[9])
cpu = v[0] + v[1] + v[3] + v[4]
wall = v[2] + v[5]
print(f"{sys.argv[10]} requests={requests} answered={answered} lost={lost} cpu_s={cpu:.4f} wall_s={wall:.2f} "
      f"cpu_us_per_request={cpu / requests * 1e6:.2f} requests_per_s={requests / max(wall, 1e-9):.0f}")
EOF
  tail -n 1 "$results"
}

echo "bench: $rounds rounds of $sessions sessions ($((3 * sessions)) requests each), $per_second sessions starting per second"
for round in $(seq "$rounds"); do
  echo "---- round $round"
  run_pelvok "$round" pelvok
  run_radclient "$round"
done
# What the run costs whatever the requests: start-up, the ticks of the whole run, shutdown.
# One session that lasts as long as the measured runs.
idle_sim="$work/idle.sim"
idle_seconds=$(((sessions + per_second - 1) / per_second + 2))
printf '0:00:00:00,bench00000,benchpw,%02d:%02d\n' $((idle_seconds / 60)) $((idle_seconds % 60)) >"$idle_sim"
echo "---- Pelvok with one session over the same time (the fixed cost)"
run_pelvok 1 pelvok-idle "" "$idle_sim"
if ((trace)); then
  echo "---- Pelvok with the packet trace (level 3) written to a file"
  run_pelvok 1 pelvok-trace "$work/packets.log"
  rm -f "$work/packets.log"
fi

# ---- Sustained load -----------------------------------------------------------------------
# A load run of pelvok --run --load at RATE sessions a second for SECONDS under LABEL.
run_load() {  # RATE SECONDS LABEL [timeline]
  num_ports=$(($1 * 4 + 1000))
  extra_options="LargeNasPorts=1
Pacing=1
Sockets=16
WaitForId=1
DiscardUnauthenticated=1"
  run_arguments=(--load 'bench{n},benchpw' --rate "$1" --sessions "$(($1 * $2))" --session-time 2)
  [[ -z ${4:-} ]] || run_arguments+=(--timeline "$4")
  run_pelvok 1 "$3"
  run_arguments=()
  num_ports=""
  extra_options=""
}
if ((sustained)); then
  load_sessions=$((sustained_rate * sustained_seconds))
  for rate in $also_rates; do
    echo "---- sustained: $rate sessions a second for $sustained_seconds s ($((3 * rate * sustained_seconds)) requests)"
    run_load "$rate" "$sustained_seconds" "pelvok-load-$rate"
  done
  echo "---- sustained: $sustained_rate sessions a second for $sustained_seconds s ($((3 * load_sessions)) requests)"
  run_load "$sustained_rate" "$sustained_seconds" pelvok-load "$work/load-timeline.csv"
  # The same number of requests from radclient, its files sent over and over (-c).
  file_users=$((radclient_file_users < load_sessions ? radclient_file_users : load_sessions))
  repeat=$((load_sessions / file_users))
  radclient_requests "$file_users" "$work/radclient-load-auth.txt" "$work/radclient-load-acct.txt"
  echo "---- radclient -p 255: $file_users users' requests sent $repeat times over"
  run_radclient 1 radclient-load "$work/radclient-load-auth.txt" "$work/radclient-load-acct.txt" \
    $((file_users * repeat)) "$repeat"
  # The idle cost: one session as long as the load run, paced and on the 100 ms tick, with the
  # CPU time and wake-ups of its idle middle alone (from 5 s after the start to 5 s before
  # the end: the run's own work, start-up, requests, report and shutdown, left out); and the
  # start-up alone.
  idle_sim="$work/idle-load.sim"
  printf '0:00:00:00,bench00000,benchpw,%02d:%02d\n' $((sustained_seconds / 60)) $((sustained_seconds % 60)) \
    >"$idle_sim"
  export IDLE_WINDOW=""
  ((sustained_seconds <= 12)) || IDLE_WINDOW="5 $((sustained_seconds - 5))"
  extra_options="Pacing=1"
  run_pelvok 1 pelvok-idle-paced "" "$idle_sim"
  extra_options=""
  run_pelvok 1 pelvok-idle-tick "" "$idle_sim"
  IDLE_WINDOW=""
  timed "$work/time-version" "$pelvok" --version >/dev/null 2>&1 || true
  read -r user sys wall switches <"$work/time-version"
  echo "pelvok-version cpu_s=$("$python" -c "print(f'{$user + $sys:.4f}')") wall_s=$wall wakeups=$switches" |
    tee -a "$results"
fi

# ---- Latency on the wire -------------------------------------------------------------------
if ((capture_rate > 0)); then
  echo "---- latency: $capture_rate sessions a second for $capture_seconds s, loopback captured"
  capture="$work/load-capture.pcapng"
  rm -f "$capture"
  dumpcap -q -i lo -B 64 -f "udp port $port or udp port $((port + 1))" -w "$capture" >"$work/dumpcap.out" 2>&1 &
  dumpcap_pid=$!
  for _ in $(seq 50); do [[ -s $capture ]] && break; sleep 0.1; done
  run_load "$capture_rate" "$capture_seconds" pelvok-capture
  sleep 1
  kill -INT "$dumpcap_pid" 2>/dev/null || true
  wait "$dumpcap_pid" 2>/dev/null || true
  grep -h "dropped" "$work/dumpcap.out" || true
  scripts/wire-latency.py "$capture" "$work/pelvok-pelvok-capture-1.json" "$port" | tee "$work/wire-latency.txt"
fi

# ---- Medians ------------------------------------------------------------------------------
"$python" - "$results" <<'EOF'
import re, statistics, sys
rows = {}
for line in open(sys.argv[1]):
    label, *fields = line.split()
    values = dict(f.split("=") for f in fields)
    rows.setdefault(label, []).append({k: float(v) for k, v in values.items()})
def median(label, key):
    return statistics.median(r[key] for r in rows[label]) if label in rows else float("nan")
print("\n==== medians over %d rounds" % len(rows.get("pelvok", [])))
p, r = median("pelvok", "cpu_us_per_request"), median("radclient", "cpu_us_per_request")
print(f"Pelvok    : {p:7.2f} us CPU per request, {median('pelvok', 'requests_per_s'):6.0f} requests/s (paced by the file), "
      f"retransmissions {median('pelvok', 'retransmissions'):.0f}, drops {median('pelvok', 'drops'):.0f}, "
      f"unfinished sessions {median('pelvok', 'unfinished'):.0f}")
print(f"radclient : {r:7.2f} us CPU per request, {median('radclient', 'requests_per_s'):6.0f} requests/s, "
      f"lost {median('radclient', 'lost'):.0f}")
print(f"ratio     : Pelvok / radclient = {p / r:.3f} (target: at most 0.2)")
if "pelvok-idle" in rows:
    idle = median("pelvok-idle", "cpu_s")
    requests = median("pelvok", "requests")
    marginal = (median("pelvok", "cpu_s") - idle) / requests * 1e6
    print(f"fixed     : {idle * 1e3:.1f} ms CPU for a run of the same length with one session "
          f"(start-up, ticks, shutdown); per request beyond it {marginal:.2f} us, ratio {marginal / r:.3f}")
if "pelvok-load" in rows and "radclient-load" in rows:
    for label in sorted(k for k in rows if k.startswith("pelvok-load-")):
        r = rows[label][0]
        print(f"{label:10s}: {r['requests_per_s']:.0f} requests/s, retransmissions {r['retransmissions']:.0f}, "
              f"drops {r['drops']:.0f}, not started {r['notStarted']:.0f}, exit {r['exit']:.0f}, "
              f"{r['cpu_us_per_request']:.2f} us CPU per request")
    load, rc = rows["pelvok-load"][0], rows["radclient-load"][0]
    print(f"sustained : Pelvok {load['requests_per_s']:.0f} requests/s (retransmissions {load['retransmissions']:.0f}, "
          f"drops {load['drops']:.0f}, not started {load['notStarted']:.0f}, exit {load['exit']:.0f}), "
          f"{load['cpu_us_per_request']:.2f} us CPU per request; radclient -p 255 {rc['requests_per_s']:.0f} "
          f"requests/s, {rc['cpu_us_per_request']:.2f} us, lost {rc['lost']:.0f}; "
          f"ratio {load['cpu_us_per_request'] / rc['cpu_us_per_request']:.3f} (target: at most 0.25)")
if "pelvok-idle-paced" in rows and "pelvok-idle-tick" in rows:
    paced, tick = rows["pelvok-idle-paced"][0], rows["pelvok-idle-tick"][0]
    start = rows["pelvok-version"][0]["cpu_s"] if "pelvok-version" in rows else 0.0
    print(f"idle      : one session as long as the load run, {paced['cpu_s'] * 1e3:.1f} ms CPU and "
          f"{paced['wakeups']:.0f} wake-ups paced, {tick['cpu_s'] * 1e3:.1f} ms and {tick['wakeups']:.0f} on the "
          f"100 ms tick, ratio {paced['cpu_s'] / tick['cpu_s']:.3f} (target: at most 0.1); start-up "
          f"(--version) {start * 1e3:.1f} ms; beyond it {(paced['cpu_s'] - start) * 1e3:.1f} ms against "
          f"{(tick['cpu_s'] - start) * 1e3:.1f} ms, "
          f"ratio {(paced['cpu_s'] - start) / max(tick['cpu_s'] - start, 1e-9):.3f}")
if all("idle_cpu_s" in rows.get(f"pelvok-idle-{kind}", [{}])[0] for kind in ("paced", "tick")):
    paced, tick = rows["pelvok-idle-paced"][0], rows["pelvok-idle-tick"][0]
    print(f"idle time : the idle middle of the run alone (5 s after the start to 5 s before the end), paced "
          f"{paced['idle_cpu_s'] * 1e3:.2f} ms CPU and {paced['idle_wakeups']:.0f} wake-ups, on the 100 ms "
          f"tick {tick['idle_cpu_s'] * 1e3:.2f} ms and {tick['idle_wakeups']:.0f}: ratio "
          f"{paced['idle_cpu_s'] / max(tick['idle_cpu_s'], 1e-9):.3f} (target: at most 0.1)")
if "pelvok-trace" in rows:
    t = median("pelvok-trace", "cpu_us_per_request")
    print(f"trace on  : {t:7.2f} us CPU per request, {t / p:.2f} x logging off (target: at most 3)")
EOF
