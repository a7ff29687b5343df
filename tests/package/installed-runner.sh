#!/usr/bin/env bash
# installed-runner.sh <build> <runner> [vexhost options...]: runs the demo with the runner of an installed
# tree (a cmake --install prefix or an unpacked package) from an unrelated working folder, without
# VEX_PLUGIN_PATH, and fails when the run loads any file from the build tree.
set -euo pipefail
build=$(cd "$1" && pwd)
runner=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/elsewhere"
# The dynamic loader's list of the files it opens, linked and loaded by GUID alike.
(cd "$work/elsewhere" && env -u VEX_PLUGIN_PATH LD_DEBUG=files LD_DEBUG_OUTPUT="$work/loader" \
  "$runner" demo --out "$work/demo" "$@") > "$work/log" 2>&1 || { cat "$work/log"; echo "the installed demo failed"; exit 1; }
grep -q "final matrices identical" "$work/log" || { cat "$work/log"; echo "the demo did not reload its project"; exit 1; }
# The installed runner carries the viewer page inside itself: no file of the source tree is needed.
for file in lightmap.png preview.png scene.vxp trajectory.csv viewer.html; do
  [ -s "$work/demo/$file" ] || { echo "the demo wrote no $file"; exit 1; }
done
if grep -h "file=$build/" "$work"/loader.* | head -n 3 | grep .; then
  echo "the installed runner loaded the files above from the build tree $build"; exit 1
fi
channels=$(cd "$(dirname "$runner")/../lib/vex" && pwd)
grep -qh "file=$channels/.*dynamically loaded" "$work"/loader.* ||
  { echo "no channel library was loaded by GUID from $channels"; exit 1; }
[ -z "$(ls -A "$work/elsewhere")" ] || { echo "the demo wrote into its working folder: $(ls -A "$work/elsewhere")"; exit 1; }
cat "$work/log"
