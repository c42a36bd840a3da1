#!/usr/bin/env bash
# The command-line tool end to end on the simulated module: a configuration read to a
# .cfg file and written back changed, a demo firmware flashed, a module awaited across
# an unplug and plug, a line through the module's serial port (the simulated one
# echoes), and the statuses without a module and for a bad file.
# Usage: cli_local_module.sh PROGRAM FIRMWARE_FOLDER
set -u
cli=$1 firmware=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QV450_SIMULATOR=$work/module
mkdir -p "$QV450_SIMULATOR"
failures=0
check() {  # check WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1: expected '$2', got '$3'"
        failures=$((failures + 1))
    fi
}

timeout 60 "$cli" --local read-config >"$work/module.cfg"
check "read-config status" 0 $?
grep -q '^canlevel=' "$work/module.cfg" || check "read-config text" "canlevel=..." "$(head -c 200 "$work/module.cfg")"

sed 's/^carnumber=.*/carnumber=42/' "$work/module.cfg" >"$work/changed.cfg"
timeout 60 "$cli" --local write-config "$work/changed.cfg" >/dev/null
check "write-config status" 0 $?
check "number read back" 42 "$(timeout 60 "$cli" --local --json read-config | sed -n 's/.*"carnumber":\([0-9]*\).*/\1/p')"

timeout 120 "$cli" --local flash "$firmware/QV450_1611_GRUPA_A.bin" >"$work/flash.out" 2>"$work/flash.err"
check "flash status" 0 $?
check "identity after flash" "QV450-1611 variant A" "$(tail -1 "$work/flash.out")"
check "last progress line" "flash: 100%" "$(tail -1 "$work/flash.err")"

timeout 60 "$cli" --local --wait --json identify >"$work/wait.out" 2>/dev/null &
waiting=$!
sleep 1
echo unplug >>"$QV450_SIMULATOR/commands"
sleep 1
check "still waiting while unplugged" "" "$(cat "$work/wait.out")"
echo plug >>"$QV450_SIMULATOR/commands"
wait $waiting
check "--wait status" 0 $?
check "--wait identity" '"QV450-1611"' "$(sed -n 's/.*"status":\("[^"]*"\).*/\1/p' "$work/wait.out")"
# The README's way to try it: out and in again at once still counts.
timeout 20 "$cli" --local --wait identify >/dev/null 2>&1 &
waiting=$!
sleep 1
echo unplug >>"$QV450_SIMULATOR/commands"; echo plug >>"$QV450_SIMULATOR/commands"
wait $waiting
check "--wait across an unplug and plug back to back" 0 $?

check "serial echo" "bench line" "$(echo 'bench line' | timeout 60 "$cli" --local serial)"

QV450_SIMULATOR= timeout 60 "$cli" --local identify 2>/dev/null
check "status without a module" 3 $?
timeout 60 "$cli" --local flash "$work/module.cfg" 2>/dev/null
check "status for a bad firmware file" 5 $?

[ $failures -eq 0 ] && echo "command line on the simulated module: all passed"
exit $((failures > 0))
