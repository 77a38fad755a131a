#!/usr/bin/env bash
# The man page renders without a warning and keeps in step with the program: every option of
# `pelvok --help`, every key of the README's options table and every token of its [Logs]
# table has its entry.
#
#   man_page_test.sh PAGE README PELVOK
set -euo pipefail
page="$1" readme="$2" pelvok="$3"
command -v groff >/dev/null || { echo "groff is not installed (scripts/setup.sh): skipped"; exit 77; }
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

warnings="$(groff -man -ww -z "$page" 2>&1)"
[[ -z $warnings ]] || fail "groff warns about $page: $warnings"

# The command line: "--name" in the help text is "\-\-name" in roff.
for option in $("$pelvok" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -qF -- "${option//-/\\-}" "$page" || fail "$option (pelvok --help) is not in the man page"
done

# A table of the README under a heading: the first cell of each row, header and rule left out.
table_column() {
  awk -v heading="$1" '
    index($0, heading) == 1 { inside = 1; next }
    inside && /^#/ { exit }
    inside && /^\| / { split($0, cell, "|"); gsub(/^ +| +$|`/, "", cell[2]); print cell[2] }
  ' "$readme" | tail -n +2
}

keys="$(table_column "## The options file")"
[[ -n $keys ]] || fail "no options table found in $readme"
for key in $keys; do
  grep -qx "\.B $key" "$page" || fail "option key $key (README) has no entry in the man page"
done

tokens="$(table_column "### Logging")"
[[ -n $tokens ]] || fail "no [Logs] table found in $readme"
while read -r token; do
  name="${token%%[=,]*}"
  grep -q "^\.BI\? *${name}" "$page" || fail "[Logs] token $name (README) has no entry in the man page"
done <<<"$tokens"

exit "$failed"
