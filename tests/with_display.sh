#!/bin/sh
# Runs a command on an X display of its own: a fresh Xvfb whose number the server picks itself, so that
# window tests running side by side never share a clipboard, a focus or a keyboard state.
set -eu
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
server=$!
trap 'kill $server 2>/dev/null; rm -f "$fifo"' EXIT INT TERM
read -r display <"$fifo"
DISPLAY=":$display" "$@"
