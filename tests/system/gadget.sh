#!/bin/bash
# The amp on USB inside the guest: a USB MIDI gadget on dummy_hcd that snd-usb-audio drives as it drives a real
# amp, its own side wired to orx-amp-sim's ALSA ports. Sourced by scenarios.sh for its functions, and run as a
# command by the test programs that pull the cable themselves:
#   gadget.sh make PRODUCT    make and plug in a device named PRODUCT, joined to the simulator; prints its port
#   gadget.sh unplug          pull the cable; returns once its sequencer port is gone
#   gadget.sh plug [--move]   plug it in again (--move: at other sequencer numbers); prints its port
#   gadget.sh remove          unplug it and take it apart
# The simulator's ports are found by their name, SIM_PORT_NAME (default "TEVO MIDI 1"). Prints "usb-port C:P".
# SPDX-License-Identifier: GPL-3.0-or-later

GADGET=${GADGET:-/sys/kernel/config/usb_gadget/orx}
SIM_PORT_NAME=${SIM_PORT_NAME:-TEVO MIDI 1}
# The device's product string: snd-usb-audio names the sequencer client and its port after it. The amp's own
# carries the marker the program looks for; a scenario sets another to be a device it must not take as such.
GADGET_PRODUCT=${GADGET_PRODUCT:-Kovalex/ORX Tevo}

if ! declare -F fail >/dev/null; then
    fail() {
        echo "gadget: $*" >&2
        exit 1
    }
fi

# wait_for SECONDS COMMAND...: polls COMMAND every 0.2 s until it succeeds, for SECONDS of the clock (a poll that
# itself takes seconds, as a JACK client's start does under emulation, counts with its own time).
wait_for() {
    local until=$(($(date +%s) + $1))
    shift
    while ! "$@" >/dev/null 2>&1; do
        [ "$(date +%s)" -lt "$until" ] || return 1
        sleep 0.2
    done
}

# seq_port CLIENT_PATTERN PORT_PATTERN: prints "client:port" of the first sequencer port whose client and
# port names match (extended regular expressions), as aconnect -l lists them (or SEQ_LISTING, a listing taken
# once for several lookups: each aconnect takes a while under emulation).
seq_port() {
    local listing=${SEQ_LISTING:-}
    [ -n "$listing" ] || listing=$(aconnect -l)
    awk -v cp="$1" -v pp="$2" '
        /^client [0-9]+:/ {
            client = $2; sub(":", "", client)
            name = $0; sub(/^client [0-9]+: \047/, "", name); sub(/\047 \[.*$/, "", name)
            next
        }
        /^    [0-9]+ \047/ {
            port = $1
            pname = $0; sub(/^    [0-9]+ \047/, "", pname); sub(/ *\047.*$/, "", pname)
            if (name ~ cp && pname ~ pp) { print client ":" port; exit }
        }' <<<"$listing"
}

has_seq_port() {
    [ -n "$(seq_port "$1" "$2")" ]
}

# The kernel tree the modules come from, as the guest was told on its command line.
gadget_kroot() {
    local word
    for word in $(cat /proc/cmdline); do
        case $word in orx_kroot=*) echo "${word#orx_kroot=}" ;; esac
    done
}

# make_gadget: a USB MIDI device with one input and one output port named by GADGET_PRODUCT, bound to
# dummy_hcd's device side, so snd-usb-audio sees it as it sees the amp.
make_gadget() {
    mkdir "$GADGET" || return 1
    echo 0x1d6b >"$GADGET/idVendor"
    echo 0x0104 >"$GADGET/idProduct"
    mkdir "$GADGET/strings/0x409"
    echo "Kovalex" >"$GADGET/strings/0x409/manufacturer"
    echo "$GADGET_PRODUCT" >"$GADGET/strings/0x409/product"
    echo "0001" >"$GADGET/strings/0x409/serialnumber"
    mkdir "$GADGET/configs/c.1" "$GADGET/configs/c.1/strings/0x409"
    echo "MIDI" >"$GADGET/configs/c.1/strings/0x409/configuration"
    mkdir "$GADGET/functions/midi.usb0"
    echo 1 >"$GADGET/functions/midi.usb0/in_ports"
    echo 1 >"$GADGET/functions/midi.usb0/out_ports"
    ln -s "$GADGET/functions/midi.usb0" "$GADGET/configs/c.1/"
    bind_gadget
}

bind_gadget() {
    echo dummy_udc.0 >"$GADGET/UDC"
}

unbind_gadget() {
    echo "" >"$GADGET/UDC"
}

remove_gadget() {
    unbind_gadget 2>/dev/null
    rm -f "$GADGET/configs/c.1/midi.usb0"
    rmdir "$GADGET/configs/c.1/strings/0x409" "$GADGET/configs/c.1" "$GADGET/functions/midi.usb0" \
        "$GADGET/strings/0x409" "$GADGET" 2>/dev/null
    modprobe -r -d "$(gadget_kroot)" snd-virmidi 2>/dev/null
    return 0
}

# join_gadget_to_sim: the gadget's own side (what the amp's firmware would be) wired both ways to the
# simulated amp's ports; sets USB_PORT (the host's view, as the programs see the amp) and GADGET_PORT.
join_gadget_to_sim() {
    wait_for 20 gadget_listed || fail "no sequencer port of the USB device ($USB_PORT) or of the gadget's side ($GADGET_PORT)"
    local sim_in sim_out
    sim_in=$(seq_port '^orx-amp-sim-in$' "^$SIM_PORT_NAME\$")
    sim_out=$(seq_port '^orx-amp-sim-out$' "^$SIM_PORT_NAME\$")
    SEQ_LISTING=
    [ -n "$sim_in" ] && [ -n "$sim_out" ] || fail "orx-amp-sim's ports are not listed"
    aconnect "$GADGET_PORT" "$sim_in" || fail "aconnect $GADGET_PORT $sim_in"
    aconnect "$sim_out" "$GADGET_PORT" || fail "aconnect $sim_out $GADGET_PORT"
    echo "USB port $USB_PORT, gadget port $GADGET_PORT, simulator in $sim_in out $sim_out"
}

# gadget_listed: both sides of the gadget are in one listing of the sequencer, kept in SEQ_LISTING; sets USB_PORT
# (the host's view, the client named by the product string) and GADGET_PORT (the gadget's own side, f_midi).
gadget_listed() {
    SEQ_LISTING=$(aconnect -l)
    USB_PORT=$(seq_port "^$GADGET_PRODUCT\$" ' MIDI 1$')
    GADGET_PORT=$(seq_port '^f_midi$' '')
    [ -n "$USB_PORT" ] && [ -n "$GADGET_PORT" ]
}

# unplug_gadget: the USB device unbound, as pulling its cable; returns once its sequencer port is gone.
unplug_gadget() {
    unbind_gadget || fail "the gadget could not be unbound"
    wait_for 20 eval '! has_seq_port "^$GADGET_PRODUCT\$" " MIDI 1\$"' || fail "the USB port stayed after unbinding"
}

# replug_gadget: the unplugged device bound again and joined to the simulated amp again.
replug_gadget() {
    bind_gadget || fail "the gadget could not be bound again"
    join_gadget_to_sim
}

# replug_gadget_moved: the unplugged device bound again at other sequencer numbers than USB_PORT's. A freed
# sound card's number is given to the next card, so the device would come back as it was; another card taking
# that number meanwhile (as a second device plugged in would) moves it, as on a busy desktop.
replug_gadget_moved() {
    local before=$USB_PORT
    modprobe -d "$(gadget_kroot)" snd-virmidi midi_devs=1 || fail "modprobe snd-virmidi failed"
    wait_for 20 has_seq_port '^Virtual Raw MIDI' '' || fail "no sequencer client of snd-virmidi"
    replug_gadget
    [ -z "$before" ] || [ "$USB_PORT" != "$before" ] || fail "the USB port came back as $USB_PORT, its old number"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -u
    echo "gadget: $* at $(date +%T.%N | cut -c1-12)" >&2
    [ -e "$GADGET/strings/0x409/product" ] && GADGET_PRODUCT=$(cat "$GADGET/strings/0x409/product")
    case "${1:-}" in
        make)
            [ $# = 2 ] || fail "usage: $0 make PRODUCT"
            GADGET_PRODUCT=$2
            make_gadget || fail "the gadget could not be made or bound"
            join_gadget_to_sim >&2
            ;;
        unplug) unplug_gadget ;;
        plug)
            USB_PORT=
            if [ "${2:-}" = --move ]; then replug_gadget_moved >&2; else replug_gadget >&2; fi
            ;;
        remove) remove_gadget ;;
        *) fail "usage: $0 make PRODUCT | unplug | plug [--move] | remove" ;;
    esac
    [ -z "${USB_PORT:-}" ] || echo "usb-port $USB_PORT"
    echo "gadget: $1 done at $(date +%T.%N | cut -c1-12)" >&2
    exit 0
fi
