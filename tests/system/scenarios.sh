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

# tevo ARGS...: orx-tevo on TEVO_API's MIDI system (ALSA unless a scenario says otherwise), run through
# TEVO_WRAP when set (pw-jack), its output in $WORK/tevo.out and shown in the log; returns its exit code.
TEVO_API=alsa
TEVO_WRAP=()
tevo() {
    local rc=0
    timeout 120 "${TEVO_WRAP[@]}" "$TEVO" --midi-api "$TEVO_API" "$@" >"$WORK/tevo.out" 2>&1 || rc=$?
    echo "\$ ${TEVO_WRAP[*]}${TEVO_WRAP:+ }orx-tevo --midi-api $TEVO_API $* (exit $rc)"
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
    local port="$GADGET_PRODUCT:$GADGET_PRODUCT MIDI 1 $USB_PORT"
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

# The USB device's product string: snd-usb-audio names the sequencer client and its port after it. The amp's
# own carries the marker the program looks for; a scenario sets another to be a device it must not take as such.
GADGET_PRODUCT="Kovalex/ORX Tevo"

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
}

# join_gadget_to_sim: the gadget's own side (what the amp's firmware would be) wired both ways to the
# simulated amp's ports; sets USB_PORT (the host's view, as orx-tevo sees the amp) and GADGET_PORT.
join_gadget_to_sim() {
    wait_for 20 has_seq_port "^$GADGET_PRODUCT\$" ' MIDI 1$' || fail "no sequencer port of the USB device"
    wait_for 20 has_seq_port '^f_midi$' '' || fail "no sequencer client f_midi of the gadget's side"
    USB_PORT=$(seq_port "^$GADGET_PRODUCT\$" ' MIDI 1$')
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

# unplug_gadget: the USB device unbound, as pulling its cable; returns once its sequencer port is gone.
unplug_gadget() {
    unbind_gadget || fail "the gadget could not be unbound"
    wait_for 20 eval '! has_seq_port "^$GADGET_PRODUCT\$" " MIDI 1\$"' || fail "the USB port stayed after unbinding"
}

# replug_gadget_moved: the unplugged device bound again at other sequencer numbers than USB_PORT's, and joined
# to the simulated amp again. A freed sound card's number is given to the next card, so the device would come
# back as it was; another card taking that number meanwhile (as a second device plugged in would) moves it, as
# on a busy desktop.
replug_gadget_moved() {
    local before=$USB_PORT
    modprobe -d "$kroot" snd-virmidi midi_devs=1 || fail "modprobe snd-virmidi failed"
    wait_for 20 has_seq_port '^Virtual Raw MIDI' '' || fail "no sequencer client of snd-virmidi"
    bind_gadget || fail "the gadget could not be bound again"
    join_gadget_to_sim
    [ "$USB_PORT" != "$before" ] || fail "the USB port came back as $USB_PORT, its old number"
}

# sim_cmd COMMAND...: one console command to the simulated amp, its answer (without the --verbose message
# lines) in $WORK/sim.reply; fails the step when it answers "error:" or not at all.
sim_cmd() {
    local before
    before=$(wc -l <"$WORK/sim.out")
    echo "$*" >&7
    wait_for 20 sim_answered "$before" "$1" || fail "orx-amp-sim did not answer \"$*\""
    tail -n +"$((before + 1))" "$WORK/sim.out" | grep -v '^<- \|^-> ' >"$WORK/sim.reply"
    echo "orx-amp-sim> $*"
    cat "$WORK/sim.reply"
    grep -q '^error:' "$WORK/sim.reply" && fail "orx-amp-sim refused \"$*\""
    return 0
}

sim_answered() {
    tail -n +"$(($1 + 1))" "$WORK/sim.out" | grep -q "^ok $2\|^error:"
}

# sim_slot SLOT: the simulated amp's own record of slot SLOT (0-9), as its state command prints it, in SIM_SLOT.
sim_slot() {
    sim_cmd state >/dev/null
    SIM_SLOT=$(grep "^slot $1 " "$WORK/sim.reply") || fail "orx-amp-sim's state has no slot $1"
    echo "the amp holds: $SIM_SLOT"
}

# slot_status_line SLOT_LINE TYPE_LABEL: the line orx-tevo status must print for a slot the simulated amp
# describes with SLOT_LINE ("slot S fircoe N fnv1a X name \"...\""): its name, and its gain in the dial's
# half-dB steps as the program shows them.
slot_status_line() {
    awk -v label="$2" '{
        fircoe = $4 + 0
        name = $0; sub(/^[^"]*"/, "", name); sub(/"$/, "", name)
        g = fircoe >= 32768 ? fircoe - 65536 : fircoe
        if (g <= 0) gain = -30
        else {
            d = 20 * log(g / 16384) / log(10)
            gain = d < -30 ? -30 : d > 0 ? 0 : int(2 * d - 0.5) / 2
        }
        gain = int(gain * 10) / 10
        printf "%s\"%s\" +gain +%s dB\n", label, name, sprintf("%.1f", gain)
    }' <<<"$1"
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
    step "status-plugged"
    tevo status || fail "orx-tevo status exited non-zero"
    expect_connected

    step "unplug"
    unplug_gadget
    step "status-unplugged"
    if tevo --timeout 2000 status; then
        fail "orx-tevo status found an amp with the device unplugged"
    fi
    grep -qF "Kovalex/ORX Tevo" "$WORK/tevo.out" && fail "orx-tevo still names the unplugged device"

    step "replug"
    replug_gadget_moved
    step "status-replugged"
    tevo status || fail "orx-tevo status exited non-zero after plugging in again"
    expect_connected
    expect_line "Model: 2"
}

# The settings file as a user's choice in Edit > MIDI Ports... leaves it: the device's ports by name, without
# the sequencer numbers they had then.
remember_ports() {
    mkdir -p "$XDG_CONFIG_HOME/Veltra"
    printf '[MIDI]\nInputPort=%s\nOutputPort=%s\n' "$1" "$2" >"$XDG_CONFIG_HOME/Veltra/ORX_Tevo_Utility.ini"
    cat "$XDG_CONFIG_HOME/Veltra/ORX_Tevo_Utility.ini"
}

# The messages the simulated amp has received so far (its --verbose "<-" lines).
sim_received() {
    grep -c '^<- ' "$WORK/sim.out"
}

scenario_usb_remembered() {
    # What a real amp's cable looks like to Linux: the product string holds no marker.
    GADGET_PRODUCT=TEVO
    step "amp-sim"
    start_amp_sim --port-name "$SIM_PORT_NAME" --verbose
    step "gadget"
    make_gadget || fail "the gadget could not be made or bound"
    join_gadget_to_sim
    local usb="TEVO:TEVO MIDI 1 $USB_PORT"

    step "probe"
    tevo probe || fail "orx-tevo probe found no amplifier"
    expect_line "Amplifier, model 2: input \"$usb\", output \"$usb\""

    step "status-unchosen"
    local received
    received=$(sim_received)
    if tevo --timeout 3000 status; then
        fail "orx-tevo status took a port without the marker that nobody chose"
    fi
    expect_line "orx-tevo: no amplifier answered within 3000 ms"
    grep -q '^Connected:' "$WORK/tevo.out" && fail "orx-tevo status says it connected"
    # Nothing may be sent to a port nobody chose: it could be any MIDI device.
    [ "$(sim_received)" = "$received" ] ||
        fail "orx-tevo status sent $(($(sim_received) - received)) message(s) to the unchosen device"

    step "remember"
    remember_ports "TEVO:TEVO MIDI 1" "TEVO:TEVO MIDI 1"
    step "status-remembered"
    tevo status || fail "orx-tevo status did not connect to the remembered ports"
    expect_connected
    expect_line "Model: 2"
    expect_line "Channel I: amp type MODERN"
    grep -qx 'InputPort=TEVO:TEVO MIDI 1' "$XDG_CONFIG_HOME/Veltra/ORX_Tevo_Utility.ini" ||
        fail "the settings file lost the remembered input port"

    step "unplug"
    unplug_gadget
    step "status-unplugged"
    if tevo --timeout 2000 status; then
        fail "orx-tevo status found an amp with the remembered device unplugged"
    fi
    grep -q '^Connected:' "$WORK/tevo.out" && fail "orx-tevo status says it connected to something else"
    step "replug"
    replug_gadget_moved
    step "status-replugged"
    tevo status || fail "orx-tevo status did not find the remembered ports at their new numbers"
    expect_connected
    expect_line "Model: 2"
}

IR_LIBRARY_NAME="Veltra/IR Library"

scenario_usb_unplug_install() {
    local lib="$HOME/.local/share/$IR_LIBRARY_NAME"
    step "amp-sim"
    start_amp_sim --port-name "$SIM_PORT_NAME" --verbose
    step "gadget"
    make_gadget || fail "the gadget could not be made or bound"
    join_gadget_to_sim
    step "status-before"
    tevo status || fail "orx-tevo status exited non-zero"
    expect_connected
    sim_slot 1
    step "make-wav"
    sox -n -r 44100 -b 16 -c 1 "$WORK/Lost Cab.wav" synth 0.05 sine 700 fade 0 0.05 0.04 ||
        fail "sox could not write the WAV"

    # The amp loses its answer to block 2, so orx-tevo is waiting on it, mid-transfer, when the cable goes.
    step "hold-block"
    sim_cmd drop-block 2
    step "install"
    (
        rc=0
        timeout 120 "$TEVO" --midi-api alsa install "$WORK/Lost Cab.wav" --channel I --type LEAD --gain -6 \
            >"$WORK/install.out" 2>&1 || rc=$?
        echo "$rc" >"$WORK/install.rc"
    ) &
    PIDS+=($!)
    wait_for 90 grep -q '^<- FIR data block 2, amp channel 0' "$WORK/sim.out" ||
        { cat "$WORK/install.out"; fail "the transfer never reached FIR data block 2"; }
    step "unplug"
    unplug_gadget
    grep -q '^<- FIR data block 9,' "$WORK/sim.out" && fail "the whole transfer was over before the unplug"
    step "install-ends"
    # orx-tevo waits its 6 s for each answer; well within this, it must have given up.
    wait_for 40 test -s "$WORK/install.rc" || fail "orx-tevo install still runs long after the device went"
    echo "\$ orx-tevo --midi-api alsa install \"$WORK/Lost Cab.wav\" --channel I --type LEAD --gain -6" \
        "(exit $(cat "$WORK/install.rc"))"
    cat "$WORK/install.out"
    [ "$(cat "$WORK/install.rc")" != 0 ] || fail "orx-tevo install exited 0 with the device unplugged mid-transfer"
    [ "$(cat "$WORK/install.rc")" != 124 ] || fail "orx-tevo install hung until killed"
    grep -q 'Installed' "$WORK/install.out" && fail "orx-tevo install says the slot was installed"
    # The store request: FIR group 04, parameter 07.
    grep -q '^<- parameter group 04 param 07 ' "$WORK/sim.out" && fail "the amp received a store"
    step "library"
    if [ -d "$lib" ]; then
        find "$lib" -ls
        find "$lib" -type f -name '*.wav' | grep -q . && fail "the IR library holds a WAV of the failed install"
        grep -rl 'Lost Cab' "$lib" && fail "the IR library records the failed install"
    fi

    step "replug"
    replug_gadget_moved
    step "status-replugged"
    tevo status || fail "orx-tevo status exited non-zero after plugging in again"
    expect_connected
    local want
    sim_slot 1
    want=$(slot_status_line "$SIM_SLOT" 'Slot I +LEAD +')
    grep -qE "^$want\$" "$WORK/tevo.out" ||
        fail "status does not show what the amp holds in slot I LEAD ($SIM_SLOT; wanted /$want/)"

    # The same library folder takes an install that works, so the checks above looked in the right place.
    step "install-after-replug"
    sox -n -r 44100 -b 16 -c 1 "$WORK/Found Cab.wav" synth 0.05 sine 900 fade 0 0.05 0.04 ||
        fail "sox could not write the WAV"
    tevo install "$WORK/Found Cab.wav" --channel I --type CLEAN --gain -6 || fail "orx-tevo install exited non-zero"
    expect_line 'Installed "Found Cab" into slot'
    grep -rlq 'Found Cab' "$lib" || fail "the IR library in $lib does not record the install that worked"
    grep -rl 'Lost Cab' "$lib" && fail "the IR library records the failed install"
    return 0
}

# jack_port PATTERN: the first JACK port whose full name matches PATTERN (extended regular expression).
jack_port() {
    timeout 10 "${TEVO_WRAP[@]}" jack_lsp 2>/dev/null | grep -E -m1 -- "$1"
}

has_jack_port() {
    [ -n "$(jack_port "$1")" ]
}

# expect_connected_to INPUT OUTPUT: the last orx-tevo output says it talked to exactly these ports.
expect_connected_to() {
    expect_line "Connected: input \"$1\", output \"$2\""
}

scenario_jack_bridge() {
    # A server of the scenario's own name, so no client can reach another one by chance; none started on demand.
    export JACK_DEFAULT_SERVER=orx-system JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
    TEVO_API=jack
    step "amp-sim"
    start_amp_sim --port-name "$SIM_PORT_NAME"
    step "gadget"
    make_gadget || fail "the gadget could not be made or bound"
    join_gadget_to_sim
    step "jackd"
    jackd -n "$JACK_DEFAULT_SERVER" -r -d dummy >"$WORK/jackd.out" 2>&1 &
    PIDS+=($!)
    wait_for 30 jack_lsp || { cat "$WORK/jackd.out"; fail "the JACK server did not start"; }
    step "a2jmidid"
    # a2jmidid names its server itself (-j), JACK_DEFAULT_SERVER or not.
    a2jmidid -j "$JACK_DEFAULT_SERVER" -e >"$WORK/a2j.out" 2>&1 &
    PIDS+=($!)
    wait_for 30 has_jack_port '^a2j:Kovalex/ORX Tevo .*\(capture\)' ||
        { cat "$WORK/a2j.out"; jack_lsp; fail "a2jmidid bridged no capture port of the USB device"; }
    wait_for 10 has_jack_port '^a2j:Kovalex/ORX Tevo .*\(playback\)' ||
        { cat "$WORK/a2j.out"; jack_lsp; fail "a2jmidid bridged no playback port of the USB device"; }
    local capture playback
    capture=$(jack_port '^a2j:Kovalex/ORX Tevo .*\(capture\)')
    playback=$(jack_port '^a2j:Kovalex/ORX Tevo .*\(playback\)')
    jack_lsp
    step "ports"
    tevo ports || fail "orx-tevo ports exited non-zero"
    expect_line "MIDI system: jack"
    expect_line "$capture"
    expect_line "$playback"
    cp "$WORK/tevo.out" "${RESULT%.result}.ports"
    step "status"
    tevo status || fail "orx-tevo status found no amp through the bridge"
    expect_connected_to "$capture" "$playback"
    expect_line "Model: 2"
    expect_line "Channel I: amp type MODERN"
    expect_line 'Slot II SOLID   "Factory SOLID II"'
}

scenario_pipewire() {
    # A runtime folder and session bus of the scenario's own: PipeWire's sockets and WirePlumber's state live there.
    export XDG_RUNTIME_DIR=$WORK/run
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
    unset JACK_DEFAULT_SERVER
    TEVO_API=jack
    TEVO_WRAP=(pw-jack)
    step "amp-sim"
    start_amp_sim --port-name "$SIM_PORT_NAME"
    step "gadget"
    make_gadget || fail "the gadget could not be made or bound"
    join_gadget_to_sim
    step "dbus"
    dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" >"$WORK/dbus.out" 2>&1 &
    PIDS+=($!)
    wait_for 20 test -S "$XDG_RUNTIME_DIR/bus" || { cat "$WORK/dbus.out"; fail "no session bus"; }
    step "pipewire"
    pipewire >"$WORK/pipewire.out" 2>&1 &
    PIDS+=($!)
    wait_for 30 test -S "$XDG_RUNTIME_DIR/pipewire-0" || { cat "$WORK/pipewire.out"; fail "PipeWire did not start"; }
    step "wireplumber"
    wireplumber >"$WORK/wireplumber.out" 2>&1 &
    PIDS+=($!)
    # A JACK client that gets no answer from PipeWire would hang every poll below for its whole time-out.
    local rc=0
    timeout 20 pw-jack jack_lsp >"$WORK/jack_lsp.out" 2>&1 || rc=$?
    if [ "$rc" != 0 ]; then
        cat "$WORK/jack_lsp.out" "$WORK/pipewire.out" "$WORK/wireplumber.out"
        fail "pw-jack jack_lsp got no port list from PipeWire (exit $rc$([ "$rc" = 124 ] && echo ', timed out after 20 s'))"
    fi
    if ! wait_for 60 has_jack_port '^Midi-Bridge:Kovalex/ORX Tevo .*\(capture_0\)'; then
        echo "-- pipewire:"; cat "$WORK/pipewire.out"
        echo "-- wireplumber:"; cat "$WORK/wireplumber.out"
        echo "-- pw-jack jack_lsp:"; timeout 10 pw-jack jack_lsp
        echo "-- pw-cli ls Node:"; timeout 10 pw-cli ls Node
        fail "PipeWire's MIDI bridge shows no capture port of the USB device"
    fi
    wait_for 10 has_jack_port '^Midi-Bridge:Kovalex/ORX Tevo .*\(playback_0\)' ||
        fail "PipeWire's MIDI bridge shows no playback port of the USB device"
    local capture playback
    capture=$(jack_port '^Midi-Bridge:Kovalex/ORX Tevo .*\(capture_0\)')
    playback=$(jack_port '^Midi-Bridge:Kovalex/ORX Tevo .*\(playback_0\)')
    timeout 10 pw-jack jack_lsp
    step "ports"
    tevo ports || fail "orx-tevo ports exited non-zero"
    expect_line "$capture"
    expect_line "$playback"
    cp "$WORK/tevo.out" "${RESULT%.result}.ports"
    step "status"
    tevo status || fail "orx-tevo status found no amp through PipeWire"
    expect_connected_to "$capture" "$playback"
    expect_line "Model: 2"
    expect_line "Channel I: amp type MODERN"
    expect_line 'Slot II SOLID   "Factory SOLID II"'
}
