#!/usr/bin/env bash
# Every text of the program, its schema, desktop entry, AppStream description and user guide is translated,
# and none fuzzily, in every language of po/LINGUAS; the template in po/ holds every text of the sources.
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*"; exit 1; }

cmake --build "$build" --target kestrix_fresh_pot >/dev/null
fresh=$build/po/kestrix.pot
msgcmp --use-untranslated "$source_dir/po/kestrix.pot" "$fresh" 2>&1 ||
    fail "po/kestrix.pot misses texts of the sources: build the \"pot\" target and merge the catalogues"
status=0
for lang in $(grep -v '^#' "$source_dir/po/LINGUAS"); do
    po=$source_dir/po/$lang.po
    msgfmt --check -o /dev/null "$po" || fail "$lang.po does not compile"
    # Untranslated and fuzzy messages count as missing.
    if ! msgcmp "$po" "$fresh" 2>&1; then
        echo "FAIL: $lang.po lacks the translations above"
        status=1
    fi
    stats=$(LC_ALL=C msgfmt --statistics -o /dev/null "$po" 2>&1)
    if [[ $stats == *fuzzy* || $stats == *untranslated* ]]; then
        echo "FAIL: $lang.po: $stats"
        status=1
    fi
done
[ $status -eq 0 ] && echo "1 passed, 0 failed"
exit $status
