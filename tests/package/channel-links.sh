#!/usr/bin/env bash
# channel-links.sh <bin folder>: the runner loads every channel library by its type GUID and links none,
# and a channel library needs another channel library only when its class derives from that one's class.
# Reads the NEEDED entries of the built files.
set -euo pipefail
bin=$1
matrix=5B90E3C1-2A4F-4E88-9D17-60C3A8F2B5E4
deviceuse=E1A7C530-6F2B-4B9D-A043-D85E19C76F02
texture=3F6D92B8-C015-4A7E-9B3C-4E81F0A6D2C9
# Channel library -> the channel libraries it may need.
declare -A allowed=(
  [7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417]="$matrix"              # rigid body: a matrix channel
  [$texture]="$deviceuse"                                        # texture: a device-use channel
  [C4E8B1F2-93A7-4D05-8E61-B2F74A0C9D38]="$texture $deviceuse"   # texture lighting: a texture
)
is_channel() { [[ $1 =~ ^[0-9A-F]{8}-([0-9A-F]{4}-){3}[0-9A-F]{12}\.so$ ]]; }
needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'; }

[ -x "$bin/vexhost" ] || { echo "no runner at $bin/vexhost"; exit 1; }
faults=0
checked=0
for file in "$bin/vexhost" "$bin"/*.so; do
  name=$(basename "$file")
  for dep in $(needed "$file"); do
    is_channel "$dep" || continue
    guid=${dep%.so}
    if ! is_channel "$name"; then
      echo "$name needs the channel library $dep; it must load it by its type GUID instead"
      faults=$((faults + 1))
    elif [[ " ${allowed[${name%.so}]:-} " != *" $guid "* ]]; then
      echo "$name needs the channel library $dep, whose class it does not derive from"
      faults=$((faults + 1))
    fi
  done
  checked=$((checked + 1))
done
# A folder without the channel libraries would pass for nothing.
[ "$checked" -gt 10 ] || { echo "only $checked files in $bin"; exit 1; }
[ "$faults" -eq 0 ] || exit 1
echo "checked $checked files"
