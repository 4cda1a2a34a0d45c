#!/bin/sh
# Runs a GUI test program on an X display of its own (Xvfb, as xvfb-run -a does), with a home and a
# temporary folder of its own, both removed afterwards: tests started side by side share nothing.
# With --no-display first: the home and the temporary folder alone, for tests of the toolkit that
# open no window.
# A toolkit critical (a widget misused) ends the program: it fails the test where it happens.
# Text is drawn with the fonts of test_fonts.conf alone, whatever fonts the machine has.
# The server picks the display number itself (-displayfd): a number picked by looking for lock
# files can be one whose server is still ending, and a client's first connection then reaches the
# old server's socket and fails.
set -eu
display_too=yes
if [ "${1:-}" = --no-display ]; then
    display_too=
    shift
fi
fonts="$(cd "$(dirname "$0")" && pwd)/test_fonts.conf"
work=$(mktemp -d /tmp/rk_gui_run.XXXXXX)
server=
finish() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || :
        wait "$server" 2>/dev/null || :
    fi
    rm -rf "$work" || :
}
trap finish EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir "$work/home" "$work/tmp"
# As /tmp is: open to every user (some tests run a program as another user).
chmod 711 "$work"
chmod 1777 "$work/tmp"
if [ -z "$display_too" ]; then
    set +e
    HOME="$work/home" TMPDIR="$work/tmp" "$@"
    status=$?
    set -e
    exit "$status"
fi

# The server accepts every cookie in its file; clients look theirs up by the display's number.
cookie=$(mcookie)
xauth -q -f "$work/Xauthority" add :0 . "$cookie"
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -auth "$work/Xauthority" \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
server=$!
# Once the server listens it writes its number; when it fails, the pipe ends empty.
display=$(head -n 1 "$work/display")
if [ -z "$display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
xauth -q -f "$work/Xauthority" add ":$display" . "$cookie"

set +e
FONTCONFIG_FILE="$fonts" G_DEBUG=fatal-criticals DISPLAY=":$display" XAUTHORITY="$work/Xauthority" HOME="$work/home" TMPDIR="$work/tmp" "$@"
status=$?
set -e
exit "$status"
