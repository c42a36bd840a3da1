#!/usr/bin/env bash
# The tool on a real USB bus. Boots Debian's own kernel under qemu (software emulation),
# where dummy_hcd gives two USB device controllers wired to a USB host, and runs the
# guest cases (guest_cases.sh) in this machine's own file tree, shared read-only:
# modules served by qv450-sim-usb, reached through the kernel's HID, hidraw and CDC ACM
# drivers. The kernel package comes from Debian's archive into BUILD/vm, unpacked there
# and never installed. Fails, saying why, when anything keeps the guest from running.
# Usage: run_vm_bed.sh BUILD_DIR [CASE...]    (no case: every case)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
shift
cases=${*:-all}
vm=$build/vm
mkdir -p "$vm"

fail() {
    echo "vm bed: FAIL: $*" >&2
    exit 1
}
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

for tool in qemu-system-x86_64 cpio depmod modprobe dpkg-deb apt-get; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
# The guest's first program: it must run without the host's libraries.
[ -x /bin/busybox ] && ! ldd /bin/busybox >/dev/null 2>&1 || fail "/bin/busybox is not the static one (package busybox-static)"

# Debian's current kernel package, e.g. linux-image-6.1.0-57-amd64.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -1
}
package=$(kernel_package)
[ -n "$package" ] || { as_root apt-get update -qq && package=$(kernel_package); }
[ -n "$package" ] || fail "apt knows no linux-image-amd64: no kernel package to boot"

# The kernel and an initramfs of busybox, the modules the bed needs and its init; made
# once per kernel package and version of this script.
stamp="$package $(sha1sum "$0" | cut -c1-12)"
if [ "$(cat "$vm/stamp" 2>/dev/null)" != "$stamp" ]; then
    echo "vm bed: preparing $package"
    rm -rf "$vm/fetch" "$vm/initramfs" "$vm/stamp"
    mkdir -p "$vm/fetch/tree" "$vm/initramfs"/{bin,lib,proc,sys,dev,host}
    (cd "$vm/fetch" && apt-get download "$package" >/dev/null 2>&1) ||
        (as_root apt-get update -qq && cd "$vm/fetch" && apt-get download "$package" >/dev/null) ||
        fail "cannot fetch $package from Debian's archive"
    dpkg-deb --fsys-tarfile "$vm"/fetch/*.deb | tar -x -C "$vm/fetch/tree" ./boot ./lib/modules
    version=$(ls "$vm/fetch/tree/lib/modules")
    depmod -b "$vm/fetch/tree" "$version"
    cp "$vm/fetch/tree/boot/vmlinuz-$version" "$vm/vmlinuz"
    # Each module the bed loads, after the ones it needs, in loading order.
    for module in virtio_pci 9pnet_virtio 9p configfs libcomposite usb_f_hid usb_f_acm dummy_hcd usbhid \
                  hid_generic cdc_acm; do
        modprobe -d "$vm/fetch/tree" -S "$version" --show-depends "$module"
    done | awk '$1 == "insmod" && !seen[$2]++ { print $2 }' | while read -r path; do
        cp "$path" "$vm/initramfs/lib/"
        basename "$path" >>"$vm/initramfs/modules"
    done
    cp /bin/busybox "$vm/initramfs/bin/"
    cat >"$vm/initramfs/init" <<'EOF'
#!/bin/busybox sh
# Loads the drivers (dummy_hcd with two controllers), mounts the host's files read-only
# with writable /tmp and /run (keeping a checkout under the host's /tmp), and runs the guest cases in them.
/bin/busybox --install -s /bin
mount -t proc proc /proc && mount -t sysfs sys /sys && mount -t devtmpfs dev /dev
ln -s /proc/self/fd /dev/fd && ln -s fd/0 /dev/stdin && ln -s fd/1 /dev/stdout && ln -s fd/2 /dev/stderr
for m in $(cat /modules); do
    case $m in dummy_hcd.ko) insmod /lib/$m num=2 ;; *) insmod /lib/$m ;; esac || echo "vm bed: insmod $m failed"
done
mount -t configfs configfs /sys/kernel/config
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 host /host || echo "vm bed: the host's files are not there"
mount --rbind /dev /host/dev && mount --rbind /sys /host/sys && mount -t proc proc /host/proc
# The guest's own /tmp covers the host's: a checkout or build folder there is bound back.
mkdir -p /host-tmp && mount --bind /host/tmp /host-tmp
mount -t tmpfs tmpfs /host/tmp && mount -t tmpfs tmpfs /host/run
for dir in "$qv450_source" "$qv450_build"; do
    case $dir in /tmp/*) mkdir -p "/host$dir" && mount --bind "/host-tmp${dir#/tmp}" "/host$dir" ;; esac
done
mkdir -p /host/dev/shm /host/dev/pts && mount -t tmpfs tmpfs /host/dev/shm && mount -t devpts devpts /host/dev/pts
ip link set lo up
chroot /host /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin LANG=C.UTF-8 TERM=dumb \
    /bin/bash "$qv450_source/tests/vm/guest_cases.sh" "$qv450_build" $(echo "$qv450_cases" | tr , ' ')
echo "vm bed: guest exit $?"
poweroff -f
EOF
    chmod +x "$vm/initramfs/init"
    (cd "$vm/initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$vm/initramfs.gz"
    rm -rf "$vm/fetch"
    echo "$stamp" >"$vm/stamp"
fi

# Two processors: the tool, the module's server and the test each get time.
boot() {  # boot SECONDS ACCEL CASES: the guest's console on standard output
    timeout "$1" qemu-system-x86_64 -accel "$2" -smp 2 -m 2048 -nodefaults -no-reboot \
        -kernel "$vm/vmlinuz" -initrd "$vm/initramfs.gz" -display none -serial stdio -monitor none \
        -append "console=ttyS0 quiet panic=-1 qv450_source=\"$source_dir\" qv450_build=\"$build\" qv450_cases=$3" \
        -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap </dev/null 2>&1
}
# Software emulation, unless hardware acceleration is shown to boot the guest here
# (where /dev/kvm exists it can still hang at the firmware): tried once per build folder.
accel=tcg
if [ -w /dev/kvm ]; then
    if [ ! -f "$vm/kvm" ]; then
        boot 60 kvm none >"$vm/kvm.log" || true
        grep -q '^vm bed: guest exit' "$vm/kvm.log" && echo yes >"$vm/kvm" || echo no >"$vm/kvm"
    fi
    [ "$(cat "$vm/kvm")" = yes ] && accel=kvm
fi

echo "vm bed: booting $package ($accel) with cases: $cases"
log=$vm/console.log
set +e
boot "${QV450_VM_TIMEOUT:-1800}" $accel "${cases// /,}" | tr -d '\r' | tee "$log"
qemu_status=${PIPESTATUS[0]}
set -e
[ "$qemu_status" -eq 124 ] && fail "the guest did not finish within ${QV450_VM_TIMEOUT:-1800} s (log: $log)"
grep -q '^vm bed: guest exit' "$log" || fail "qemu exited with status $qemu_status before the guest ran its cases (log: $log)"
grep -q '^vm bed: guest exit 0$' "$log" || fail "guest cases failed (log: $log)"
