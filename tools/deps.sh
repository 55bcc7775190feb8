#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kestrix need, when any is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
          libgtkmm-4.0-dev libglib2.0-dev-bin gettext
          libgtest-dev libgmock-dev libbenchmark-dev
          xvfb xauth x11-utils desktop-file-utils python3 python3-dbfread libglib2.0-bin groff fonts-urw-base35
          libshp-dev appstream xdotool)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
