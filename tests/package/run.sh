#!/usr/bin/env bash
# run.sh <build>: installs the build into a fresh prefix, checks that the install writes only there, and
# runs the demo with the installed runner from an unrelated folder.
set -euo pipefail
build=$(cd "$1" && pwd)
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
outside=$(sed -n 's/^-- \(Installing\|Up-to-date\): //p' "$work/install.log" | grep -v "^$work/prefix/" || true)
[ -z "$outside" ] || { echo "installed outside the prefix:"; echo "$outside"; exit 1; }
bash "$(dirname "$0")/installed-runner.sh" "$build" "$work/prefix/bin/vexhost" "$@"
