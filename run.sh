#!/usr/bin/env bash
# Builds ORX Tevo Utility and starts it. With no amplifier attached the built-in simulated one answers.
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

# A real amp's ports come first and win; ORX_SIMULATED_AMP=0 turns the simulated one off.
export ORX_SIMULATED_AMP=${ORX_SIMULATED_AMP:-2}

orx_install_packages xvfb xauth
dir=${ORX_BUILD_DIR:-build}
orx_build "$dir" "$@"

program="$dir/app/orx-tevo-utility"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting the window on a virtual X display (xvfb-run)."
    exec xvfb-run -a "$program"
fi
exec "$program"
