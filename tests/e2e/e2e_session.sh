#!/usr/bin/env bash
# Runs a script under a virtual X display with its own session bus and the
# accessibility bus, as a screen reader would see the desktop.
#   e2e_session.sh SCRIPT ARGS...
set -euo pipefail
inner=$(cat <<'INNER'
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
sleep 1
status=0
/usr/bin/python3 "$@" || status=$?
kill "$launcher" 2>/dev/null || true
exit "$status"
INNER
)
# A display number of its own to start from: two sessions started together
# from :99 can race for the same display. No server reset when the last
# client leaves: a client connecting during the reset is turned away.
exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24 -noreset" \
  dbus-run-session -- bash -c "$inner" e2e "$@"
