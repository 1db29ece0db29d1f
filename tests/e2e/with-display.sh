#!/bin/sh
# Runs a command with an X display: the caller's DISPLAY if set, else a private Xvfb
# whose number Xvfb picks itself and writes to a pipe, so parallel runs cannot collide.
# The command runs with address-space randomisation off, and so does every Wine process
# it starts: Debian's Wine has no preloader to reserve the addresses Windows fixes, and a
# randomised heap start then lands on the shared user data at 0x7ffe0000 now and then
# ("failed to map the shared user data"), a start that fails without a window.
set -u
[ -n "${DISPLAY:-}" ] && exec setarch "$(uname -m)" -R "$@"
dir=$(mktemp -d)
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT
trap 'exit 130' INT TERM
read -r number <"$dir/display" || { echo "with-display.sh: Xvfb did not start:" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
DISPLAY=":$number" setarch "$(uname -m)" -R "$@"
