#!/bin/bash
# Runs inside the QEMU guest as its first process, on the host's / shared over 9p: sets up what a Linux
# desktop would have (tmpfs where 9p cannot hold FIFOs or sockets, the sound modules, configfs), runs the
# scenarios named on the kernel command line, writes one result file each and powers the guest off.
# SPDX-License-Identifier: GPL-3.0-or-later
set -u
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

scenarios= results= build= kroot=
for word in $(cat /proc/cmdline); do
    case $word in
        orx_scenarios=*) scenarios=${word#orx_scenarios=} ;;
        orx_results=*) results=${word#orx_results=} ;;
        orx_build=*) build=${word#orx_build=} ;;
        orx_kroot=*) kroot=${word#orx_kroot=} ;;
    esac
done

halt_guest() {
    [ -d "$results" ] && dmesg >"$results/dmesg.log" 2>&1
    sync
    exec busybox poweroff -f
}

if [ -z "$results" ] || [ ! -d "$results" ]; then
    echo "guest: no results folder ($results)"
    halt_guest
fi

# The host's /tmp stays the host's: whatever the programs leave there (locks, sockets) goes with the guest.
# A checkout, build or results folder that lives under the host's /tmp (a CI clone, say) is kept in view.
mount -t tmpfs -o mode=755 tmpfs /run
mkdir -p /run/host-tmp
mount --bind /tmp /run/host-tmp
mount -t tmpfs -o mode=1777 tmpfs /tmp
for path in "$0" "$results" "$build" "$kroot"; do
    case $path in
        /tmp/?*)
            top=${path#/tmp/}
            top=${top%%/*}
            if [ ! -d "/tmp/$top" ]; then
                mkdir -p "/tmp/$top"
                mount --bind "/run/host-tmp/$top" "/tmp/$top"
            fi
            ;;
    esac
done
mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
ln -sf /proc/self/fd /dev/fd
ln -sf /proc/self/fd/0 /dev/stdin
ln -sf /proc/self/fd/1 /dev/stdout
ln -sf /proc/self/fd/2 /dev/stderr

export XDG_RUNTIME_DIR=/run/user
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export ORX_SIMULATED_AMP=0

AMP_SIM=$build/tools/orx-amp-sim/orx-amp-sim
TEVO=$build/tools/orx-tevo/orx-tevo
GADGET=/sys/kernel/config/usb_gadget/orx

# shellcheck source=scenarios.sh
source "$(dirname "${BASH_SOURCE[0]}")/scenarios.sh"

modules_ok=1
for mod in snd-seq snd-seq-midi dummy_hcd libcomposite usb_f_midi snd-usb-audio; do
    if ! modprobe -d "$kroot" "$mod"; then
        echo "guest: modprobe $mod failed"
        modules_ok=0
    fi
done
# configfs is a module here (libcomposite pulls it in), so it can only be mounted now.
mountpoint -q /sys/kernel/config || mount -t configfs configfs /sys/kernel/config

# One virtual X display for every scenario that shows the window, started once: it takes a while under emulation.
if [[ ,$scenarios, == *,usb-window-* ]]; then
    Xvfb :5 -screen 0 1280x900x24 -nolisten tcp >"$results/xvfb.log" 2>&1 &
fi

# Job control: each scenario runs in a process group of its own, so a hung one is stopped with all it started.
set -m
SCENARIO_LIMIT=240
for scenario in ${scenarios//,/ }; do
    out=$results/$scenario.result
    log=$results/$scenario.log
    if [ "$modules_ok" != 1 ]; then
        echo "fail modules: a sound or gadget module did not load (see the console log)" >"$out"
        continue
    fi
    if ! declare -F "scenario_${scenario//-/_}" >/dev/null; then
        echo "fail unknown: no scenario named $scenario" >"$out"
        continue
    fi
    echo "guest: scenario $scenario"
    started=$(date +%s)
    # A subshell each, so a failed step ends only its own scenario and its helpers are stopped with it.
    (
        RESULT=$out
        WORK=$(mktemp -d /tmp/"$scenario".XXXXXX)
        # A home of each scenario's own: the programs write settings and the IR library, which must neither
        # land in the host's home nor carry over from one scenario to the next.
        export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config
        mkdir -p "$HOME"
        trap cleanup EXIT
        "scenario_${scenario//-/_}"
        echo pass >"$RESULT"
    ) >"$log" 2>&1 &
    scenario_pid=$!
    # A scenario that hangs is stopped, with what its processes were waiting on, and the others still run.
    (
        sleep "$SCENARIO_LIMIT"
        {
            echo "-- the scenario ran past $SCENARIO_LIMIT s; its processes:"
            ps -eo pid,pgid,stat,wchan:32,args
        } >>"$log" 2>&1
        echo "fail timeout: still running after $SCENARIO_LIMIT s (its processes are listed in its log)" >"$out"
        kill -KILL -- -"$scenario_pid" 2>/dev/null
    ) &
    watchdog=$!
    wait "$scenario_pid"
    kill "$watchdog" 2>/dev/null
    wait "$watchdog" 2>/dev/null
    [ -s "$out" ] || echo "fail unknown: the scenario ended without a result" >"$out"
    # What a killed scenario could not take apart itself.
    [ -e "$GADGET" ] && remove_gadget >/dev/null 2>&1
    echo "guest: $scenario: $(cat "$out") ($(($(date +%s) - started)) s)"
done
halt_guest
