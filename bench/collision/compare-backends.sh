#!/usr/bin/env bash
# The mesh colliders' contacts from two builds, compared byte for byte: the SIMD layer's two backends
# (and any two builds that must agree) give the same contacts. A few thousand poses of every scene at a
# deep and a shallow penetration; about ten seconds.
#
# Usage: bench/collision/compare-backends.sh <build dir A> <build dir B> [queries, default 5000]
set -euo pipefail
a=${1:?usage: compare-backends.sh <build dir A> <build dir B> [queries]}
b=${2:?usage: compare-backends.sh <build dir A> <build dir B> [queries]}
queries=${3:-5000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for depth in 0.2 0.004; do
  "$a/bin/MeshColliderBench" "$queries" 1 "$depth" "" "$work/a-$depth.bin" >/dev/null
  "$b/bin/MeshColliderBench" "$queries" 1 "$depth" "" "$work/b-$depth.bin" >/dev/null
  if cmp "$work/a-$depth.bin" "$work/b-$depth.bin"; then
    echo "contacts at depth $depth: $a and $b agree"
  else
    echo "contacts at depth $depth: $a and $b differ" >&2
    status=1
  fi
done
exit $status
