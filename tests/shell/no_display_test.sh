#!/usr/bin/env bash
# The interactive program where no window can open: no display named at all, or an X display
# that does not answer (where Qt itself would abort the process). Either way it says so,
# points to the ways that need no window, and ends with status 1.
#
#   no_display_test.sh PELVOK
set -euo pipefail
pelvok="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvok-no-display-XXXXXX")"
trap 'rm -rf "$work"' EXIT
printf '[Options]\nRadHost=127.0.0.1\n' >"$work/pelvok.ini"
failed=0

# A display number no X server of this machine serves.
silent=7919
while [[ -e /tmp/.X11-unix/X$silent ]]; do silent=$((silent + 1)); done

check() {
  local what="$1" reason="$2"
  shift 2
  local status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" "$pelvok" --config "$work/pelvok.ini" \
    >"$work/out" 2>&1 || status=$?
  local problem=""
  ((status == 1)) || problem="exit status $status, expected 1"
  grep -qF "pelvok: no display: $reason" "$work/out" || problem+=" no \"$reason\""
  grep -qF 'pelvok --run SIMFILE' "$work/out" || problem+=" no pointer to --run"
  grep -qF "Service=1 and SimFile in the options file ($work/pelvok.ini)" "$work/out" ||
    problem+=" no pointer to service mode"
  if [[ -n $problem ]]; then
    echo "FAIL ($what):$problem" >&2
    cat "$work/out" >&2
    failed=1
  fi
}

check "nothing set" "neither DISPLAY nor WAYLAND_DISPLAY is set"
check "a silent X display" "the X display :$silent does not answer" DISPLAY=":$silent"
exit "$failed"
