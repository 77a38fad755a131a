#!/usr/bin/env bash
# Writes a load simulation file: COUNT sessions (users user0001...) whose start offsets are
# spread evenly over SPREAD seconds, each lasting 5 to 9 seconds.
#   scripts/make-load-sim.sh [COUNT] [SPREAD] > examples/load-1000.sim
# The password of every user is "loadpw"; the RADIUS server must know these users.
set -euo pipefail
count=${1:-1000}
spread=${2:-60}
awk -v count="$count" -v spread="$spread" 'BEGIN {
  for (i = 1; i <= count; i++) {
    offset = int((i - 1) * spread / count)
    printf "0:%02d:%02d:%02d,user%04d,loadpw,00:%02d,Auth:NAS-IP-Address=127.0.0.1,NAS-Port-Type=Virtual;Acct:Acct-Delay-Time=0\n",
           int(offset / 3600), int(offset / 60) % 60, offset % 60, i, 5 + i % 5
  }
}'
