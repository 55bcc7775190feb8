#!/usr/bin/env bash
# Builds Kestrix (Release) and starts it against the device simulator's demonstration world: an adapter on a
# pseudo-terminal with a Q-4T controller, a DS1996L to touch and a Mifare reader with blank cards.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
tools/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIX_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)"

source tools/world.sh
trap world_stop EXIT
build-release/kestrix "$@"
