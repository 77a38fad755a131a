#!/usr/bin/env bash
# The Debian package as a user gets it, unpacked into a folder of its own (never onto this
# machine): its files and Depends, the program run from where the package puts it, the
# service's first options, installation and removal by dpkg in a root of its own, and the
# systemd unit.
#
#   package_test.sh RESPONDER PORT CASE
#   CASE: contents | run | service | dpkg-root | unit
# The package is the one PELVOK_PACKAGE names (scripts/test.sh builds it with cpack from the
# release build); without it the test is skipped. RESPONDER is the scripted test responder,
# started on PORT (and PORT + 1) for the runs.
set -euo pipefail

responder="$1"
port="$2"
case_name="$3"
package="${PELVOK_PACKAGE:-}"
if [[ -z $package ]]; then
  echo "PELVOK_PACKAGE names no package (scripts/test.sh builds one): skipped"
  exit 77
fi
[[ -f $package ]] || { echo "FAIL: no package at $package" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/pelvok-package-XXXXXX")"
root="$work/root"
responder_pid=""
cleanup() {
  [[ -n $responder_pid ]] && kill "$responder_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for file in "$work"/*.out "$work"/state/*.out; do
    [[ -f $file ]] && { echo "--- $file" >&2; tail -30 "$file" >&2; }
  done
  exit 1
}

unpack() { dpkg-deb -x "$package" "$root"; }

# The responder for demo.sim: alice is accepted, bob rejected.
start_responder() {
  cat >"$work/responder.ini" <<INI
[user alice]
answer = accept
password = alicepw
Service-Type = 2
Framed-Protocol = 1
Framed-IP-Address = 10.0.0.5
[user bob]
answer = reject
Reply-Message = Bob is not welcome here
INI
  "$responder" --script "$work/responder.ini" --port "$port" --max-seconds 90 >"$work/responder.out" 2>&1 &
  responder_pid=$!
  for _ in $(seq 100); do
    grep -q "^port " "$work/responder.out" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the responder did not start on port $port"
}

# Every clause of a Depends field is met by a package installed here (this machine is the
# Debian release the package is built for).
check_depends() {
  local clause alternative name relation version installed met
  IFS=',' read -ra clauses <<<"$1"
  for clause in "${clauses[@]}"; do
    met=0
    IFS='|' read -ra alternatives <<<"$clause"
    for alternative in "${alternatives[@]}"; do
      read -r name relation version <<<"${alternative//[()]/ }"
      installed="$(dpkg-query -W -f='${Version}\n' "$name" 2>/dev/null | head -1)" || continue
      [[ -n $installed ]] || continue
      if [[ -z $relation ]] || dpkg --compare-versions "$installed" "$relation" "$version"; then met=1; fi
    done
    ((met)) || fail "Depends \"${clause# }\" is not met on this machine"
  done
}

case $case_name in
contents)
  expected="./usr/bin/pelvok
./usr/lib/systemd/system/pelvok.service
./usr/share/bash-completion/completions/pelvok
./usr/share/man/man1/pelvok.1.gz
./usr/share/pelvok/default.dic
./usr/share/pelvok/examples/demo.sim
./usr/share/pelvok/examples/load-1000.sim
./usr/share/pelvok/examples/pelvok.ini
./usr/share/pelvok/examples/service.ini"
  listing="$(dpkg-deb -c "$package")"
  files="$(awk '$1 !~ /^d/ { print $6 }' <<<"$listing" | sort)"
  [[ $files == "$expected" ]] || fail "the package holds other files than expected:"$'\n'"$files"
  modes="$(awk '$1 !~ /^d/ { print $1, $2 }' <<<"$listing" | sort | uniq -c | awk '{ print $1, $2, $3 }')"
  [[ $modes == $'8 -rw-r--r-- root/root\n1 -rwxr-xr-x root/root' ]] || fail "file modes or owners: $modes"

  depends="$(dpkg-deb -f "$package" Depends)"
  for library in libqt6widgets6 libssl3 libsystemd0; do
    grep -q "\b$library\b" <<<"$depends" || fail "$library is not in Depends: $depends"
  done
  check_depends "$depends"
  [[ "$(dpkg-deb -f "$package" Package Version Section)" == $'Package: pelvok\nVersion: 1.4\nSection: net' ]] ||
    fail "control fields: $(dpkg-deb -f "$package" Package Version Section)"

  unpack
  page="$root/usr/share/man/man1/pelvok.1.gz"  # its text: dist.man_page
  if command -v man >/dev/null; then
    [[ "$(MANPATH="$root/usr/share/man" man -w pelvok)" == "$page" ]] || fail "man finds no pelvok(1)"
  fi
  ;;

run)
  # From a folder of its own with nothing of the repository: the program, the dictionary and
  # the simulation file are the package's.
  unpack
  [[ "$("$root/usr/bin/pelvok" --version)" == "pelvok 1.4" ]] || fail "--version"
  start_responder
  mkdir "$work/state"
  cd "$work/state"
  cat >lab.ini <<INI
[Options]
RadHost=127.0.0.1
QuorlanPort=$port
DictDir=$root/usr/share/pelvok/
NumPorts=16
AuthTimeout=2
AcctTimeout=2
INI
  cp lab.ini lab.ini.before
  status=0
  "$root/usr/bin/pelvok" --run "$root/usr/share/pelvok/examples/demo.sim" --config lab.ini \
    --report report.json >run.out 2>&1 || status=$?
  ((status == 0)) || fail "--run of demo.sim ended with $status"
  [[ "$(grep -c '^alice: Account STOP Reply$' run.out)" == 3 ]] || fail "three sessions of alice should end"
  grep -qx "bob: Auth Reject, Message=Bob is not welcome here" run.out || fail "bob should be rejected"
  grep -q '"exitStatus": 0' report.json || fail "the report says otherwise"
  cmp -s lab.ini lab.ini.before || fail "a run rewrote its options file"

  # Without any options file, from a folder of nothing: the command line names the server, and
  # the dictionary is found in the installed data folder.
  mkdir "$work/bare" "$work/home"
  cd "$work/bare"
  status=0
  HOME="$work/home" XDG_CONFIG_HOME="" "$root/usr/bin/pelvok" --run "$root/usr/share/pelvok/examples/demo.sim" \
    --server "127.0.0.1:$port" --secret MeadowLantern >bare.out 2>&1 || status=$?
  ((status == 0)) || fail "--run without an options file ended with $status: $(cat bare.out)"
  grep -q "the defaults are used" bare.out || fail "a run on the defaults should say so"
  [[ -z "$(ls -A "$work/home")" ]] || fail "a run on the defaults made files in the home folder"
  ;;

service)
  # The options the unit's first start copies, as the unit runs them: service mode in the
  # state folder, with the logs beside the options. Paths lead into the unpacked package, the
  # server to the responder.
  unpack
  start_responder
  mkdir "$work/state"
  cd "$work/state"
  sed -e "s|/usr/share/pelvok|$root/usr/share/pelvok|g" -e "s|^QuorlanPort=.*|QuorlanPort=$port|" \
    -e "s|^MessageAuthenticator=.*|MessageAuthenticator=0|" \
    "$root/usr/share/pelvok/examples/service.ini" >pelvok.ini
  grep -qx "Service=1" pelvok.ini || fail "service.ini does not ask for service mode"
  status=0
  "$root/usr/bin/pelvok" --config "$work/state/pelvok.ini" >service.out 2>&1 || status=$?
  ((status == 0)) || fail "service mode ended with $status"
  grep -q "^alice: Auth Accept" service.out || fail "no result lines on standard output (the journal)"
  grep -q "Code=1" packets.log || fail "no packet trace in the state folder"
  grep -q "^SessionId=" pelvok.ini || fail "SessionId was not saved"
  ;;

dpkg-root)
  # dpkg with a database of its own under a root of its own: this machine's dpkg database and
  # log are not touched. The libraries the package depends on are this machine's, not the
  # root's, hence --force-depends.
  [[ $(id -u) -eq 0 ]] || { echo "dpkg --root needs root: skipped"; exit 77; }
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
  touch "$root/var/lib/dpkg/status"
  machine_before="$(md5sum /var/lib/dpkg/status)"
  dpkg_root=(dpkg --root="$root" --log="$work/dpkg.log")
  "${dpkg_root[@]}" --force-depends -i "$package" >"$work/install.out" 2>&1 || fail "dpkg -i failed"
  [[ "$("${dpkg_root[@]}" -s pelvok | grep '^Status:')" == "Status: install ok installed" ]] || fail "not installed"
  [[ "$("$root/usr/bin/pelvok" --version)" == "pelvok 1.4" ]] || fail "the installed program does not run"
  "${dpkg_root[@]}" --purge pelvok >"$work/remove.out" 2>&1 || fail "dpkg --purge failed"
  [[ ! -e $root/usr ]] || fail "left after removal: $(find "$root/usr" | head)"
  [[ "$(md5sum /var/lib/dpkg/status)" == "$machine_before" ]] || fail "this machine's dpkg database changed"
  ;;

unit)
  command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed: skipped"; exit 77; }
  unpack
  unit="$root/usr/lib/systemd/system/pelvok.service"
  grep -qx "ExecStart=/usr/bin/pelvok --config /var/lib/pelvok/pelvok.ini" "$unit" || fail "ExecStart"
  for setting in Type=notify DynamicUser=yes StateDirectory=pelvok ProtectSystem=strict \
    NoNewPrivileges=yes "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX" PrivateTmp=yes ProtectHome=yes; do
    grep -qx "$setting" "$unit" || fail "the unit lacks $setting"
  done
  # systemd-analyze looks for the programs a unit runs: a copy runs the unpacked ones.
  mkdir "$work/units"
  sed -e "s|/usr/bin/pelvok|$root/usr/bin/pelvok|" -e "s|/usr/share/pelvok|$root/usr/share/pelvok|g" \
    "$unit" >"$work/units/pelvok.service"
  findings="$(systemd-analyze verify --man=no "$work/units/pelvok.service" 2>&1 | grep pelvok || true)"
  [[ -z $findings ]] || fail "systemd-analyze verify: $findings"
  # Its exposure on systemd's scale of 0 (locked down) to 10: at most 2.
  systemd-analyze security --offline=yes --threshold=20 "$work/units/pelvok.service" >"$work/security.out" 2>&1 ||
    fail "exposure above 2: $(grep 'Overall exposure' "$work/security.out")"
  grep "Overall exposure" "$work/security.out"
  ;;

*)
  fail "unknown case $case_name"
  ;;
esac
echo "package $case_name: passed"
