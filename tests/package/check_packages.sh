#!/usr/bin/env bash
# Checks the Debian packages of a build without installing them: makes them with cpack,
# runs lintian, extracts them into a temporary root, checks the tree and the desktop
# files, starts the extracted tool against the simulated module (needs a display) and
# verifies the relay's service unit.
# Usage: check_packages.sh BUILD_DIR CPACK_COMMAND [relay]
set -euo pipefail
build=$(cd "$1" && pwd)
cpack=$2
with_relay=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
prefix=/opt/qv450
work=$(mktemp -d "${TMPDIR:-/tmp}/qv450-packages.XXXXXX")
relay_pid=
cleanup() {
    if [ -n "$relay_pid" ]; then kill "$relay_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else fail "$what"; fi
}

# The width and height of a PNG file, from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'; }

# The value of a key of a desktop entry.
desktop_key() { sed -n "s/^$2=//p" "$1" | head -1; }

echo "=== making the packages"
if ! (cd "$build" && "$cpack" -B "$work/out") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
tool_deb=$(ls "$work"/out/qv450_*.deb)
debs=("$tool_deb")
if [ -n "$with_relay" ]; then
    relay_deb=$(ls "$work"/out/qv450-relay_*.deb)
    debs+=("$relay_deb")
fi

echo "=== lintian"
check "lintian reports no errors" lintian --fail-on error "${debs[@]}"

echo "=== the tool's package"
depends=$(dpkg-deb -f "$tool_deb" Depends)
for dependency in libgtk2.0-0 libhidapi-hidraw0 gtk2-engines; do
    check "depends on $dependency" grep -qE "(^|, )$dependency( |,|$)" <<<"$depends"
done
root=$work/root
dpkg-deb -x "$tool_deb" "$root"
check "the program is in the prefix" test -x "$root$prefix/bin/qv450"
check "/usr/bin/qv450 links to it" test "$(readlink "$root/usr/bin/qv450")" = "$prefix/bin/qv450"
themes=$(readlink "$root$prefix/share/themes")
check "the themes folder links to the system's GTK themes ($themes)" test -d "$themes"
demo_firmware=$(cd "$build/firmware" && ls QV450*.bin | sort)
check "the firmware folder holds the $(wc -w <<<"$demo_firmware") demo firmware files" \
    test -n "$demo_firmware" -a "$(ls "$root$prefix/firmware" | sort)" = "$demo_firmware"
check "the udev rule is in the udev rules folder" \
    test -n "$(find "$root" -path '*/udev/rules.d/70-qv450.rules')"

desktop=$(ls "$root"/usr/share/applications/*.desktop)
check "desktop-file-validate accepts the desktop entry" desktop-file-validate "$desktop"
check "appstreamcli accepts the metainfo" \
    appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
command=$root/usr/bin/$(desktop_key "$desktop" Exec | cut -d' ' -f1)
check "the desktop entry's command is installed" test -L "$command" -o -x "$command"
icon=$(desktop_key "$desktop" Icon)
check "the scalable icon is installed" test -s "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg"
check "the 48 px icon is 48x48" \
    test "$(png_size "$root/usr/share/icons/hicolor/48x48/apps/$icon.png")" = 48x48
check "the man page is installed" test -s "$root/usr/share/man/man1/qv450.1.gz"

echo "=== the extracted tool against the simulated module"
check "it connects and lists the themes" \
    env QV450_THEMES_DIR="$themes" "$here/../e2e/run_e2e.sh" "$root$prefix/bin/qv450" \
    "$here/installed_program.py"

if [ -n "$with_relay" ]; then
    echo "=== the relay's package"
    relay_root=$work/relay-root
    dpkg-deb -x "$relay_deb" "$relay_root"
    for program in qv450-relay qv450-cli; do
        check "$program is installed with its man page" \
            test -x "$relay_root/usr/bin/$program" -a -s "$relay_root/usr/share/man/man1/$program.1.gz"
    done
    unit=$(find "$relay_root" -name qv450-relay.service)
    check "the service unit is installed" test -n "$unit"
    check "the service starts the packaged server" \
        grep -q '^ExecStart=/usr/bin/qv450-relay ' "$unit"

    # The configuration that the package's postinst writes, on loopback and free ports.
    sed 's/@TOKEN@/package-test-token/' "$relay_root/usr/share/qv450-relay/relay.conf" >"$work/relay.conf"
    "$relay_root/usr/bin/qv450-relay" --config "$work/relay.conf" --bind 127.0.0.1 \
        --tool-port 0 --operator-port 0 >"$work/relay.log" 2>&1 &
    relay_pid=$!
    sleep 1
    check "the server runs with the packaged configuration" kill -0 "$relay_pid"
    kill "$relay_pid" 2>/dev/null || true
    wait "$relay_pid" 2>/dev/null || true
    relay_pid=

    if command -v systemd-analyze >/dev/null; then
        # verify wants the command on this machine: point it at the extracted one.
        mkdir -p "$work/units"
        sed "s#/usr/bin/qv450-relay#$relay_root/usr/bin/qv450-relay#" "$unit" >"$work/units/qv450-relay.service"
        systemd-analyze verify --man=no "$work/units/qv450-relay.service" >"$work/verify.log" 2>&1 || true
        check "systemd-analyze verify finds nothing" test ! -s "$work/verify.log"
        cat "$work/verify.log"
        exposure=$(systemd-analyze security --offline=true "$work/units/qv450-relay.service" 2>&1 |
            sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
        check "the service is sandboxed (exposure ${exposure:-unknown} of 10)" \
            awk -v e="${exposure:-10}" 'BEGIN { exit !(e <= 2.0) }'
    else
        echo "skipped: systemd-analyze is not installed"
    fi
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures package checks failed"
    [ -s "$work/relay.log" ] && cat "$work/relay.log"
    exit 1
fi
echo "all package checks passed"
