#!/usr/bin/env bash
# The documentation's pictures: docs/screenshots/{main-window,session-details,challenge,
# options,about}.png, taken from the real program under a virtual X server.
#
# Builds the program if needed, starts FreeRADIUS on 127.0.0.1:18130 (accounting 18131),
# runs the program under Xvfb with its screenshot tour (pelvok-screenshot-tour, tools/screenshot_tour.h):
# it starts sessions for alice (accepted), bob (rejected) and carol (challenged, answered with
# her PIN) through the Session Details and Challenge dialogs, opens Options and About, and
# saves each picture. Everything else goes under build/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"

program="${PELVOK_TOUR_PROGRAM:-$repo/build/release/pelvok-screenshot-tour}"
if [[ -z ${PELVOK_TOUR_PROGRAM:-} ]]; then
  scripts/build.sh
fi
[[ -x $program ]] || { echo "screenshots: no program at $program (it is built with the Qt front end)" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is missing (apt-get install xvfb)" >&2; exit 1; }

work="$repo/build/screenshots"
pictures="$repo/docs/screenshots"
server_dir="$work/freeradius"
port=18130
mkdir -p "$work" "$pictures"

scripts/freeradius.sh start "$server_dir" "$port"
trap 'scripts/freeradius.sh stop "$server_dir" >/dev/null || true' EXIT

cat >"$work/pelvok.ini" <<INI
[Options]
RadHost=127.0.0.1
QuorlanPort=$port
Secret=MeadowLantern
NasName=lab-nas-1
SessionId=1000
DictDir=$repo/data/
DictName=default.dic
LastDir=$repo/examples
NumPorts=16
AuthTimeout=2
AcctTimeout=2
IncomingNotify=1

[Logs]
File1=ON,NAME=$work/pelvok.log
File2=ON,NAME=$work/pelvok.log
File4=ON,ERASE,NAME=$work/packets.log
INI

rm -f "$pictures"/{main-window,session-details,challenge,options,about}.png
echo "screenshots: running the tour (log: $work/pelvok.log)"
status=0
timeout 180 xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24 -dpi 96" \
  "$program" "$pictures" --config "$work/pelvok.ini" || status=$?

missing=0
for name in main-window session-details challenge options about; do
  if [[ -s $pictures/$name.png ]]; then
    echo "screenshots: $pictures/$name.png"
  else
    echo "screenshots: $name.png was not made" >&2
    missing=1
  fi
done
if ((status != 0 || missing)); then
  echo "screenshots: failed (pelvok exit status $status)" >&2
  exit 1
fi
