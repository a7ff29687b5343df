#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds an out-of-tree channel library against the installed
# package, and runs a scene that uses it in the installed runner.
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$src/tests/package/example" -B "$work/example" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/example" >/dev/null
lib="$work/example/0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9.so"
[ -f "$lib" ] || { echo "example library not built: $lib"; exit 1; }

cat > "$work/scene.json" <<'JSON'
{
  "frames": 4,
  "channels": [
    {"name": "pulse", "type": "0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9"}
  ]
}
JSON
VEX_PLUGIN_PATH="$work/example" "$work/prefix/bin/vexhost" run "$work/scene.json" --out "$work/out" > "$work/log" 2>&1 || {
  cat "$work/log"; exit 1; }
grep -q "pulse" "$work/log" || { echo "runner output does not mention the pulse channel:"; cat "$work/log"; exit 1; }
# The installed runner carries the viewer page inside itself: no file of the source tree is needed.
[ -s "$work/out/viewer.html" ] || { echo "installed runner wrote no viewer.html:"; cat "$work/log"; exit 1; }
echo "out-of-tree channel library loaded and ran"
