#!/usr/bin/env bash
# The optimised build that users run: build/release/pelvok.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELVOK_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
