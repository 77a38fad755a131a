#!/usr/bin/env bash
# The bash completion: options after "-", files after the options that take one (also in the
# "--config=FILE" form), nothing to offer for a number of seconds.
#
#   completion_test.sh COMPLETION_FILE
set -euo pipefail
# shellcheck source=/dev/null
source "$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvok-completion-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
touch lab.ini demo.sim
failed=0

# What completing the last word of the command line offers, one per line.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _pelvok 2>/dev/null
  ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}"
}

expect() {
  local wanted="$1"
  shift
  local got
  got="$(offers "$@")"
  [[ $got == "$wanted" ]] || { echo "FAIL: '$*' offers '${got//$'\n'/ }', not '${wanted//$'\n'/ }'" >&2; failed=1; }
}

expect $'--run\n--report\n--rate\n--ramp' pelvok --r
expect "--session-time" pelvok --run --load users.txt --session-
expect "" pelvok --run --load users.txt --rate ""
expect "--max-wait" pelvok --run demo.sim --m
expect "--probe" pelvok --p
expect "lab.ini" pelvok --config la
expect "lab.ini" pelvok --config=la
expect "demo.sim" pelvok --run de
expect "" pelvok --run demo.sim --max-wait ""
expect $'--sessions\n--session-time\n--strict\n--save-session-id\n--server\n--secret' pelvok --run demo.sim --s
expect "lab.ini" pelvok --run demo.sim --dictionary=la
expect "" pelvok --run demo.sim --server ""
expect "" pelvok --run demo.sim --secret ""
if [[ "$(complete -p pelvok)" != "complete -F _pelvok pelvok" ]]; then
  echo "FAIL: not registered for pelvok" >&2
  failed=1
fi
exit "$failed"
