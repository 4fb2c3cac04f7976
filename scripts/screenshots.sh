#!/usr/bin/env bash
# Regenerates the README's pictures of the four pages (docs/*.png) from the built-in simulated amplifier.
# ORX_BUILD_DIR picks the build folder (default: build); it is configured when it has never been, and only the
# screenshot tool is built. Runs without a display. Extra arguments go to CMake when it configures.
# Each page is also taken as on a HiDPI screen (docs/*@2x.png); ORX_SCREENSHOT_SCALES picks which of the two sets
# are made (default: "1 2").
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

orx_install_packages
dir=${ORX_BUILD_DIR:-build}
if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" "$@"
fi
cmake --build "$dir" --target orx-screenshot -j"$(nproc)"
tool="$dir/tools/orx-screenshot/orx-screenshot"

# A small impulse-response library to show on the speaker simulation pages: short noise bursts that die away,
# 16-bit at 44100 Hz (what the amp takes as it is), mono files, stereo ones, two sub-folders, and one 48 kHz 24-bit
# file as IR packs ship them, which the list shows dimmed while the conversion is off. It sits at a
# fixed place shaped like a user's music folder, so the pictures come out the same on every run and the folder
# label reads like one a user would see.
scratch="${TMPDIR:-/tmp}/orx-screenshots"
library="$scratch/Music/ORX/IR Library"
rm -rf "$scratch"
trap 'rm -rf "$scratch"' EXIT
ir() { # ir FILE CHANNELS LOWPASS_HZ
    sox -R -n -r 44100 -b 16 -c "$2" "$library/$1" synth 0.046 whitenoise lowpass "$3" fade 0 0.046 0.044 gain -3
}
mkdir -p "$library/Factory Backup" "$library/Rooms"
ir "Warm Cab.2x12.wav" 1 4000
ir "Bright 4x12.wav" 1 9000
ir "Jazz Combo 1x12.wav" 1 3000
ir "Studio Room.wav" 2 7000
ir "Vintage 2x12 Ribbon.aiff" 1 5000
ir "Modern 4x12 Closed.wav" 1 6000
ir "Factory Backup/MODERN.wav" 1 6000
ir "Rooms/Small Hall.wav" 2 8000
sox -R -n -r 48000 -b 24 "$library/Greenback 4x12 48k.wav" synth 0.05 whitenoise lowpass 7000 fade 0 0.05 0.048 gain -3

shot() { # shot OUT.png [orx-screenshot options...]
    local out=$1
    shift
    "$tool" "docs/$out" "$@"
    echo "docs/$out"
}
for scale in ${ORX_SCREENSHOT_SCALES:-1 2}; do
    if [ "$scale" = 1 ]; then
        suffix="" opts=()
    else
        suffix="@${scale}x" opts=(--scale "$scale")
    fi
    shot "effect-settings-1$suffix.png" --model 2 --tab 0 "${opts[@]}"
    shot "effect-settings-2$suffix.png" --model 2 --tab 1 "${opts[@]}"
    shot "speaker-simulation-1$suffix.png" --model 2 --tab 2 --ir-folder "$library" --choose "Warm Cab.2x12.wav" \
        "${opts[@]}"
    shot "speaker-simulation-2$suffix.png" --model 2 --tab 3 --ir-folder "$library" "${opts[@]}"
    # The dialog is not one of the drawn pages; the 1x picture is enough for the README.
    if [ "$scale" = 1 ]; then
        shot properties.png --model 2 --properties
    fi
done
