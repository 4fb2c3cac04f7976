#!/usr/bin/env bash
# Boots Debian's kernel under QEMU on the host's / and runs the named scenarios inside (tests/system/guest.sh);
# exits non-zero naming the scenario and step that failed.
#   tests/system/run.sh [--build DIR] SCENARIO... | all
# The scenarios are the functions of tests/system/scenarios.sh; "all" runs every one it lists, in one guest.
# Builds nothing and takes no lock: the caller holds the machine's build lock, as for any build or test run.
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/system.sh
source "$here/../../scripts/system.sh"

build=$ORX_SYSTEM_ROOT/build
if [ "${1:-}" = --build ]; then
    build=$(cd "$2" && pwd)
    shift 2
fi
[ $# -gt 0 ] || { echo "usage: $0 [--build DIR] SCENARIO... | all" >&2; exit 2; }
name=$(IFS=-; echo "$*")
if [ "$*" = all ]; then
    # shellcheck disable=SC2046
    set -- $(sed -n 's/^SCENARIOS="\(.*\)"$/\1/p' "$here/scenarios.sh")
fi
for tool in tools/orx-amp-sim/orx-amp-sim tools/orx-tevo/orx-tevo tests/e2e/orx_user_session_alsa_tests \
    tests/system/orx_system_window_tests; do
    [ -x "$build/$tool" ] || { echo "system: $build/$tool is not built" >&2; exit 2; }
done

orx_system_packages >&2
kroot=$(orx_system_kernel)
initrd=$(orx_system_initrd "$kroot")
kernel=$(echo "$kroot"/boot/vmlinuz-*)

results=$ORX_SYSTEM_CACHE/results/$name
rm -rf "$results"
mkdir -p "$results"

# No KVM: a KVM guest hangs at boot on these machines; TCG boots in about 15 s.
append="console=ttyS0 edd=off panic=-1 loglevel=4 orx_guest=$here/guest.sh orx_scenarios=$(IFS=,; echo "$*")"
append+=" orx_results=$results orx_build=$build orx_kroot=$kroot"
start=$(date +%s)
rc=0
# A bound on the whole guest, however its scenarios hang: the boot and three minutes a scenario.
timeout "${ORX_SYSTEM_TIMEOUT:-$((60 + 180 * $#))}" qemu-system-x86_64 -accel tcg -cpu max -m 2G -smp 2 -nographic \
    -kernel "$kernel" -initrd "$initrd" -append "$append" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=passthrough,multidevs=remap,id=hostroot \
    -nic none -no-reboot </dev/null >"$results/console.log" 2>&1 || rc=$?
echo "system: QEMU ran $(($(date +%s) - start)) s (exit $rc); console log $results/console.log"

failed=0
for scenario in "$@"; do
    result=$(cat "$results/$scenario.result" 2>/dev/null || true)
    if [ "$result" = pass ]; then
        echo "system: $scenario: pass"
        continue
    fi
    failed=1
    [ -n "$result" ] || result="fail boot: no result (QEMU exit $rc$([ "$rc" = 124 ] && echo ', timed out'))"
    echo "system: $scenario: $result"
    if [ -s "$results/$scenario.log" ]; then
        echo "---- $scenario.log"
        cat "$results/$scenario.log"
    else
        echo "---- console (last 60 lines)"
        tail -n 60 "$results/console.log"
    fi
done
exit "$failed"
