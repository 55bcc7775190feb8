#!/usr/bin/env bash
# Names the test programs that start threads (the ThreadSanitizer build runs these).
for folder in app keys adapter readers sim; do
    ls "$(dirname "$0")"/../tests/$folder/*.cpp >/dev/null 2>&1 && printf 'test_%s ' "$folder"
done
echo
