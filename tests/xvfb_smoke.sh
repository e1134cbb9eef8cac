#!/usr/bin/env bash
# Starts the window on a virtual X display, checks that it is still running
# after two seconds, then closes it. Exit 77 (skipped) without Xvfb.
set -u
program=$1
command -v Xvfb >/dev/null || { echo "Xvfb is not installed"; exit 77; }
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }

DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb "$program" &
window=$!
sleep 2
if ! kill -0 "$window" 2>/dev/null; then
  wait "$window"
  echo "the window ended early with status $?"
  exit 1
fi
kill "$window"
wait "$window" 2>/dev/null
echo "the window ran under Xvfb"
