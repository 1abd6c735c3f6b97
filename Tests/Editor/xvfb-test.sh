#!/bin/sh
# Runs an editor test program under its own X server (1920x1080, so that the
# monitor's scale is 1.0); exit 77 (skipped) where there is no xvfb-run.
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run not found: skipped"; exit 77; }
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$@"
