#!/usr/bin/env bash
# The device bench of the simulated world that tools/run.sh starts: touch keys to the adapter, present and
# swap Mifare cards, look into the controller's memory, while Kestrix runs.
#
#   tools/devices.sh help                      every command of both simulators
#   tools/devices.sh touch ds1996              a device simulator command (adapter, controller, DS1996L)
#   tools/devices.sh controller keys           the keys the controller holds
#   tools/devices.sh cards list                a card command (Mifare cards, readers, Temic tags)
#   tools/devices.sh cards put 04A1B202 mifare1
#   tools/devices.sh                           an interactive prompt for the same commands
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
case ${build:-build-release} in
/*) ;;
*) build=$top/${build:-build-release} ;;
esac
pointer=${TMPDIR:-/tmp}/kestrix-world.$(id -u)
world=${RDX_SIM_DIR:-$(cat "$pointer" 2>/dev/null || true)}
[ -n "$world" ] && [ -d "$world" ] || { echo "No simulated world is running: start it with tools/run.sh" >&2; exit 1; }

run() {
    case "${1:-}" in
    cards) shift; "$build/kestrix-cards" --world "$world" "$@" ;;
    help)
        "$build/kestrix-devsim" --control "$world/control" --send help
        echo
        echo "cards <command>: the Mifare cards and readers, and the Temic tags"
        "$build/kestrix-cards" --help 2>&1 | sed 's/^/  /' ;;
    *) "$build/kestrix-devsim" --control "$world/control" --send "$*" ;;
    esac
}

if [ $# -gt 0 ]; then
    run "$@"
    exit
fi
echo "Simulated world in $world. Type help for the commands, an empty line to leave."
while read -r -e -p "devices> " line && [ -n "$line" ]; do
    # shellcheck disable=SC2086
    run $line || true
done
