#!/usr/bin/env bash
# Checks the Debian packages of a build without touching the system: makes them with cpack,
# runs lintian, extracts them into a temporary root, checks the tree and the desktop
# files, starts the extracted tool against the simulated module and a local update server
# (needs a display and nginx), verifies the relay's service unit and what the server does
# without a usable token, and installs and purges the packages in a scratch root.
# Usage: check_packages.sh BUILD_DIR CPACK_COMMAND [relay]
set -euo pipefail
build=$(cd "$1" && pwd)
cpack=$2
with_relay=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
prefix=/opt/qv450
work=$(mktemp -d "${TMPDIR:-/tmp}/qv450-packages.XXXXXX")
relay_pid=
nginx_pid=
cleanup() {
    if [ -n "$relay_pid" ]; then kill "$relay_pid" 2>/dev/null || true; fi
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
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
# Whether a control field of the tool's package lists a package.
lists() { grep -qE "(^|, )$2( |,|$)" <<<"$(dpkg-deb -f "$tool_deb" "$1")"; }
recommended_only() { lists Recommends "$1" && ! lists Depends "$1"; }
for dependency in libgtk2.0-0 libhidapi-hidraw0; do
    check "depends on $dependency" lists Depends "$dependency"
done
# The tool runs without the engines; the update check opens its download with xdg-open.
for recommended in gtk2-engines xdg-utils; do
    check "recommends $recommended, not depends on it" recommended_only "$recommended"
done
root=$work/root
dpkg-deb -x "$tool_deb" "$root"
check "the program is in the prefix" test -x "$root$prefix/bin/qv450"
check "/usr/bin/qv450 links to it" test "$(readlink "$root/usr/bin/qv450")" = "$prefix/bin/qv450"
check "/usr/bin/qv450-cli links to the command-line tool beside it" \
    test "$(readlink "$root/usr/bin/qv450-cli")" = "$prefix/bin/qv450-cli" -a -x "$root$prefix/bin/qv450-cli"
check "the command-line tool identifies the simulated module" \
    bash -c "QV450_SIMULATOR=1 '$root$prefix/bin/qv450-cli' --local identify | grep -q '^QV450-1605'"
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

# A build for the packages names no update server, so it cannot greet every start
# with a failed check: the start-up check is only for builds that name one.
update_default=$(sed -n 's/^QV450_UPDATE_SERVER_DEFAULT:[A-Z]*=//p' "$build/CMakeCache.txt")
names_no_server() { [ -z "$update_default" ] || [[ $update_default == *.invalid ]]; }
check "the packaged build names no update server ('$update_default')" names_no_server

echo "=== the extracted tool against the simulated module and a local update server"
# nginx in the foreground as one process, everything in the temporary folder.
mkdir -p "$work/nginx/www/programator"
echo "VERSION 2.5.0" >"$work/nginx/www/programator/QV450_version"
update_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1;
pid $work/nginx/nginx.pid;
events { worker_connections 16; }
http {
    access_log off;
    client_body_temp_path $work/nginx/body; proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi; uwsgi_temp_path $work/nginx/uwsgi; scgi_temp_path $work/nginx/scgi;
    server { listen 127.0.0.1:$update_port; root $work/nginx/www; }
}
CONF
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
check "it connects, lists the themes and is offered the new version" \
    env QV450_THEMES_DIR="$themes" QV450_UPDATE_SERVER="127.0.0.1:$update_port" \
    "$here/../e2e/run_e2e.sh" "$root$prefix/bin/qv450" "$here/installed_program.py"

if [ -n "$with_relay" ]; then
    echo "=== the relay's package"
    relay_root=$work/relay-root
    dpkg-deb -x "$relay_deb" "$relay_root"
    check "qv450-relay is installed with its man page" \
        test -x "$relay_root/usr/bin/qv450-relay" -a -s "$relay_root/usr/share/man/man1/qv450-relay.1.gz"
    unit=$(find "$relay_root" -name qv450-relay.service)
    check "the service unit is installed" test -n "$unit"
    check "the service starts the packaged server" \
        grep -q '^ExecStart=/usr/bin/qv450-relay ' "$unit"

    # Without /etc/qv450/relay.conf the service hands the server its stand-in; with the
    # template copied by hand the token is the placeholder. Either way the server must
    # stop at once, with a status the service does not restart and a line saying how to
    # set a token.
    sed -n 's/^SetCredential=relay.conf://p' "$unit" >"$work/stand-in.conf"
    cp "$relay_root/usr/share/qv450-relay/relay.conf" "$work/template.conf"
    not_restarted=$(sed -n 's/^RestartPreventExitStatus=//p' "$unit")
    refused() {
        local status=0
        env -u QV450_OPERATOR_TOKEN timeout 10 "$relay_root/usr/bin/qv450-relay" --config "$1" \
            --bind 127.0.0.1 --tool-port 0 --operator-port 0 >"$work/refused.log" 2>&1 || status=$?
        grep -qw -- "$status" <<<"$not_restarted" && head -1 "$work/refused.log" | grep -q /etc/qv450/relay.conf
    }
    for config in stand-in template; do
        check "with the $config configuration the server stops for good, saying how to set a token" \
            refused "$work/$config.conf"
    done

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

echo "=== installing and purging in a scratch root"
# dpkg into a folder of its own, the maintainer scripts told by DPKG_ROOT. As on a clean
# system, the folders the packages go in exist before; /opt belongs to no package.
sysroot=$work/sysroot
system_folders=(/etc /etc/systemd /etc/systemd/system /lib /usr /var /var/lib /var/lib/systemd)
for folder in "${system_folders[@]}" /opt /var/lib/dpkg/info /var/lib/dpkg/updates; do
    mkdir -p "$sysroot$folder"
done
printf '%s\n' /. "${system_folders[@]}" >"$sysroot/var/lib/dpkg/info/base-files.list"
printf 'Package: base-files\nStatus: install ok installed\nMaintainer: none\nVersion: 1\nArchitecture: all\nDescription: folders of the system\n' \
    >"$sysroot/var/lib/dpkg/status"
touch "$sysroot/var/lib/dpkg/available"
tree() { (cd "$sysroot" && find . -path ./var/lib/dpkg -prune -o -print | sort); }
before=$(tree)
in_sysroot() {
    PATH="$PATH:/usr/sbin:/sbin" dpkg --root="$sysroot" --log=/dev/null --force-not-root \
        --force-script-chrootless --force-depends "$@" >>"$work/dpkg.log" 2>&1
}
check "dpkg installs the packages" in_sysroot --install "${debs[@]}"
check "the program is installed" test -x "$sysroot$prefix/bin/qv450"
if [ -n "$with_relay" ]; then
    conf=$sysroot/etc/qv450/relay.conf
    check "the relay's configuration is made, readable by root only" test "$(stat -c %a "$conf")" = 600
    check "the relay's service is enabled" \
        test -L "$sysroot/etc/systemd/system/multi-user.target.wants/qv450-relay.service"
    "$sysroot/usr/bin/qv450-relay" --config "$conf" --bind 127.0.0.1 \
        --tool-port 0 --operator-port 0 >"$work/relay.log" 2>&1 &
    relay_pid=$!
    sleep 1
    check "the server runs with the configuration the package made" kill -0 "$relay_pid"
    kill "$relay_pid" 2>/dev/null || true
    wait "$relay_pid" 2>/dev/null || true
    relay_pid=
fi
check "dpkg purges the packages" in_sysroot --purge qv450 $([ -n "$with_relay" ] && echo qv450-relay)
after=$(tree)
check "purging leaves what was there before, /opt included, and nothing more" test "$before" = "$after"
[ "$before" = "$after" ] || diff <(echo "$before") <(echo "$after") || true

if [ "$failures" -ne 0 ]; then
    echo "$failures package checks failed"
    for log in relay.log refused.log dpkg.log nginx/error.log; do
        if [ -s "$work/$log" ]; then echo "--- $log"; cat "$work/$log"; fi
    done
    exit 1
fi
echo "all package checks passed"
