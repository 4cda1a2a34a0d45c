#!/bin/sh
# Runs a GUI test program on an X display of its own (Xvfb). Each run starts its search for a free
# display at a number of its own, so that tests started side by side do not race for one.
set -eu
first=$(( $$ % 400 + 100 ))
exec xvfb-run -a -n "$first" -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
