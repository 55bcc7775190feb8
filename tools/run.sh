#!/usr/bin/env bash
# Builds Kestrix (Release) and starts it against the device simulator's demonstration world: an adapter on a
# pseudo-terminal with a Q-4T controller, a DS1996L to touch and a Mifare reader with blank cards.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
tools/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIX_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)"

export GSETTINGS_SCHEMA_DIR=$top/build-release/schemas
export TEXTDOMAINDIR=$top/build-release/locale
world=$(mktemp -d /tmp/kestrix-world.XXXXXX)
export RDX_SIM_DIR=$world
devsim_pid=
cleanup() {
    [ -n "$devsim_pid" ] && kill "$devsim_pid" 2>/dev/null || true
    rm -rf "$world"
}
trap cleanup EXIT
if [ -x build-release/kestrix-devsim ]; then
    build-release/kestrix-devsim --demo --world "$world" --control "$world/control" &
    devsim_pid=$!
    echo "Device simulator running; control it with: build-release/kestrix-devsim --world $world --send <command>"
fi
build-release/kestrix "$@"
