#!/usr/bin/env bash
# deb.sh <build>: builds the Debian package as docs/packaging.md says, unpacks it with dpkg-deb -x into a
# scratch folder and runs the demo from there; lintian, when installed, must report no errors.
set -euo pipefail
build=$(cd "$1" && pwd)
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "cpack failed"; exit 1; }
deb=$(ls "$work"/package/*.deb)
dpkg-deb -f "$deb" Depends | grep -q libode || { echo "the package does not declare ODE: $(dpkg-deb -f "$deb" Depends)"; exit 1; }
dpkg-deb -x "$deb" "$work/root"
for file in usr/bin/vexhost usr/include/vex/host/Vexcore.h usr/lib/cmake/Vexcore/VexcoreConfig.cmake; do
  [ -f "$work/root/$file" ] || { echo "the package holds no $file"; exit 1; }
done
bash "$(dirname "$0")/installed-runner.sh" "$build" "$work/root/usr/bin/vexhost" "$@"
if command -v lintian > /dev/null; then
  lintian --fail-on error "$deb" || { echo "lintian reports errors"; exit 1; }
fi
