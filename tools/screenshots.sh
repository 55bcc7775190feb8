#!/usr/bin/env bash
# Makes the README's pictures from the running program: builds it (Release), starts it against the simulated
# world on a virtual X display with a fresh settings folder, and saves the window as doc/images/<name>.png.
# Usage: tools/screenshots.sh [name]   (default name: main-window; KESTRIX_BUILD names another build folder)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
name=${1:-main-window}
tools/deps.sh
for p in xvfb imagemagick xdotool; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p"
done
build=${KESTRIX_BUILD:-build-release}
if [ "$build" = build-release ]; then
    cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIX_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target kestrix kestrix-devsim kestrix-cards

home=$(mktemp -d /tmp/kestrix-shots.XXXXXX)
export XDG_CONFIG_HOME=$home/config
export GSETTINGS_BACKEND=memory
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
source tools/world.sh
kestrix_pid=
cleanup() {
    [ -n "$kestrix_pid" ] && kill "$kestrix_pid" 2>/dev/null || true
    world_stop
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT
GSK_RENDERER=cairo "$build"/kestrix &
kestrix_pid=$!
window=$(xdotool search --sync --onlyvisible --name 'Kestrix' | head -n 1)
# Let the first frames and the device search settle before the picture is taken.
sleep 2
mkdir -p doc/images
import -window "$window" "doc/images/$name.png"
echo "doc/images/$name.png"
