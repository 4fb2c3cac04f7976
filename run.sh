#!/usr/bin/env bash
# Builds ORX Tevo Utility and starts it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

# With no amplifier attached the built-in simulated one answers; a real amp's ports come first and win.
export ORX_SIMULATED_AMP=${ORX_SIMULATED_AMP:-2}

orx_install_packages
orx_build "${ORX_BUILD_DIR:-build}" "$@"

cat <<'MSG'

Built: the device link (MIDI ports, amplifier session), the simulated amplifier and its tools.
The program's window does not exist yet, so there is nothing to start here.

What you can run today:
  build/tools/orx-amp-sim/orx-amp-sim --help     the simulated amplifier on real virtual MIDI ports
  ./test.sh                                      every test
MSG
