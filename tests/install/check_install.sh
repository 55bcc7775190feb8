#!/usr/bin/env bash
# Installs the build into temporary prefixes and checks where the stand-in reader library lands: nowhere by
# default, and only in the private simulation folder when the simulators are asked for. Installed under the
# maker's name in the library folder it would shadow the real library.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

DESTDIR= cmake --install "$build" --prefix "$work/plain" >/dev/null
found=$(find "$work/plain" -name 'librdxreaders*' -o -name 'kestrix-devsim' -o -name 'kestrix-cards')
[ -z "$found" ] || fail "installed without being asked for: $found"
if [ -x "$work/plain/bin/kestrix" ]; then
    readelf -d "$work/plain/bin/kestrix" | grep -q 'librdxreaders.so.1' || fail "kestrix does not link the reader library by SONAME"
    ! readelf -d "$work/plain/bin/kestrix" | grep -Eq 'R(UN)?PATH' || fail "installed kestrix carries a library path"
fi

cp "$build/CMakeCache.txt" "$work/cache.bak"
cmake -S "$(dirname "$0")/../.." -B "$build" -DKESTRIX_INSTALL_SIMULATORS=ON >/dev/null
restore() { cmake -S "$(dirname "$0")/../.." -B "$build" -DKESTRIX_INSTALL_SIMULATORS=OFF >/dev/null; }
trap 'restore; rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/sim" >/dev/null
libs=$(cd "$work/sim" && find . -name 'librdxreaders*' | sort)
[ "$libs" = "./lib/kestrix/simulated/librdxreaders.so.1
./lib/kestrix/simulated/librdxreaders.so.1.0.0" ] || fail "stand-in library installed as: $libs"
[ -x "$work/sim/bin/kestrix-devsim" ] || fail "kestrix-devsim not installed"
grep -q "/lib/kestrix/simulated" "$work/sim/bin/kestrix-simulated" || fail "launcher misses the private folder"
echo "1 passed, 0 failed"
