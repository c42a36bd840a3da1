#!/usr/bin/env bash
# Installs what is missing, builds the tool and starts it. Without a QV450 module on
# USB (and without QV450_SIMULATOR set) it starts with the simulated module.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target qv450

module_attached() {
    grep -qs 'HID_ID=0003:000012AA:' /sys/class/hidraw/*/device/uevent
}

if [ -z "${QV450_SIMULATOR:-}" ] && ! module_attached; then
    echo "No QV450 module found on USB: starting with the simulated module (QV450_SIMULATOR=1)."
    export QV450_SIMULATOR=1
fi
exec build/bin/qv450 "$@"
