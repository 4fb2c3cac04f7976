# The scenarios the guest runs, one function each (scenario_NAME, dashes as underscores), and their helpers.
# Each runs in a subshell of its own with RESULT (its result file) and WORK (a scratch folder on tmpfs) set;
# a failing step writes "fail STEP: why" to RESULT and ends the subshell.
# SPDX-License-Identifier: GPL-3.0-or-later

STEP=start
PIDS=()

step() {
    STEP=$1
    echo "== step $STEP"
}

fail() {
    echo "fail $STEP: $*" >"$RESULT"
    echo "FAILED at $STEP: $*"
    echo "-- sequencer clients:"
    aconnect -l 2>&1
    echo "-- kernel messages (last 30):"
    dmesg | tail -n 30
    exit 1
}

cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${PIDS[@]}"; do
        wait "$pid" 2>/dev/null
    done
    [ -e "$GADGET/UDC" ] && remove_gadget
    modprobe -r -d "$kroot" snd-virmidi 2>/dev/null
    return 0
}

# wait_for SECONDS COMMAND...: polls COMMAND every 0.2 s until it succeeds.
wait_for() {
    local tries=$(($1 * 5))
    shift
    while ! "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.2
    done
}

# start_amp_sim [options...]: the simulated amp on ALSA ports, commands on a FIFO kept open for it.
start_amp_sim() {
    mkfifo "$WORK/sim.in"
    "$AMP_SIM" --api alsa "$@" <"$WORK/sim.in" >"$WORK/sim.out" 2>&1 &
    PIDS+=($!)
    exec 7>"$WORK/sim.in"
    wait_for 20 grep -q '^ready' "$WORK/sim.out" || { cat "$WORK/sim.out"; fail "orx-amp-sim did not get ready"; }
    cat "$WORK/sim.out"
}

# tevo ARGS...: orx-tevo on ALSA, its output in $WORK/tevo.out and shown in the log; returns its exit code.
tevo() {
    local rc=0
    timeout 120 "$TEVO" --midi-api alsa "$@" >"$WORK/tevo.out" 2>&1 || rc=$?
    echo "\$ orx-tevo --midi-api alsa $* (exit $rc)"
    cat "$WORK/tevo.out"
    return "$rc"
}

# expect_line TEXT: the last orx-tevo output holds a line with TEXT.
expect_line() {
    grep -qF -- "$1" "$WORK/tevo.out" || fail "orx-tevo printed no line with \"$1\""
}

# expect_connected: the last orx-tevo output says it talked to the USB device's port both ways, at the numbers
# the device has now (USB_PORT), not at ones it had before.
expect_connected() {
    local port="Kovalex/ORX Tevo:Kovalex/ORX Tevo MIDI 1 $USB_PORT"
    expect_line "Connected: input \"$port\", output \"$port\""
}

# seq_port CLIENT_PATTERN PORT_PATTERN: prints "client:port" of the first sequencer port whose client and
# port names match (extended regular expressions), as aconnect -l lists them.
seq_port() {
    aconnect -l | awk -v cp="$1" -v pp="$2" '
        /^client [0-9]+:/ {
            client = $2; sub(":", "", client)
            name = $0; sub(/^client [0-9]+: \047/, "", name); sub(/\047 \[.*$/, "", name)
            next
        }
        /^    [0-9]+ \047/ {
            port = $1
            pname = $0; sub(/^    [0-9]+ \047/, "", pname); sub(/ *\047.*$/, "", pname)
            if (name ~ cp && pname ~ pp) { print client ":" port; exit }
        }'
}

has_seq_port() {
    [ -n "$(seq_port "$1" "$2")" ]
}

# make_gadget: a USB MIDI device with one input and one output port whose product string carries the amp's
# marker, bound to dummy_hcd's device side, so snd-usb-audio sees it as it sees the amp.
make_gadget() {
    mkdir "$GADGET" || return 1
    echo 0x1d6b >"$GADGET/idVendor"
    echo 0x0104 >"$GADGET/idProduct"
    mkdir "$GADGET/strings/0x409"
    echo "Kovalex" >"$GADGET/strings/0x409/manufacturer"
    echo "Kovalex/ORX Tevo" >"$GADGET/strings/0x409/product"
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
}

# join_gadget_to_sim: the gadget's own side (what the amp's firmware would be) wired both ways to the
# simulated amp's ports; sets USB_PORT (the host's view, as orx-tevo sees the amp) and GADGET_PORT.
join_gadget_to_sim() {
    wait_for 20 has_seq_port '^Kovalex/ORX Tevo$' ' MIDI 1$' || fail "no sequencer port of the USB device"
    wait_for 20 has_seq_port '^f_midi$' '' || fail "no sequencer client f_midi of the gadget's side"
    USB_PORT=$(seq_port '^Kovalex/ORX Tevo$' ' MIDI 1$')
    GADGET_PORT=$(seq_port '^f_midi$' '')
    local sim_in sim_out
    sim_in=$(seq_port '^orx-amp-sim-in$' "^$SIM_PORT_NAME\$")
    sim_out=$(seq_port '^orx-amp-sim-out$' "^$SIM_PORT_NAME\$")
    [ -n "$sim_in" ] && [ -n "$sim_out" ] || fail "orx-amp-sim's ports are not listed"
    aconnect "$GADGET_PORT" "$sim_in" || fail "aconnect $GADGET_PORT $sim_in"
    aconnect "$sim_out" "$GADGET_PORT" || fail "aconnect $sim_out $GADGET_PORT"
    echo "USB port $USB_PORT, gadget port $GADGET_PORT, simulator in $sim_in out $sim_out"
    aconnect -l
}

scenario_alsa_virtual() {
    step "amp-sim"
    start_amp_sim
    step "status"
    tevo status || fail "orx-tevo status exited non-zero"
    expect_line 'Connected: input "orx-amp-sim-out:Kovalex/ORX Simulator'
    expect_line "Model: 2"
    expect_line "Channel I: amp type MODERN"
    expect_line 'Slot I  LEAD    "Factory LEAD I"'

    step "make-wav"
    sox -n -r 44100 -b 16 -c 1 "$WORK/Warm Cab.wav" synth 0.05 sine 1000 fade 0 0.05 0.04 ||
        fail "sox could not write the WAV"
    step "install"
    tevo install "$WORK/Warm Cab.wav" --channel I --type LEAD --gain -4.5 || fail "orx-tevo install exited non-zero"
    step "status-after-install"
    tevo status || fail "orx-tevo status exited non-zero"
    grep -qE '^Slot I +LEAD +"Warm Cab" +gain +-4\.5 dB$' "$WORK/tevo.out" ||
        fail "slot I LEAD does not hold \"Warm Cab\" at -4.5 dB"
    expect_line 'Slot I  MODERN  "Factory MODERN I"'
}

SIM_PORT_NAME="TEVO MIDI 1"

scenario_usb_marker() {
    step "amp-sim"
    start_amp_sim --port-name "$SIM_PORT_NAME"
    step "gadget"
    make_gadget || fail "the gadget could not be made or bound"
    join_gadget_to_sim
    step "ports"
    tevo ports || fail "orx-tevo ports exited non-zero"
    expect_line "Kovalex/ORX Tevo"
    cp "$WORK/tevo.out" "${RESULT%.result}.ports"
    step "status"
    tevo status || fail "orx-tevo status exited non-zero"
    expect_connected
    expect_line "Model: 2"
    expect_line "Channel I: amp type MODERN"
}

scenario_usb_unplug() {
    step "amp-sim"
    start_amp_sim --port-name "$SIM_PORT_NAME"
    step "gadget"
    make_gadget || fail "the gadget could not be made or bound"
    join_gadget_to_sim
    local before=$USB_PORT
    step "status-plugged"
    tevo status || fail "orx-tevo status exited non-zero"
    expect_connected

    step "unplug"
    unbind_gadget || fail "the gadget could not be unbound"
    wait_for 20 eval '! has_seq_port "^Kovalex/ORX Tevo\$" " MIDI 1\$"' || fail "the USB port stayed after unbinding"
    step "status-unplugged"
    if tevo --timeout 2000 status; then
        fail "orx-tevo status found an amp with the device unplugged"
    fi
    grep -qF "Kovalex/ORX Tevo" "$WORK/tevo.out" && fail "orx-tevo still names the unplugged device"

    # A freed sound card's number is given to the next card, so the device would come back as it was; another
    # card taking that number meanwhile (as a second device plugged in would) moves it, as on a busy desktop.
    step "other-card"
    modprobe -d "$kroot" snd-virmidi midi_devs=1 || fail "modprobe snd-virmidi failed"
    wait_for 20 has_seq_port '^Virtual Raw MIDI' '' || fail "no sequencer client of snd-virmidi"
    step "replug"
    bind_gadget || fail "the gadget could not be bound again"
    join_gadget_to_sim
    [ "$USB_PORT" != "$before" ] || fail "the USB port came back as $USB_PORT, its old number"
    step "status-replugged"
    tevo status || fail "orx-tevo status exited non-zero after plugging in again"
    expect_connected
    expect_line "Model: 2"
}
