#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with; does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libode-dev libembree-dev
  nlohmann-json3-dev libtinyobjloader-dev libcli11-dev libpng-dev libssl-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev valgrind imagemagick ccache
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "error: packages missing and not root; run as root or install them: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
