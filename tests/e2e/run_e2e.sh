#!/usr/bin/env bash
# Runs one end-to-end test script against the real program: a D-Bus session with the
# accessibility bus, GTK's accessibility modules loaded. Needs a display (Xvfb).
set -euo pipefail
binary=$1
script=$2
export QV450_BINARY=$binary
export GTK_MODULES=gail:atk-bridge
unset NO_AT_BRIDGE
# A toolkit critical (a signal on a freed widget, say) ends the program: the test fails.
export G_DEBUG=fatal-criticals
# A sanitized build reports the toolkit's own lifetime allocations as leaks at exit.
export ASAN_OPTIONS=detect_leaks=0
exec dbus-launch --exit-with-session /usr/bin/python3 "$script"
