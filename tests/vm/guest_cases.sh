#!/usr/bin/env bash
# The guest cases of the USB test bed (run_vm_bed.sh), run as root inside the virtual
# machine, with no QV450_SIMULATOR: every module is served by qv450-sim-usb on a dummy
# USB controller and reached through hidapi, hidraw and the CDC ACM driver, as a real
# one. Each line of the table is a case, carried out by the function of its name in a
# process of its own with its time limit; prints each case's outcome and time, then
# "N passed, M failed". Usage: guest_cases.sh BUILD_DIR [CASE... | all]
set -u
build=$1
shift
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
bin=$build/bin
cli="$bin/qv450-cli --local"

#        case                seconds  what it shows
CASES='  cli                 300      identify, configuration read and write, a full flash through the
                                      bootloader'"'"'s re-enumeration and back, serial through the sysfs search
         wait                120      --wait across an unplug and a plug
         faults              600      the cable pulled during a configuration write and at the first, a
                                      middle and the last block of a flash: never a success, found again
                                      when plugged back, still flashable
         udev                120      the udev rule on the module'"'"'s real sysfs paths
         permission          300      a user who may not open the module is told so and what to do
                                      (qv450-cli status 3, and the main window)
         gui_main_window     300      tests/e2e unchanged on the USB module: connect and identify
         gui_editor          300        the editor'"'"'s read and write
         gui_firmware        600        firmware from the firmware folder, and a variant change
         gui_remote_access   600        remote access with flash and the serial port
         bench               300      a configuration read and a full flash: USB beside in-process
                                      (a benchmark, not a test: only when named)'

# --- helpers -------------------------------------------------------------------------

failures=0
fail() {
    echo "  FAIL: $*"
    failures=$((failures + 1))
}
check() { [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"; }
check_output() { grep -qE -- "$2" <<<"$3" || fail "$1: no /$2/ in: $(head -c 600 <<<"$3")"; }
check_no_output() { ! grep -qE -- "$2" <<<"$3" || fail "$1: /$2/ in: $(head -c 600 <<<"$3")"; }

# What the case is doing now, kept in its work folder so that whoever ends it (a step's
# own limit, or the case's in the runner) can say what it was waiting for.
step() { echo "$*" >"$work/step"; }

nodes() { ls /dev | grep "^$1" | tr '\n' ' '; }
bus_state() {  # bus_state WORK: what a hung step leaves behind, for the log
    local dir=$1 gadget file udc
    echo "    the case was at: $(cat "$dir/step" 2>/dev/null || echo '(no step yet)')"
    echo "    hidraw nodes: $(nodes hidraw) (the module's: $(module_hidraw))"
    echo "    ttyACM nodes: $(nodes ttyACM) (the module's: $(module_tty))"
    for udc in /sys/class/udc/*; do echo "    controller ${udc##*/}: $(cat "$udc/state" 2>/dev/null)"; done
    for gadget in /sys/kernel/config/usb_gadget/*; do
        [ -d "$gadget" ] || continue
        echo "    gadget ${gadget##*/} on controller '$(cat "$gadget/UDC" 2>/dev/null)'"
    done
    for file in "$dir"/*.out "$dir"/*.err "$dir"/commands; do
        [ -s "$file" ] || continue
        echo "    last lines of ${file##*/}:"
        tail -n 6 "$file" | sed 's/^/      | /'
    done
}

step_failed() {  # step_failed WHAT: the case cannot go on; says where it stands
    fail "$*"
    bus_state "$work"
    return 1
}

# Limits count seconds on the clock: a pass of a loop costs far more than its sleep on
# a busy machine, where starting a process takes a while under software emulation.
wait_for() {  # wait_for WHAT SECONDS COMMAND...: true once COMMAND succeeds
    local what=$1 deadline=$((SECONDS + $2))
    shift 2
    step "waiting for $what"
    until "$@" 2>/dev/null; do
        ((SECONDS < deadline)) || { step_failed "timed out waiting for $what"; return; }
        sleep 0.1
    done
}

tool() {  # tool SECONDS COMMAND: the status of the command line, its output in $work/tool.out
    step "running $2 (for at most $1 s)"
    timeout "$1" bash -c "$2" </dev/null >"$work/tool.out" 2>&1
    local status=$?
    [ $status -ne 124 ] || step_failed "$2 did not end within $1 s"
    return $status
}

# qv450-cli --wait in the background: its notes in $work/wait.err, the rest in
# $work/wait.out. The caller takes the module off the bus or puts it back only once the
# notes say that the tool looks for that, and ends with end_waiting.
start_waiting() {
    : >"$work/wait.err"
    $cli --wait "$@" >"$work/wait.out" 2>"$work/wait.err" &
    waiting=$!
}
waits_for_unplug() { grep -q 'waiting for the module to be unplugged' "$work/wait.err"; }
waits_for_plug() { grep -q 'waiting for a module to be plugged in' "$work/wait.err"; }
wait_ended() { ! kill -0 "$waiting" 2>/dev/null; }
end_waiting() {  # end_waiting SECONDS: the status of qv450-cli --wait once it has ended
    wait_for "qv450-cli --wait to end" "$1" wait_ended || kill -KILL "$waiting" 2>/dev/null
    { wait "$waiting"; } 2>/dev/null  # no word from the shell on one it ended
}

module_hidraw() { grep -l 'HID_ID=0003:000012AA' /sys/class/hidraw/*/device/uevent 2>/dev/null | head -1 | cut -d/ -f5; }
module_tty() { ls /sys/bus/usb/drivers/cdc_acm/*/tty 2>/dev/null | grep -m1 '^ttyACM'; }
module_absent() { [ -z "$(module_hidraw)" ]; }
module_present() { [ -n "$(module_hidraw)" ]; }

serving() { kill -0 "$server" 2>/dev/null; }
server_ended() { ! serving; }
taken_or_server_ended() { [ ! -e "$folder/commands" ] || server_ended; }
attached() { grep -q attached "$work/server.out"; }
tty_present() { [ -n "$(module_tty)" ]; }

serve() {  # serve FOLDER: qv450-sim-usb on it until the case ends, and the host sees it
    folder=$1
    "$bin/qv450-sim-usb" "$folder" >"$work/server.out" 2>&1 &
    server=$!
    wait_for "qv450-sim-usb to attach the module" 60 attached &&
        wait_for "the module's hidraw node" 60 module_present &&
        wait_for "the module's ttyACM node" 60 tty_present
}

stop_serving() {
    [ -n "${server:-}" ] || return 0
    kill -TERM "$server" 2>/dev/null
    wait_for "qv450-sim-usb to take its gadgets off the bus and end" 30 server_ended || kill -KILL "$server"
    wait "$server"
    check "qv450-sim-usb's status at its end" 0 $?
    check "gadgets left in configfs" "" "$(ls /sys/kernel/config/usb_gadget)"
    server=
}

module_command() {  # module_command LINE: one line of the module's command file, taken
    echo "$1" >>"$folder/commands"
    # A server that has ended takes no more lines: said at once.
    wait_for "the module to take \"$1\"" 30 taken_or_server_ended && { serving || step_failed "qv450-sim-usb has ended"; }
}

full_image() {  # a firmware file of the full 100352 bytes, version 16.11 variant A
    mkdir -p "$work/full"
    [ -f "$work/full/QV450_1611_GRUPA_A.bin" ] || "$build/lib/sim/make_demo_firmware" "$work/full" 100352
    echo "$work/full/QV450_1611_GRUPA_A.bin"
}

gui_test() {  # the end-to-end test script of tests/e2e, unchanged, on a module served over USB
    step "running tests/e2e/$1.py"
    QV450_E2E_USB_SERVER=$bin/qv450-sim-usb xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$source_dir/tests/e2e/run_e2e.sh" "$bin/qv450" "$source_dir/tests/e2e/$1.py" || fail "tests/e2e/$1.py"
}

# --- the cases ---------------------------------------------------------------------

case_cli() {
    serve "$work/module" || return
    printf 'carnumber=42\r\n' >"$work/changed.cfg"
    local full
    full=$(full_image)
    # status | expected output | command
    while IFS='|' read -r status pattern command; do
        tool 300 "$command"
        check "$command: status" "${status// /}" $?
        check_output "$command" "$(sed 's/^ *//; s/ *$//' <<<"$pattern")" "$(cat "$work/tool.out")"
    done <<EOF
0 | ^QV450-1605 variant A$                  | $cli identify
0 | ^canlevel=3                             | $cli read-config
0 | vehicle number 42$                      | $cli write-config $work/changed.cfg
0 | "carnumber":42                          | $cli --json read-config
0 | ^QV450-1611 variant A$                  | $cli flash $full
0 | ^QV450-1611 variant A$                  | $cli identify
0 | ^line through ttyACM$                   | echo 'line through ttyACM' | $cli serial
EOF
    stop_serving
}

case_wait() {
    serve "$work/module" || return
    start_waiting --json identify
    wait_for "--wait to see the module there" 60 waits_for_unplug || return
    module_command unplug || return
    wait_for "the module off the bus" 60 module_absent || return
    wait_for "--wait to see the module gone" 60 waits_for_plug || return
    check "output while unplugged" "" "$(cat "$work/wait.out")"
    module_command plug || return
    wait_for "the module back on the bus" 60 module_present || return
    end_waiting 60
    check "--wait status" 0 $?
    check_output "--wait identity" '"QV450-1605"' "$(cat "$work/wait.out")"
    stop_serving
}

case_faults() {
    # The demo image: 18 blocks, 0 to 17.
    local image=$build/firmware/QV450_1611_GRUPA_A.bin
    printf 'carnumber=77\r\ncanlevel=9\r\n' >"$work/changed.cfg"
    # armed fault | command cut short | its status | its reason | done only on success | command once plugged back | its output
    while IFS='|' read -r armed command status reason success again expected; do
        echo "  $armed during $command"
        serve "$work/module-${armed// /-}" || return
        module_command "$armed" || return
        tool 300 "$cli $command"
        check "$armed: $command: status" "$status" $?
        local out
        out=$(cat "$work/tool.out")
        check_no_output "$armed: $command" "$success" "$out"
        check_no_output "$armed: $command" "Successfully programmed" "$out"
        check_output "$armed: $command" "$reason" "$out"
        wait_for "the module off the bus" 60 module_absent || return
        # Plugged back only once the tool has looked and found no module: one plugged
        # back before its first look would be the present one, which it waits to go.
        start_waiting $again
        wait_for "--wait to find no module" 60 waits_for_plug || return
        module_command plug || return
        wait_for "the module back on the bus" 60 module_present || return
        end_waiting 300
        check "$armed: $again once plugged back: status" 0 $?
        check_output "$armed: $again once plugged back" "$expected" "$(cat "$work/wait.out")"
        stop_serving
    done <<EOF
unplug at-write 2 |write-config $work/changed.cfg|3|left the USB bus.*written in part: write it again|configuration written|identify|^QV450-1605
unplug at-block 0 |flash $image|4|left the USB bus during the flash; flash it again|firmware written|flash $image|^QV450-1611 variant A$
unplug at-block 9 |flash $image|4|left the USB bus during the flash; flash it again|firmware written|flash $image|^QV450-1611 variant A$
unplug at-block 17|flash $image|4|left the USB bus during the flash; flash it again|firmware written|flash $image|^QV450-1611 variant A$
EOF
}

case_udev() {
    serve "$work/module" || return
    # Each node as the system's own rules leave it, then with the module's rule.
    local rules=/run/udev/rules.d node out
    mkdir -p $rules
    for node in "hidraw/$(module_hidraw)" "tty/$(module_tty)"; do
        rm -f $rules/70-qv450.rules
        out=$(udevadm test --action=add "/sys/class/$node" 2>&1)
        check_no_output "udevadm test $node without the rule: the tag" '^TAGS=.*:uaccess:' "$out"
        cp "$source_dir/packaging/udev/70-qv450.rules" $rules/
        out=$(udevadm test --action=add "/sys/class/$node" 2>&1)
        check_output "udevadm test $node: the tag" '^TAGS=.*:uaccess:' "$out"
        check_output "udevadm test $node: the seat's access" "^run: 'uaccess'" "$out"
    done
    check "the hidraw node's group and mode" "plugdev 660" "$(stat -c '%G %a' "/dev/$(module_hidraw)")"
    out=$(udevadm test --action=add /sys/class/tty/ttyS0 2>&1)
    check_no_output "udevadm test on the console's tty" '^TAGS=.*:uaccess:' "$out"
    stop_serving
}

case_permission() {
    serve "$work/module" || return
    local nobody="setpriv --reuid=65534 --regid=65534 --clear-groups"
    local refused="a QV450 module is attached, but this user may not open it \(/dev/$(module_hidraw)\): install"
    local out
    out=$(timeout 60 $nobody $cli identify 2>&1)
    check "qv450-cli identify as nobody: status" 3 $?
    check_output "qv450-cli identify as nobody" "$refused" "$out"
    out=$(timeout 60 $nobody $cli --wait identify 2>&1)
    check "qv450-cli --wait identify as nobody: status" 3 $?
    check_output "qv450-cli --wait identify as nobody" "$refused" "$out"

    # The main window, as the same user.
    local home
    home=$(mktemp -d)
    cat >"$home/test_refused.py" <<EOF
import sys
sys.path.insert(0, "$source_dir/tests/e2e")
from qv450_driver import Program, label_reading, window_titled
program = Program(simulator="")
try:
    window = window_titled(program.application(), "Velmora programmer QV450 v.2.4.0")
    label_reading(window, "A QV450 module is attached, but this user may not open it.")
finally:
    program.cleanup()
print("1 passed, 0 failed")
EOF
    chown -R 65534:65534 "$home"
    $nobody env HOME="$home" XDG_RUNTIME_DIR="$home" xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$source_dir/tests/e2e/run_e2e.sh" "$bin/qv450" "$home/test_refused.py" || fail "the main window as nobody"
    stop_serving
}

case_gui_main_window() { gui_test test_main_window; }
case_gui_editor() { gui_test test_editor; }
case_gui_firmware() { gui_test test_firmware; }
case_gui_remote_access() { gui_test test_remote_access; }

case_bench() {
    serve "$work/module" || return
    "$build/tests/usb_bench" "$(full_image)" || fail "usb_bench"
    stop_serving
}

# --- running them ------------------------------------------------------------------

case_names() { sed -n 's/^ *\([a-z_]*\) *\([0-9][0-9]*\)  .*/\1 \2/p' <<<"$CASES"; }

if [ "${1:-}" = "--case" ]; then
    work=$3
    export HOME=$work XDG_RUNTIME_DIR=$work
    server= waiting=
    trap 'kill -TERM $server $waiting 2>/dev/null; wait' EXIT
    "case_$2"
    exit $((failures > 0))
fi

run_case() {  # run_case NAME SECONDS: the case in a process group of its own, ended at its limit
    local work pid deadline
    work=$(mktemp -d)
    setsid "$0" "$build" --case "$1" "$work" </dev/null &
    pid=$!
    deadline=$((SECONDS + $2))
    while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.2; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "  FAIL: the case's limit of $2 s ended it"
        bus_state "$work"
        kill -TERM -- "-$pid" 2>/dev/null
        deadline=$((SECONDS + 10))
        while kill -0 -- "-$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.2; done
        kill -KILL -- "-$pid" 2>/dev/null
        { wait "$pid"; } 2>/dev/null
        return 1
    fi
    wait "$pid"
}

wanted=" ${*:-all} "
passed=0 failed=0
while read -r name limit; do
    if [ "$wanted" = " all " ]; then
        [ "$name" != bench ] || continue
    else
        [[ $wanted == *" $name "* ]] || continue
    fi
    start=$SECONDS
    echo "case $name"
    if run_case "$name" "$limit"; then
        passed=$((passed + 1))
        echo "case $name: passed ($((SECONDS - start)) s)"
    else
        failed=$((failed + 1))
        echo "case $name: FAILED ($((SECONDS - start)) s)"
    fi
done < <(case_names)
echo "vm bed: $passed passed, $failed failed"
[ $failed -eq 0 ] && [ $passed -gt 0 ]
