#!/usr/bin/env bash
# Runs FreeRADIUS on the loopback address with Pelvok's configuration (examples/freeradius).
#
#   scripts/freeradius.sh start DIR PORT [--require-message-authenticator] [--secret SECRET]
#                                        [--listen ADDRESS] [--client ADDRESS] [--tls CERTDIR]
#                                        [--high-rate]
#   scripts/freeradius.sh stop DIR
#
# start: makes a fresh configuration in DIR (a copy of /etc/freeradius/3.0 with our files
# laid over it), starts the server in the foreground in the background, with authentication
# on 127.0.0.1:PORT and accounting on PORT+1 (Disconnect-Requests it originates go to the NAS
# on 127.0.0.1:PORT+40), and returns once it is ready (or fails within 10 seconds). --listen:
# the loopback address it listens on instead (::1 for IPv6); --client: the one client address
# it answers instead of 127.0.0.1 (127.0.0.2, ::1); --tls: RADIUS over TLS on TCP port PORT
# too, with CERTDIR's ca.pem, server.pem and server.key (examples/freeradius/sites-available/
# pelvok-tls). --high-rate: a server for loads of thousands of requests a second (scripts/bench.sh,
# the load test): 4 MiB socket receive buffers on both listeners, no authentication log lines and
# no detail files (accounting answers ok), and the load users accepted: any user "bench"
# followed by digits, password benchpw. The server's log is DIR/log/radius.log.
# The server keeps the rights of whoever starts it (it does not switch to the user freerad
# when started by root), so DIR may lie in any folder that user can enter, a private home
# folder included; it listens on loopback only.
# stop: sends SIGTERM to the server started in DIR and waits (bounded) for it to end.
#
# Exit status: 0 done, 1 failure, 77 FreeRADIUS is not installed (ctest's skip code).
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
overlay="$here/examples/freeradius"
system_config=/etc/freeradius/3.0
server=/usr/sbin/freeradius
skip=77

usage() {
  echo "usage: $0 start DIR PORT [--require-message-authenticator] [--secret SECRET]" >&2
  echo "                       [--listen ADDRESS] [--client ADDRESS] [--tls CERTDIR] [--high-rate]" >&2
  echo "       $0 stop DIR" >&2
  exit 1
}

server_pid() {
  local file="$1/freeradius.pid"
  [[ -s $file ]] || return 1
  local pid
  pid="$(cat "$file")"
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  kill -0 "$pid" 2>/dev/null || return 1
  echo "$pid"
}

stop() {
  local dir="$1" pid
  if ! pid="$(server_pid "$dir")"; then
    echo "freeradius: not running in $dir"
    return 0
  fi
  kill -TERM "$pid"
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$dir/freeradius.pid"; echo "freeradius: stopped"; return 0; }
    sleep 0.1
  done
  echo "freeradius: $pid did not end within 5 s, killing it" >&2
  kill -KILL "$pid" 2>/dev/null || true
  rm -f "$dir/freeradius.pid"
}

make_config() {
  local dir="$1" port="$2" secret="$3" require_ma="$4" tls_dir="$5"
  rm -rf "$dir"
  mkdir -p "$dir"
  cp -a "$system_config/." "$dir/"
  # Only our virtual server and the modules it uses.
  rm -f "$dir"/sites-enabled/* "$dir"/mods-enabled/*
  cp "$overlay/radiusd.conf" "$overlay/clients.conf" "$dir/"
  cp "$overlay/sites-available/pelvok" "$dir/sites-available/pelvok"
  ln -s ../sites-available/pelvok "$dir/sites-enabled/pelvok"
  if [[ -n $tls_dir ]]; then
    cp "$overlay/sites-available/pelvok-tls" "$dir/sites-available/pelvok-tls"
    ln -s ../sites-available/pelvok-tls "$dir/sites-enabled/pelvok-tls"
  fi
  rm -f "$dir/mods-config/files/authorize"
  cp "$overlay/mods-config/files/authorize" "$dir/mods-config/files/authorize"
  for module in always detail detail.log expr files pap; do
    ln -s "../mods-available/$module" "$dir/mods-enabled/$module"
  done
  mkdir -p "$dir/log" "$dir/run"
  # Requests that arrive together (sessions starting at once, or waiting for a TLS connection)
  # make the detail modules' threads race to create the client's folder: the loser fails its
  # request ("File exists"), an Access-Request with a Reject. The folder is made beforehand.
  mkdir -p "$dir/log/radacct/$CLIENT_ADDRESS"

  local file
  for file in radiusd.conf clients.conf sites-available/pelvok ${tls_dir:+sites-available/pelvok-tls}; do
    perl -0pi -e '
      s/\@RADDB\@/$ENV{RADDB}/g; s/\@AUTH_PORT\@/$ENV{AUTH_PORT}/g; s/\@ACCT_PORT\@/$ENV{ACCT_PORT}/g;
      s/\@SECRET\@/$ENV{SECRET}/g; s/\@COA_PORT\@/$ENV{COA_PORT}/g;
      s/\@REQUIRE_MESSAGE_AUTHENTICATOR\@/$ENV{REQUIRE_MA}/g;
      s/\@LISTEN_ADDRESS\@/$ENV{LISTEN_ADDRESS}/g; s/\@CLIENT_ADDRESS\@/$ENV{CLIENT_ADDRESS}/g;
      s/\@TLS_DIR\@/$ENV{TLS_DIR}/g;' "$dir/$file"
  done
}

# The configuration made for high rates (see --high-rate above), laid over make_config's.
make_high_rate() {
  local dir="$1" site="$1/sites-available/pelvok" users="$1/mods-config/files/authorize"
  # Receive buffers of 4 MiB on both listeners (the kernel's limit is net.core.rmem_max), so a
  # burst the threads have not yet taken is not dropped.
  perl -0pi -e 's/(\n\t\tport = \d+\n)/$1\t\trecv_buff = 4194304\n/g' "$site"
  grep -c 'recv_buff' "$site" | grep -qx 2 || {
    echo "freeradius: could not add recv_buff to the listen sections" >&2; return 1; }
  # One log line per authentication, and the detail files of every request, are the server's
  # work, not the clients'.
  perl -0pi -e 's/\tauth = yes/\tauth = no/' "$dir/radiusd.conf"
  perl -0pi -e 's/\n\t\t(auth_log|detail)\n/\n/g' "$site"
  # The load users, before everyone else.
  {
    printf '# The load users (--high-rate): bench followed by digits, password benchpw.\n'
    printf 'DEFAULT\tUser-Name =~ "^bench[0-9]+$", Cleartext-Password := "benchpw"\n'
    printf '\tService-Type = Framed-User,\n\tFramed-Protocol = PPP,\n'
    printf '\tFramed-IP-Address = 10.0.0.5,\n\tClass = "pelvok-gold"\n\n'
    cat "$users"
  } >"$users.high-rate"
  mv "$users.high-rate" "$users"
}

start() {
  local dir="$1" port="$2"; shift 2
  local secret=MeadowLantern require_ma=no listen=127.0.0.1 client=127.0.0.1 tls_dir="" high_rate=0
  while (($#)); do
    case "$1" in
      --require-message-authenticator) require_ma=yes ;;
      --listen) [[ $# -ge 2 ]] || usage; listen="$2"; shift ;;
      --client) [[ $# -ge 2 ]] || usage; client="$2"; shift ;;
      --secret) [[ $# -ge 2 ]] || usage; secret="$2"; shift ;;
      --tls) [[ $# -ge 2 ]] || usage; tls_dir="$(cd "$2" && pwd)"; shift ;;
      --high-rate) high_rate=1 ;;
      *) usage ;;
    esac
    shift
  done
  if [[ ! -x $server ]]; then
    echo "freeradius: not installed ($server); install freeradius (scripts/setup.sh)" >&2
    exit $skip
  fi
  if [[ ! -r $system_config/radiusd.conf ]]; then
    echo "freeradius: cannot read $system_config; run as root or as a member of the group freerad" >&2
    exit 1
  fi
  # PORT + 40 is the NAS's CoA port, where the server sends olga's Disconnect-Request.
  [[ $port =~ ^[0-9]+$ ]] && ((port > 0 && port <= 65495)) || { echo "freeradius: bad port $port" >&2; exit 1; }
  [[ $secret =~ ^[A-Za-z0-9._-]+$ ]] || { echo "freeradius: the secret may hold letters, digits, '.', '_' and '-' only" >&2; exit 1; }
  local address
  for address in "$listen" "$client"; do
    [[ $address =~ ^[0-9a-fA-F.:]+$ ]] || { echo "freeradius: bad address $address" >&2; exit 1; }
  done

  mkdir -p "$dir"
  dir="$(cd "$dir" && pwd)"
  stop "$dir" >/dev/null
  RADDB="$dir" AUTH_PORT="$port" ACCT_PORT="$((port + 1))" COA_PORT="$((port + 40))" SECRET="$secret" \
    REQUIRE_MA="$require_ma" LISTEN_ADDRESS="$listen" CLIENT_ADDRESS="$client" TLS_DIR="$tls_dir" \
    make_config "$dir" "$port" "$secret" "$require_ma" "$tls_dir"
  ((high_rate == 0)) || make_high_rate "$dir" || exit 1

  # -f: stay in the foreground (we keep its process id); output goes to the log file.
  setsid "$server" -f -d "$dir" -l "$dir/log/radius.log" </dev/null >"$dir/log/stdout.log" 2>&1 &
  local pid=$!
  echo "$pid" >"$dir/freeradius.pid"

  for _ in $(seq 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "freeradius: the server ended at start-up; its log:" >&2
      tail -n 30 "$dir/log/radius.log" "$dir/log/stdout.log" >&2 2>/dev/null || true
      rm -f "$dir/freeradius.pid"
      exit 1
    fi
    if grep -q "Ready to process requests" "$dir/log/radius.log" 2>/dev/null; then
      local shown="$listen"
      [[ $listen == *:* ]] && shown="[$listen]"
      echo "freeradius: ready on $shown:$port (auth) and :$((port + 1)) (acct), pid $pid, config $dir"
      return 0
    fi
    sleep 0.1
  done
  echo "freeradius: not ready within 10 s; its log:" >&2
  tail -n 30 "$dir/log/radius.log" >&2 2>/dev/null || true
  stop "$dir" >&2
  exit 1
}

(($# >= 2)) || usage
case "$1" in
  start) (($# >= 3)) || usage; start "$2" "$3" "${@:4}" ;;
  stop) stop "$2" ;;
  *) usage ;;
esac
