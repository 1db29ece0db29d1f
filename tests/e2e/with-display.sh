#!/bin/sh
# Runs a command with an X display: the caller's DISPLAY if set, else a private Xvfb.
# Xvfb picks the free display number itself (-displayfd), so parallel runs cannot collide
# the way `xvfb-run -a` can when two start at the same moment.
#   tests/e2e/with-display.sh python3 tests/e2e/test_winedriver.py --exe ... --prefix ...
set -u
if [ -n "${DISPLAY:-}" ]; then
    exec "$@"
fi
dir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT
trap 'exit 130' INT TERM
tries=0
while [ ! -s "$dir/display" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$xvfb" 2>/dev/null; then
        echo "with-display.sh: Xvfb did not start within 10 s:" >&2
        cat "$dir/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done
DISPLAY=":$(head -n 1 "$dir/display")"
export DISPLAY
"$@"
