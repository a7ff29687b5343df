#!/usr/bin/env bash
# Runs the runner's demo under valgrind memcheck: fails on any invalid read or write, use of an
# uninitialised value, invalid free, or definite leak.
#
#   scripts/valgrind-demo.sh            (VALGRIND_BUILD=build, VALGRIND_FRAMES=60, VALGRIND_MAP=32)
# The demo is shortened (frames, light-map size, one sample per texel) so that it runs in a few minutes
# under valgrind; everything it does (simulate, bake, save, load back) still runs.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VALGRIND_BUILD:-build}
frames=${VALGRIND_FRAMES:-60}
map=${VALGRIND_MAP:-32}

command -v valgrind >/dev/null || { echo "valgrind-demo: valgrind is not installed (scripts/setup.sh)" >&2; exit 2; }
if [ ! -x "$build/bin/vexhost" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j 2 --target vexhost >/dev/null
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
started=$(date +%s)
set +e
valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --track-origins=yes --num-callers=30 --log-file="$out/valgrind.log" \
  "$build/bin/vexhost" demo --out "$out/demo" --frames "$frames" --map-size "$map" --samples 1 > "$out/demo.log" 2>&1
status=$?
set -e
elapsed=$(( $(date +%s) - started ))

errors=$(grep -o 'ERROR SUMMARY: [0-9]*' "$out/valgrind.log" | tail -1 | grep -o '[0-9]*$' || echo "?")
definite=$(grep -o 'definitely lost: [0-9,]* bytes' "$out/valgrind.log" | tail -1 || echo "definitely lost: 0 bytes")
echo "valgrind-demo: exit $status, $errors error(s), $definite, ${elapsed} s ($frames frames, ${map}x${map} light map)"
if [ "$status" -ne 0 ]; then
  [ "$status" -ne 99 ] && { echo "--- demo output"; tail -20 "$out/demo.log"; }
  echo "--- valgrind report"
  grep -E -A12 'Invalid|uninitialised|definitely lost in|Mismatched|Invalid free|Process terminating' "$out/valgrind.log" | head -80
  kept=${TMPDIR:-/tmp}/valgrind-demo-$$.log
  cp "$out/valgrind.log" "$kept"
  echo "full report: $kept"
  exit 1
fi
