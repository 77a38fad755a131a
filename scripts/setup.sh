#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs. Quiet and quick when all are there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config   # the build
  clang libclang-rt-14-dev                       # sanitizer test build and libFuzzer
  libssl-dev openssl                             # MD5, HMAC-MD5, random bytes; RADIUS over TLS; test certificates
  libgtest-dev libgmock-dev libbenchmark-dev     # unit tests and benchmarks
  libsystemd-dev                                 # sd_notify in service mode
  qt6-base-dev                                   # the interactive program
  nlohmann-json3-dev                             # the JSON run report
  freeradius freeradius-utils                    # a real RADIUS server for the integration tests and the demo
  python3 python3-pyrad                          # an independent RADIUS decoder for the packet checks
  xvfb xauth                                     # screenshots of the interactive program
  libxcb1-dev                                    # asks the X display whether it answers before Qt starts on it
  dpkg-dev                                       # dpkg-shlibdeps: the Depends of the .deb (cpack)
  groff-base                                     # checks that the man page renders without warnings
  systemd                                        # systemd-analyze checks the installed service unit
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
