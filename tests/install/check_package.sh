#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what a package manager would see: its dependencies, and
# files only where a desktop looks for them, with no compiled schema (the system's trigger makes that) and
# no stand-in reader library.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

command -v dpkg-deb >/dev/null || { echo "dpkg-deb missing: skipped"; exit 0; }
(cd "$build" && cpack -G DEB -B "$work" >/dev/null)
deb=$(ls "$work"/kestrix_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in libgtkmm-4.0 libglib2.0-bin libc6; do
    [[ $depends == *"$package"* ]] || fail "Depends lacks $package: $depends"
done
[[ $depends != *rdxreaders* ]] || fail "Depends names the reader library: $depends"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/kestrix ./usr/share/applications/org.kestrix.Kestrix.desktop \
         ./usr/share/metainfo/org.kestrix.Kestrix.metainfo.xml \
         ./usr/share/glib-2.0/schemas/org.kestrix.Kestrix.gschema.xml \
         ./usr/share/icons/hicolor/scalable/apps/org.kestrix.Kestrix.svg \
         ./usr/share/locale/ru/LC_MESSAGES/kestrix.mo ./usr/share/doc/kestrix/kestrix.pdf; do
    grep -qx -- "$f" <<<"$files" || fail "$f missing from the package"
done
! grep -q 'gschemas.compiled\|librdxreaders\|kestrix-devsim' <<<"$files" || fail "package carries what it must not"

dpkg-deb -x "$deb" "$work/root"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.kestrix.Kestrix.metainfo.xml" >/dev/null ||
        fail "AppStream description invalid"
fi
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$work/root/usr/share/applications/org.kestrix.Kestrix.desktop" || fail "desktop entry invalid"
fi
echo "1 passed, 0 failed"
