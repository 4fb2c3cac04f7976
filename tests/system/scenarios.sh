# shellcheck shell=bash
# The scenarios the guest runs, one function each (scenario_NAME, dashes as underscores), and their helpers.
# Each runs in a subshell of its own with RESULT (its result file) and WORK (a scratch folder on tmpfs) set;
# a failing step writes "fail STEP: why" to RESULT and ends the subshell.
# SPDX-License-Identifier: GPL-3.0-or-later

# shellcheck source=gadget.sh
source "$(dirname "${BASH_SOURCE[0]}")/gadget.sh"

# Every scenario, in the order a whole run takes them (run.sh all); CMake reads this line too.
SCENARIOS="alsa-virtual alsa-session usb-marker usb-window-marker usb-remembered usb-window-remembered usb-window-idle usb-window-cycles usb-unplug-install usb-window-install usb-unplug-restore lossy-link jack-bridge pipewire"

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
    [ -e "$GADGET" ] && remove_gadget
    return 0
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

# usb_amp [options...]: orx-amp-sim (with these options) behind a USB gadget named GADGET_PRODUCT, plugged in.
usb_amp() {
    step "amp-sim"
    start_amp_sim --port-name "$SIM_PORT_NAME" "$@"
    step "gadget"
    make_gadget || fail "the gadget could not be made or bound"
    join_gadget_to_sim
}

# make_wav NAME FREQUENCY: a short mono IR of sox's making in $WORK/NAME.wav.
make_wav() {
    sox -n -r 44100 -b 16 -c 1 "$WORK/$1.wav" synth 0.05 sine "$2" fade 0 0.05 0.04 || fail "sox could not write $1.wav"
}

# install_wav NAME FREQUENCY TYPE: such an IR installed with orx-tevo into channel I's slot TYPE at -6 dB.
install_wav() {
    make_wav "$1" "$2"
    tevo install "$WORK/$1.wav" --channel I --type "$3" --gain -6 || fail "orx-tevo install of $1 exited non-zero"
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
    make_wav "Warm Cab" 1000
    step "install"
    tevo install "$WORK/Warm Cab.wav" --channel I --type LEAD --gain -4.5 || fail "orx-tevo install exited non-zero"
    step "status-after-install"
    tevo status || fail "orx-tevo status exited non-zero"
    grep -qE '^Slot I +LEAD +"Warm Cab" +gain +-4\.5 dB$' "$WORK/tevo.out" ||
        fail "slot I LEAD does not hold \"Warm Cab\" at -4.5 dB"
    expect_line 'Slot I  MODERN  "Factory MODERN I"'
}

# The whole session through the windows, over the sequencer against orx-amp-sim in its own process.
scenario_alsa_session() {
    step "session"
    QT_QPA_PLATFORM=offscreen timeout 300 "$build/tests/e2e/orx_user_session_alsa_tests" ||
        fail "the session over the ALSA sequencer failed (its output is above)"
}

# use_xvfb: the guest's virtual X display (guest.sh starts one for all the window scenarios), as a desktop has.
use_xvfb() {
    wait_for 30 test -S /tmp/.X11-unix/X5 || fail "the guest's Xvfb is not running (see the console log)"
    export DISPLAY=:5 QT_QPA_PLATFORM=xcb
}

# window_test NAME: one test of the window against the amp on USB (usb_window_test.cpp), which makes and
# plugs the gadget itself with gadget.sh and starts orx-amp-sim of its own.
window_test() {
    step "xvfb"
    use_xvfb
    step "window"
    local rc
    ORX_SYSTEM_GADGET=$(dirname "${BASH_SOURCE[0]}")/gadget.sh \
        timeout 400 "$build/tests/system/orx_system_window_tests" --gtest_filter="UsbAmp.$1" 2>&1 |
        tee "$WORK/window.out"
    rc=${PIPESTATUS[0]}
    [ "$rc" = 0 ] || fail "the window test $1 failed (its output is above)"
    # A name that matches no test runs nothing, and passes.
    grep -q '^\[  PASSED  \] 1 test\.' "$WORK/window.out" || fail "no window test is named $1"
}

scenario_usb_window_marker() {
    window_test AnAmpWhoseProductNameHoldsTheMarkerIsOpenedByItself
}

scenario_usb_window_remembered() {
    window_test AnAmpNamedOtherwiseIsFoundByFindAmpAndFoundAgainAfterAReplug
}

scenario_usb_window_idle() {
    window_test AnAmpUnpluggedWhileIdleIsLetGoAndFoundAgainWhenPluggedBackIn
}

scenario_usb_window_cycles() {
    window_test TwentyUnplugsInARowLeaveNoThreadsFilesOrClientsBehind
}

scenario_usb_window_install() {
    window_test AFileCutShortByAnUnplugFailsAndRecordsNothing
}

scenario_usb_marker() {
    usb_amp
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
    usb_amp --verbose
    local usb="TEVO:TEVO MIDI 1 $USB_PORT"

    step "probe"
    tevo probe || fail "orx-tevo probe found no amplifier"
    expect_line "Amplifier, model 2: input \"$usb\", output \"$usb\""

    step "status-unchosen"
    local received
    received=$(sim_received)
    if tevo --timeout 1500 status; then
        fail "orx-tevo status took a port without the marker that nobody chose"
    fi
    expect_line "orx-tevo: no amplifier answered within 1500 ms"
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

# replug_and_read: the slowed amp back at full speed and plugged in again at new numbers; orx-tevo status finds
# it there and reads it (its output in $WORK/tevo.out).
replug_and_read() {
    step "replug"
    sim_cmd delay 0
    replug_gadget_moved
    step "status-replugged"
    tevo status || fail "orx-tevo status exited non-zero after plugging in again"
    expect_connected
}

scenario_usb_unplug_install() {
    local lib="$HOME/.local/share/$IR_LIBRARY_NAME"
    usb_amp --verbose
    step "status-before"
    tevo status || fail "orx-tevo status exited non-zero"
    expect_connected
    sim_slot 1
    step "make-wav"
    make_wav "Lost Cab" 700

    # Every answer held back, so the transfer is still running when the cable goes, with blocks 0 to 3 out.
    step "slow-amp"
    sim_cmd delay 400
    step "install"
    (
        rc=0
        timeout 120 "$TEVO" --midi-api alsa install "$WORK/Lost Cab.wav" --channel I --type LEAD --gain -6 \
            >"$WORK/install.out" 2>&1 || rc=$?
        echo "$rc" >"$WORK/install.rc"
    ) &
    PIDS+=($!)
    wait_for 90 grep -q '^<- FIR data block 3, amp channel 0' "$WORK/sim.out" ||
        { cat "$WORK/install.out"; fail "the transfer never reached FIR data block 3"; }
    step "unplug"
    unplug_gadget
    local unplugged
    unplugged=$(date +%s)
    grep -q '^<- FIR data block 9,' "$WORK/sim.out" && fail "the whole transfer was over before the unplug"
    step "install-ends"
    wait_for 10 test -s "$WORK/install.rc" || fail "orx-tevo install did not end within 10 s of the unplug"
    echo "orx-tevo install ended $(($(date +%s) - unplugged)) s after the unplug"
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

    replug_and_read
    local want
    sim_slot 1
    want=$(slot_status_line "$SIM_SLOT" 'Slot I +LEAD +')
    grep -qE "^$want\$" "$WORK/tevo.out" ||
        fail "status does not show what the amp holds in slot I LEAD ($SIM_SLOT; wanted /$want/)"

    # The same library folder takes an install that works, so the checks above looked in the right place.
    step "install-after-replug"
    make_wav "Found Cab" 900
    tevo install "$WORK/Found Cab.wav" --channel I --type CLEAN --gain -6 || fail "orx-tevo install exited non-zero"
    expect_line 'Installed "Found Cab" into slot'
    grep -rlq 'Found Cab' "$lib" || fail "the IR library in $lib does not record the install that worked"
    grep -rl 'Lost Cab' "$lib" && fail "the IR library records the failed install"
    return 0
}

# jack_port PATTERN: the first JACK port whose full name matches PATTERN (extended regular expression).
jack_port() {
    timeout -k 3 10 "${TEVO_WRAP[@]}" jack_lsp 2>/dev/null | grep -E -m1 -- "$1"
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
    usb_amp
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

# program_port_name NAME: the port as the program's port list names it: it drops the last two characters of a
# name that holds "-1", and PipeWire's USB bus paths hold it, so "...MIDI 1" is listed as "...MIDI".
program_port_name() {
    if [[ $1 == *-1* ]]; then echo "${1:0:${#1}-2}"; else echo "$1"; fi
}

scenario_pipewire() {
    # A runtime folder and session bus of the scenario's own: PipeWire's sockets and WirePlumber's state live there.
    export XDG_RUNTIME_DIR=$WORK/run
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
    unset JACK_DEFAULT_SERVER
    TEVO_API=jack
    TEVO_WRAP=(pw-jack)
    usb_amp
    step "dbus"
    dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" >"$WORK/dbus.out" 2>&1 &
    PIDS+=($!)
    wait_for 20 test -S "$XDG_RUNTIME_DIR/bus" || { cat "$WORK/dbus.out"; fail "no session bus"; }
    step "pipewire"
    pipewire >"$WORK/pipewire.out" 2>&1 &
    PIDS+=($!)
    wait_for 30 test -S "$XDG_RUNTIME_DIR/pipewire-0" || { cat "$WORK/pipewire.out"; fail "PipeWire did not start"; }
    step "wireplumber"
    # WirePlumber watches logind's folders and gives up when they are missing; a desktop has them, this guest's
    # fresh /run does not.
    mkdir -p /run/systemd/seats /run/systemd/sessions /run/systemd/users /run/systemd/machines
    wireplumber >"$WORK/wireplumber.out" 2>&1 &
    local wireplumber=$!
    PIDS+=("$wireplumber")
    # WirePlumber makes PipeWire's bridge to the ALSA sequencer; without it there is nothing to find.
    sleep 5
    kill -0 "$wireplumber" 2>/dev/null ||
        { cat "$WORK/wireplumber.out" "$WORK/pipewire.out"; fail "WirePlumber exited at its start"; }
    # PipeWire's own protocol first, then its JACK face: a client that gets no answer would hang every poll below.
    local rc=0
    timeout -k 3 10 pw-cli info 0 >"$WORK/pw-cli.out" 2>&1 || rc=$?
    if [ "$rc" != 0 ]; then
        cat "$WORK/pw-cli.out" "$WORK/pipewire.out" "$WORK/wireplumber.out"
        fail "pw-cli got no answer from PipeWire (exit $rc)"
    fi
    timeout -k 3 20 pw-jack jack_lsp >"$WORK/jack_lsp.out" 2>&1 || rc=$?
    if [ "$rc" != 0 ]; then
        cat "$WORK/jack_lsp.out" "$WORK/pipewire.out" "$WORK/wireplumber.out"
        fail "pw-jack jack_lsp got no port list from PipeWire (exit $rc$([ "$rc" = 124 ] && echo ', timed out after 20 s'))"
    fi
    step "bridge"
    # PipeWire names a USB device's bridged ports after its vendor, product and bus path, then the port's own name:
    # "Midi-Bridge:Kovalex Kovalex/ORX Tevo at usb-dummy_hcd-0-1- high speed:(capture_0) Kovalex/ORX Tevo MIDI 1".
    local PW_USB_PORT="^Midi-Bridge:[^:]*$GADGET_PRODUCT at usb-[^:]*:\\"
    if ! wait_for 60 has_jack_port "$PW_USB_PORT(capture_0) $GADGET_PRODUCT MIDI 1\$"; then
        echo "-- pipewire:"; cat "$WORK/pipewire.out"
        echo "-- wireplumber:"; cat "$WORK/wireplumber.out"
        echo "-- pw-jack jack_lsp:"; timeout 10 pw-jack jack_lsp
        echo "-- pw-cli ls Node:"; timeout 10 pw-cli ls Node
        fail "PipeWire's MIDI bridge shows no capture port of the USB device"
    fi
    wait_for 10 has_jack_port "$PW_USB_PORT(playback_0) $GADGET_PRODUCT MIDI 1\$" ||
        fail "PipeWire's MIDI bridge shows no playback port of the USB device"
    local capture playback
    capture=$(jack_port "$PW_USB_PORT(capture_0) $GADGET_PRODUCT MIDI 1\$")
    playback=$(jack_port "$PW_USB_PORT(playback_0) $GADGET_PRODUCT MIDI 1\$")
    timeout -k 3 10 pw-jack jack_lsp
    step "ports"
    tevo ports || fail "orx-tevo ports exited non-zero"
    expect_line "$(program_port_name "$capture")"
    expect_line "$(program_port_name "$playback")"
    cp "$WORK/tevo.out" "${RESULT%.result}.ports"
    step "status"
    tevo status || fail "orx-tevo status found no amp through PipeWire"
    expect_connected_to "$capture" "$playback"
    expect_line "Model: 2"
    expect_line "Channel I: amp type MODERN"
    expect_line 'Slot II SOLID   "Factory SOLID II"'
}

scenario_usb_unplug_restore() {
    usb_amp --verbose
    step "installs-to-back-up"
    install_wav "Kept Lead" 500 LEAD
    install_wav "Kept Clean" 600 CLEAN
    step "backup"
    tevo backup "$WORK/amp.orxbackup.json" || fail "orx-tevo backup exited non-zero"
    step "installs-over-it"
    install_wav "New Lead" 800 LEAD
    install_wav "New Clean" 900 CLEAN

    # The restore writes both slots back one after the other; the cable goes while the second is being sent.
    step "slow-amp"
    sim_cmd delay 300
    step "restore"
    local stores
    stores=$(grep -c '^<- parameter group 04 param 07 ' "$WORK/sim.out")
    (
        rc=0
        timeout 120 "$TEVO" --midi-api alsa restore "$WORK/amp.orxbackup.json" --yes >"$WORK/restore.out" 2>&1 || rc=$?
        echo "$rc" >"$WORK/restore.rc"
    ) &
    PIDS+=($!)
    # One slot stored, then block 3 of the next one out.
    wait_for 90 eval '[ "$(grep -c "^<- parameter group 04 param 07 " "$WORK/sim.out")" -gt "$stores" ]' ||
        { cat "$WORK/restore.out"; fail "the restore never stored its first slot"; }
    local from
    from=$(wc -l <"$WORK/sim.out")
    wait_for 60 eval 'tail -n +"$from" "$WORK/sim.out" | grep -q "^<- FIR data block 3,"' ||
        { cat "$WORK/restore.out"; fail "the restore never sent block 3 of its second slot"; }
    step "unplug"
    unplug_gadget
    local unplugged
    unplugged=$(date +%s)
    step "restore-ends"
    wait_for 10 test -s "$WORK/restore.rc" || fail "orx-tevo restore did not end within 10 s of the unplug"
    echo "\$ orx-tevo --midi-api alsa restore amp.orxbackup.json --yes (exit $(cat "$WORK/restore.rc")," \
        "$(($(date +%s) - unplugged)) s after the unplug)"
    cat "$WORK/restore.out"
    [ "$(cat "$WORK/restore.rc")" != 0 ] || fail "orx-tevo restore exited 0 with the device unplugged mid-restore"
    grep -q '^The restore stopped' "$WORK/restore.out" || fail "the report does not say the restore stopped"
    grep -q '^The restore is complete' "$WORK/restore.out" && fail "the report says the restore is complete"
    # Whichever of the two went first is written, and the other is not.
    local written not_written
    written=$(grep -c '^Written: slot I ' "$WORK/restore.out")
    not_written=$(grep -c '^Not written: slot I ' "$WORK/restore.out")
    [ "$written" = 1 ] && [ "$not_written" = 1 ] ||
        fail "the report names $written written and $not_written unwritten slot(s), not one of each"

    replug_and_read
    # The amp holds the backup's response in the slot the report calls written, and the newer one in the other.
    local label word
    for label in LEAD CLEAN; do
        word=${label:0:1}$(tr '[:upper:]' '[:lower:]' <<<"${label:1}")
        if grep -qF "Written: slot I $label \"Kept $word\"" "$WORK/restore.out"; then
            grep -qE "^Slot I +$label +\"Kept $word\"" "$WORK/tevo.out" || fail "slot I $label does not hold \"Kept $word\""
        else
            grep -qE "^Slot I +$label +\"New $word\"" "$WORK/tevo.out" ||
                fail "slot I $label, which the report calls not written, does not hold \"New $word\""
        fi
    done
}

# A cable that damages SysEx: every fifth dump the amp sends has a bad checksum.
scenario_lossy_link() {
    usb_amp
    step "lossy"
    sim_cmd corrupt-every 5
    step "status"
    tevo status || fail "orx-tevo status did not read through the damaged dumps"
    expect_connected
    expect_line "Model: 2"
    expect_line 'Slot II SOLID   "Factory SOLID II"'
    [ "$(grep -c '^Slot ' "$WORK/tevo.out")" = 10 ] || fail "orx-tevo status does not list all ten slots"
    step "linktest"
    local rc=0
    tevo linktest --count 20 || rc=$?
    [ "$rc" = 3 ] || fail "orx-tevo linktest exited $rc on a link that damages data, not 3"
    expect_connected
    expect_line "Dumps: 20 asked, 16 whole, 4 damaged, 0 lost"
    expect_line "The link damages data: 4 of 20 dumps came back damaged."
    step "sound-link"
    sim_cmd corrupt-every 0
    tevo linktest --count 20 || fail "orx-tevo linktest found fault with a sound link"
    expect_line "Dumps: 20 asked, 20 whole, 0 damaged, 0 lost"
    expect_line "The link is sound"
}

# Not a test and not in SCENARIOS: the request benchmark over the USB gadget and over JACK in the same guest,
# for figures that compare (run.sh usb-bench; the figures are in its log).
scenario_usb_bench() {
    usb_amp
    step "bench-usb"
    ORX_BENCH_ALSA=1 timeout 300 "$build/bench/orx_jack_bench" --benchmark_repetitions=3 \
        --benchmark_report_aggregates_only=true || fail "the benchmark over USB failed"
    step "bench-jack"
    export JACK_NO_AUDIO_RESERVATION=1
    timeout 600 "$build/bench/orx_jack_bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
        --benchmark_filter='/period:256' || fail "the benchmark over JACK failed"
}
