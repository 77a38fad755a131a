#!/usr/bin/env bash
# pelvok as a process against FreeRADIUS on its own loopback ports, over the transports:
#   ipv6    the same simulation file runs to exit 0 over IPv6 (RadHost=::1) and is probed
#   source  with SourceAddress=127.0.0.2 a server that knows only that client answers; from
#           the default address the same run goes unanswered
#   probe   --probe: both ports answer (exit 0); a wrong secret, a stopped server (exit 1);
#           no usable server (exit 2); StatusServerInterval tells of a server stopped mid-run
#   tls     Transport=tls: the demo simulation file runs to exit 0 over RADIUS over TLS, with
#           certificates made here (a CA, the server's for localhost and 127.0.0.1, the client's)
#   tls-refused  a server certificate of another CA, or of another name, stops the start with
#           the reason (exit 2)
#   tls-restart  the server restarted mid-run: the connection is made anew and no session is
#           lost
#   tls-resend   (tests/tools/tls_responder.py) a request whose connection closed unanswered is
#           written once more on the next connection, and no retransmission goes on a stream
#   tls-framing  (tests/tools/tls_responder.py) a reply whose Length is above 4096 closes the
#           connection; its request goes again on the next one
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

# make_certificates DIR: a CA (ca.pem), a server certificate for localhost and 127.0.0.1, a
# client certificate, and a second CA (other-ca.pem) that signed neither.
make_certificates() {
  local dir="$1" who
  mkdir -p "$dir"
  (
    cd "$dir" || exit 1
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Pelvok Test CA"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout other-ca.key -out other-ca.pem -days 2 -subj "/CN=Other CA"
    printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >server.ext
    printf 'extendedKeyUsage=clientAuth\n' >client.ext
    for who in server client; do
      openssl req -newkey rsa:2048 -nodes -keyout "$who.key" -out "$who.csr" -subj "/CN=$who"
      openssl x509 -req -in "$who.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile "$who.ext" \
        -out "$who.pem"
    done
  ) >"$work/certificates.log" 2>&1 ||
    { echo "openssl could not make the certificates:"; cat "$work/certificates.log"; exit 1; }
}

# tls_options NAME KEY=VALUE...: options for RADIUS over TLS with the test's certificates.
tls_options() {
  local name="$1"
  shift
  options "$name" "$@" Transport=tls "TlsCa=$certs/ca.pem" "TlsCertificate=$certs/client.pem" \
    "TlsKey=$certs/client.key"
}

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
    file="$(options ipv6 RadHost=::1 AuthTimeout=3 AcctTimeout=3)"
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
    # Time-outs longer than a busy machine's first answer: a retransmission is not what is tested.
    file="$(options from-source RadHost=127.0.0.1 SourceAddress=127.0.0.2 AuthTimeout=3 AcctTimeout=3)"
    out="$(run "$file")"; status=$?
    check "the server that knows only 127.0.0.2 answers it" 0 "$status" "$out" "alice: Account STOP Reply"
    compgen -G "$server_dir/log/radacct/127.0.0.2/*detail-*" >/dev/null ||
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
  tls)
    certs="$work/certs"
    make_certificates "$certs"
    start_server --tls "$certs"
    out="$("$program" --run "$here/examples/demo.sim" --config "$(tls_options tls RadHost=127.0.0.1)" 2>&1)"
    status=$?
    check "the demo runs over TLS" 0 "$status" "$out" "alice: Auth Accept" "alice: Account STOP Reply" \
      "bob: Auth Reject"
    out="$(run "$(tls_options by-name RadHost=localhost)")"; status=$?
    check "the certificate names localhost" 0 "$status" "$out" "alice: Account STOP Reply"
    ;;
  tls-refused)
    certs="$work/certs"
    make_certificates "$certs"
    start_server --tls "$certs"
    out="$(run "$(tls_options other-ca RadHost=127.0.0.1 "TlsCa=$certs/other-ca.pem")")"; status=$?
    check "a certificate of another CA is refused" 2 "$status" "$out" \
      "TLS handshake with 127.0.0.1:$port failed: the server.s certificate is not trusted: " \
      "not trusted: \(self-signed certificate in certificate chain\|unable to get local issuer\)"
    out="$(run "$(tls_options other-name RadHost=127.0.0.1 TlsServerName=radius.example.org)")"; status=$?
    check "a certificate of another name is refused" 2 "$status" "$out" \
      "the server's certificate is not trusted: hostname mismatch"
    out="$(run "$(tls_options no-ca RadHost=127.0.0.1 TlsCa=)")"; status=$?
    check "no CA, no start" 2 "$status" "$out" "Transport tls needs TlsCa"
    ;;
  tls-restart)
    certs="$work/certs"
    make_certificates "$certs"
    start_server --tls "$certs"
    # alice's session spans the restart; vera's starts while the server is down.
    cat >"$work/restart.sim" <<'SIM'
0:00:00:00,alice,alicepw,00:04,Auth:NAS-IP-Address=127.0.0.1
0:00:00:02,vera,verapw,00:01
SIM
    file="$(tls_options restart RadHost=127.0.0.1 AuthTimeout=10 AcctTimeout=10)"
    printf '[Logs]\nFile2=ON,NAME=stdout\n' >>"$file"  # the lost connection is told at level 1
    "$program" --run "$work/restart.sim" --config "$file" --max-wait 30 >"$work/restart.out" 2>&1 &
    running=$!
    sleep 1.5
    "$here/scripts/freeradius.sh" stop "$server_dir" >/dev/null
    sleep 1
    start_server --tls "$certs" >/dev/null
    wait "$running"; status=$?
    check "a restarted server: the connection is made anew, no session lost" 0 "$status" \
      "$(cat "$work/restart.out")" "TLS connection to 127.0.0.1:$port lost" "alice: Account STOP Reply" \
      "vera: Account STOP Reply"
    ;;
  tls-resend | tls-framing)
    certs="$work/certs"
    make_certificates "$certs"
    mode="drop-first"
    [[ $case == tls-framing ]] && mode="bad-length"
    "$here/tests/tools/tls_responder.py" --port "$port" --certs "$certs" --mode "$mode" --log "$work/requests.log" \
      >"$work/responder.out" 2>&1 &
    responder=$!
    trap 'kill "$responder" 2>/dev/null; rm -rf "$work"' EXIT
    for _ in $(seq 50); do grep -q ready "$work/responder.out" 2>/dev/null && break; sleep 0.1; done
    echo "0:00:00:00,alice,alicepw,00:01" >"$work/one.sim"
    file="$(tls_options "$mode" RadHost=127.0.0.1)"
    printf '[Logs]\nFile2=ON,NAME=stdout\n' >>"$file"
    out="$("$program" --run "$work/one.sim" --config "$file" --max-wait 20 2>&1)"; status=$?
    kill "$responder" 2>/dev/null
    if [[ $case == tls-resend ]]; then
      check "the unanswered request goes once more on the new connection" 0 "$status" "$out" \
        "TLS connection to 127.0.0.1:$port lost" "TLS connection to 127.0.0.1:$port up again" \
        "alice: Account STOP Reply"
    else
      check "a Length above 4096 closes the connection" 0 "$status" "$out" \
        "lost: a packet's Length is below 20 or above 4096" "alice: Account STOP Reply"
    fi
    # The Access-Request: once on each connection, the same request both times; nothing else twice.
    access="$(awk '$2 == 1' "$work/requests.log")"
    if [[ $(wc -l <<<"$access") != 2 || $(awk '{print $3, $4}' <<<"$access" | sort -u | wc -l) != 1 ||
          $(awk '{print $1}' <<<"$access" | tr '\n' ' ') != "1 2 " ]]; then
      echo "FAILED: the Access-Request was not written once on each connection:"
      cat "$work/requests.log"
      failures=$((failures + 1))
    fi
    [[ $(wc -l <"$work/requests.log") == 4 ]] ||
      { echo "FAILED: more requests than Access, Start and Stop:"; cat "$work/requests.log"
        failures=$((failures + 1)); }
    ;;
  *) echo "unknown case $case"; exit 2 ;;
esac
((failures == 0))
