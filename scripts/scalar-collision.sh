#!/usr/bin/env bash
# The collision tests on the SIMD layer's scalar backend (-DVEX_SIMD=OFF), in build-scalar/, and the
# mesh colliders' contacts compared with the SIMD build's (the two must agree bit for bit). Only the
# collision targets are built, so with ccache this takes a minute or two.
#
# Usage: scripts/scalar-collision.sh [SIMD build dir, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
simd_build=${1:-build}
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build-scalar -DCMAKE_BUILD_TYPE=Release -DVEX_SIMD=OFF >/dev/null
cmake --build build-scalar -j "$jobs" --target BodyCollisionTest MeshSceneTest ChannelCollidersTest \
  CollisionObjectTest MeshColliderBench
# Every GoogleTest executable not built here registers as <name>_NOT_BUILT: leaving those (and the
# package tests, plain scripts over a full build) out runs just the collision tests.
(cd build-scalar && ctest --output-on-failure -j "$jobs" -E '_NOT_BUILT|^Package\.|^Viewer\.')
bench/collision/compare-backends.sh "$simd_build" build-scalar
