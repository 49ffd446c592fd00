#!/usr/bin/env bash
# Runs a command on the current X display with openbox managing its windows, as on a desktop:
# close requests then come from the window manager, the way the close box and Alt+F4 send them.
# Usage (inside xvfb-run): window_manager_session.sh COMMAND [ARGUMENTS...]
set -u
openbox --sm-disable >/dev/null 2>&1 &
manager=$!
for _ in $(seq 100); do
  wmctrl -m >/dev/null 2>&1 && break
  sleep 0.1
done
if ! wmctrl -m >/dev/null 2>&1; then
  echo "openbox did not start on display ${DISPLAY:-?}" >&2
  kill "$manager" 2>/dev/null
  exit 1
fi
"$@"
status=$?
kill "$manager" 2>/dev/null
wait "$manager" 2>/dev/null
exit "$status"
