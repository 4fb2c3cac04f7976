# Shared by the system tests (tests/system/): the packages, the Debian kernel unpacked beside the build and the
# initramfs that boots it under QEMU with the host's / shared over 9p.
# The kernel these machines run has no ALSA sequencer, so the real Linux MIDI stack (snd-seq, snd-usb-audio and
# a USB MIDI gadget on dummy_hcd) is only reached inside a guest running Debian's own kernel.
# SPDX-License-Identifier: GPL-3.0-or-later

ORX_SYSTEM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=common.sh
source "$ORX_SYSTEM_ROOT/scripts/common.sh"

# The guest runs the host's programs: JACK with a2jmidid's bridge and PipeWire (with its own session bus) are
# the other ways a desktop reaches the amp's USB ports; the window runs on a virtual X display.
ORX_SYSTEM_PACKAGES=(qemu-system-x86 busybox-static kmod cpio alsa-utils sox jackd2 a2jmidid dbus-daemon pipewire pipewire-bin
                     pipewire-jack wireplumber xvfb xauth)

# Kept out of the repo: the build folder is ignored.
ORX_SYSTEM_CACHE=${ORX_SYSTEM_CACHE:-$ORX_SYSTEM_ROOT/build/system}

orx_system_packages() {
    orx_install_packages "${ORX_SYSTEM_PACKAGES[@]}"
}

# orx_system_kernel: prints the unpacked kernel folder (KROOT), unpacking the versioned package once.
# The package is never installed: the host keeps running its own kernel.
orx_system_kernel() {
    local pkg
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n1)
    if [ -z "$pkg" ]; then
        apt-get update >&2
        pkg=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n1)
    fi
    [ -n "$pkg" ] || { echo "system: no versioned linux-image package found" >&2; return 1; }
    local kroot=$ORX_SYSTEM_CACHE/kernel/$pkg
    if [ ! -e "$kroot/.unpacked" ]; then
        mkdir -p "$ORX_SYSTEM_CACHE/kernel/deb"
        (cd "$ORX_SYSTEM_CACHE/kernel/deb" && apt-get download "$pkg" >&2) || return 1
        rm -rf "$kroot"
        mkdir -p "$kroot"
        dpkg-deb -x "$ORX_SYSTEM_CACHE"/kernel/deb/"$pkg"_*.deb "$kroot" || return 1
        # The package leaves modules.dep to its postinst, which an unpacked copy never runs.
        depmod -b "$kroot" "$(orx_system_kver "$kroot")" || return 1
        touch "$kroot/.unpacked"
    fi
    echo "$kroot"
}

# orx_system_kver KROOT: the kernel release of the unpacked kernel (its lib/modules folder's name).
orx_system_kver() {
    local d
    for d in "$1"/lib/modules/*/; do
        basename "$d"
        return 0
    done
    return 1
}

# orx_system_initrd KROOT: prints the initramfs (busybox, the 9p and virtio modules, tests/system/init),
# made again whenever the init script or the kernel is newer than it.
orx_system_initrd() {
    local kroot=$1 kver initrd init=$ORX_SYSTEM_ROOT/tests/system/init
    kver=$(orx_system_kver "$kroot") || return 1
    initrd=$ORX_SYSTEM_CACHE/initrd-$kver.cpio.gz
    if [ -e "$initrd" ] && [ "$initrd" -nt "$init" ] && [ "$initrd" -nt "$kroot/.unpacked" ]; then
        echo "$initrd"
        return 0
    fi
    local stage
    stage=$(mktemp -d "$ORX_SYSTEM_CACHE/initrd.XXXXXX") || return 1
    mkdir -p "$stage"/{bin,sbin,proc,sys,dev,newroot,modules}
    cp /bin/busybox "$stage/bin/busybox"
    local applet
    for applet in sh mount umount mkdir ln cat echo insmod sleep switch_root chroot poweroff mknod ls; do
        ln -s busybox "$stage/bin/$applet"
    done
    # In dependency order, one per line; the init inserts them as listed.
    local mod
    : >"$stage/modules/order"
    for mod in virtio_pci 9pnet_virtio 9p; do
        modprobe -d "$kroot" -S "$kver" --show-depends "$mod" | while read -r kind path _; do
            [ "$kind" = insmod ] || continue
            local name
            name=$(basename "$path")
            grep -qx "$name" "$stage/modules/order" && continue
            cp "$path" "$stage/modules/$name"
            echo "$name" >>"$stage/modules/order"
        done
    done
    cp "$init" "$stage/init"
    chmod +x "$stage/init"
    (cd "$stage" && find . | cpio -o -H newc --quiet | gzip -1) >"$initrd.tmp" || { rm -rf "$stage"; return 1; }
    mv "$initrd.tmp" "$initrd"
    rm -rf "$stage"
    echo "$initrd"
}
