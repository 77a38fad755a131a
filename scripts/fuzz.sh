#!/usr/bin/env bash
# Runs every fuzz target for a while, one after the other, from its kept corpus under
# tests/fuzz/NAME/corpus. New inputs that add coverage are merged back into the kept corpus
# (-merge=1, only while it stays small), and any crash input is saved under
# tests/fuzz/NAME/crashes, where ctest replays it from then on.
#
#   scripts/fuzz.sh [SECONDS_EACH] [BUILD_DIR]   (default 60 s each, build/fuzz)
# The build is a sanitizer build with PELVOK_FUZZ=ON (build/test will do).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build="${2:-build/fuzz}"
max_files=200               # a kept corpus stays below these
max_bytes=$((1024 * 1024))
max_len=4096                # the largest input libFuzzer makes (a RADIUS packet's limit)
targets=(dictionary_fuzzer packet_log_fuzzer radius_reply_fuzzer coa_request_fuzzer simulation_fuzzer
         config_store_fuzzer)

if [[ ! -f $build/build.ninja ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DPELVOK_SANITIZE=ON -DPELVOK_FUZZ=ON >/dev/null
fi
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
scratch="$(mktemp -d "${TMPDIR:-/tmp}/pelvok-fuzz-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

size_of() { du -sb "$1" 2>/dev/null | cut -f1; }
count_of() { find "$1" -type f | wc -l; }

failed=()
for target in "${targets[@]}"; do
  fuzzer="$(find "$build" -type f -name "$target" -perm -u+x | head -1)"
  [[ -n $fuzzer ]] || { echo "$target: not built" >&2; failed+=("$target"); continue; }
  kept="tests/fuzz/$target"
  mkdir -p "$kept/corpus" "$scratch/$target/new" "$scratch/$target/artifacts"
  before="$(count_of "$kept/corpus")"

  status=0
  "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=$max_len \
    -artifact_prefix="$scratch/$target/artifacts/" "$scratch/$target/new" "$kept/corpus" \
    >"$scratch/$target/log" 2>&1 || status=$?
  # A crash, leak, time-out or out-of-memory input is kept for ctest to replay.
  for artifact in "$scratch/$target/artifacts"/*; do
    [[ -f $artifact ]] || continue
    mkdir -p "$kept/crashes"
    cp "$artifact" "$kept/crashes/"
    echo "$target: kept $(basename "$artifact") under $kept/crashes" >&2
  done
  if [[ $status -ne 0 ]]; then
    tail -30 "$scratch/$target/log" >&2
    failed+=("$target")
    continue
  fi

  # Merge what adds coverage into a copy, and keep it only while it stays small.
  mkdir -p "$scratch/$target/merged"
  cp "$kept/corpus"/* "$scratch/$target/merged/" 2>/dev/null || true
  "$fuzzer" -merge=1 -max_len=$max_len "$scratch/$target/merged" "$scratch/$target/new" \
    >"$scratch/$target/merge.log" 2>&1
  files="$(count_of "$scratch/$target/merged")"
  bytes="$(size_of "$scratch/$target/merged")"
  if ((files <= max_files && bytes <= max_bytes)); then
    cp -n "$scratch/$target/merged"/* "$kept/corpus/" 2>/dev/null || true
    note="kept corpus $before -> $(count_of "$kept/corpus") files, $(size_of "$kept/corpus") bytes"
  else
    note="merged corpus of $files files, $bytes bytes is too big to keep; kept corpus unchanged"
  fi
  runs="$(grep -o 'Done [0-9]* runs' "$scratch/$target/log" | tail -1 || true)"
  echo "$target: ${runs:-done} in ${seconds} s; $note"
done

if ((${#failed[@]} > 0)); then
  echo "failed: ${failed[*]}" >&2
  exit 1
fi
