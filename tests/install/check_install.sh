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

# What a desktop looks for, where it looks for it.
share=$work/sim/share
for f in glib-2.0/schemas/org.kestrix.Kestrix.gschema.xml glib-2.0/schemas/gschemas.compiled \
         applications/org.kestrix.Kestrix.desktop metainfo/org.kestrix.Kestrix.metainfo.xml \
         icons/hicolor/scalable/apps/org.kestrix.Kestrix.svg locale/ru/LC_MESSAGES/kestrix.mo \
         doc/kestrix/kestrix.pdf doc/kestrix/kestrix.ru.pdf; do
    [ -s "$share/$f" ] || fail "$f not installed"
done
grep -q '^Name=Kestrix' "$share/applications/org.kestrix.Kestrix.desktop" || fail "desktop entry unnamed"
grep -q '^Comment\[ru\]=' "$share/applications/org.kestrix.Kestrix.desktop" || fail "desktop entry untranslated"
[ "$(LC_ALL= LANG=C.UTF-8 LANGUAGE=ru TEXTDOMAINDIR=$share/locale gettext -d kestrix Database)" != Database ] ||
    fail "installed catalogue does not translate"

# The installed program starts on a display with the installed schema and translations, in Russian, and
# shows its window.
if command -v xvfb-run >/dev/null && command -v xwininfo >/dev/null; then
    cat > "$work/start.sh" <<'START'
#!/bin/sh
"$1/bin/kestrix-simulated" >"$2/out.txt" 2>&1 &
pid=$!
for _ in $(seq 1 200); do
    if xwininfo -root -tree | grep -q '"Kestrix"'; then kill $pid; wait $pid 2>/dev/null; exit 0; fi
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
done
kill $pid 2>/dev/null
exit 1
START
    chmod +x "$work/start.sh"
    mkdir -p "$work/home/.config"
    start_on_display() {
        env -u GSETTINGS_SCHEMA_DIR HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
            XDG_DATA_DIRS="$share:/usr/share" GSETTINGS_BACKEND=memory TEXTDOMAINDIR="$share/locale" \
            LC_ALL= LANG=C.UTF-8 LANGUAGE=ru GSK_RENDERER=cairo RDX_SIM_DIR="$work/world" \
            xvfb-run -a "$work/start.sh" "$work/sim" "$work"
    }
    # A display server that went away under the program (seen once on a loaded machine: "cannot open
    # display") is no fault of the program: such a start is tried once more.
    start_on_display || { grep -q 'cannot open display' "$work/out.txt" && start_on_display; } ||
        { cat "$work/out.txt"; fail "installed kestrix did not show its window"; }
fi
echo "1 passed, 0 failed"
