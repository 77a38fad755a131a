#!/usr/bin/env bash
# The long reliability soaks, in the sanitizer build: a fault soak of 2000 sessions, a flood
# of 100000 hostile datagrams, the disk faults, and 20 SIGTERMs to the running service.
# The test command (ctest -L soak) runs short forms of the same.
#
#   scripts/soak.sh [BUILD_DIR]     (default build/soak-run; configured here when missing)
# Environment: SOAK_SESSIONS (2000), FLOOD_DATAGRAMS (100000), SIGTERM_ROUNDS (20).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/soak-run}"

if [[ ! -f $build/build.ninja ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DPELVOK_SANITIZE=ON >/dev/null
fi
cmake --build "$build" --target soak_tests pelvok pelvok-test-responder -j"$(nproc)"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
export PELVOK_SOAK_SESSIONS="${SOAK_SESSIONS:-2000}"
export PELVOK_FLOOD_DATAGRAMS="${FLOOD_DATAGRAMS:-100000}"

echo "== fault soak ($PELVOK_SOAK_SESSIONS sessions), flood ($PELVOK_FLOOD_DATAGRAMS datagrams), disk faults"
"$build/tests/soak/soak_tests"
echo "== service stopped by SIGTERM ${SIGTERM_ROUNDS:-20} times"
tests/soak/service_sigterm_soak.sh "$build/pelvok" "$build/tests/responder/pelvok-test-responder" \
  "${SIGTERM_ROUNDS:-20}"
