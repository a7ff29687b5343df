#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address + undefined sanitizers, the whole build instrumented) and
# runs each for a bounded time from its seed corpus. Every crash, leak, timeout or out-of-memory input is
# copied to fuzz/regressions/<target>/, where tests/fuzzregress replays it in every ordinary build.
#
#   FUZZ_SECONDS=30 scripts/fuzz.sh [target ...]     (targets: project body_section texlight_section
#                                                      texture_bitmap scene obj; default all)
# Environment: FUZZ_SECONDS (per target, default 30), FUZZ_BUILD (default build-fuzz), FUZZ_JOBS (build
# jobs, default 2). Exit status 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-30}
build=${FUZZ_BUILD:-build-fuzz}
jobs=${FUZZ_JOBS:-2}
all=(project body_section texlight_section texture_bitmap scene obj)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEX_BUILD_FUZZ=ON \
  -DVEX_BUILD_TESTS=OFF -DVEX_BUILD_BENCH=OFF -DVEX_SANITIZE=ON \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" -j "$jobs" --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
found=0
for t in "${targets[@]}"; do
  exe="$build/fuzz/fuzz_$t"
  [ -x "$exe" ] || { echo "fuzz: no target $t" >&2; exit 2; }
  # New inputs go to a scratch corpus so the committed seeds stay as generated.
  mkdir -p "$work/$t/corpus" "$work/$t/artifacts"
  started=$(date +%s%N)
  set +e
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1 \
    -artifact_prefix="$work/$t/artifacts/" "$work/$t/corpus" "fuzz/corpus/$t" > "$work/$t/log" 2>&1
  status=$?
  set -e
  elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$t/log" | grep -o '[0-9]*$' || echo "?")
  crashes=$(find "$work/$t/artifacts" -type f | wc -l)
  printf 'fuzz %-17s %4d.%01d s  %8s inputs  exit %d  %d finding(s)\n' "$t" $((elapsed_ms / 1000)) \
    $((elapsed_ms % 1000 / 100)) "$runs" "$status" "$crashes"
  if [ "$crashes" -gt 0 ] || [ "$status" -ne 0 ]; then
    found=1
    mkdir -p "fuzz/regressions/$t"
    for f in "$work/$t/artifacts"/*; do
      [ -f "$f" ] || continue
      name="fuzz/regressions/$t/$(basename "$f")"
      cp "$f" "$name"
      echo "  saved $name"
    done
    grep -E 'ERROR|SUMMARY|fuzz:|runtime error|deadly signal' "$work/$t/log" | head -5 | sed 's/^/  /'
  fi
done
exit $found
