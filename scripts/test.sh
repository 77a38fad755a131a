#!/usr/bin/env bash
# Set-up, the optimised build and its Debian package, the sanitizer build and every test, in
# one go.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh

# The Debian package of the optimised build; the package tests unpack and install it in
# folders of their own.
rm -rf build/release/package
(cd build/release && cpack -G DEB -B package >/dev/null)
packages=(build/release/package/pelvok_*.deb)
export PELVOK_PACKAGE="$PWD/${packages[0]}"

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DPELVOK_SANITIZE=ON -DPELVOK_FUZZ=ON >/dev/null
cmake --build build/test -j"$(nproc)"

# Halt on the first sanitizer report. Freed memory is overwritten, so that a library the
# sanitizer does not see into (OpenSSL, Qt) reading what we freed gets garbage, not old values.
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:max_free_fill_size=4096
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
export QT_QPA_PLATFORM=offscreen
cd build/test
ctest --output-on-failure -j"$(nproc)" "$@"
