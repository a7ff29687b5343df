#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, and the viewer page's npm packages
# (pinned by viewer/package-lock.json); does nothing when all are present.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config
  libode-dev libembree-dev
  nlohmann-json3-dev libtinyobjloader-dev libcli11-dev libpng-dev libssl-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev valgrind imagemagick ccache
  chromium
)
# The viewer page is bundled with node at build time; a machine with its own node keeps it.
command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: packages missing and not root; run as root or install them: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# three.js, the bundler and the browser-test client, exactly as locked; again only when the lock changed.
# Nothing here downloads a browser: the test drives Debian's chromium.
stamp=viewer/node_modules/.vex-installed-lock
if ! cmp -s viewer/package-lock.json "$stamp"; then
  (cd viewer && npm ci --no-audit --no-fund)
  cp viewer/package-lock.json "$stamp"
fi
