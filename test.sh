#!/usr/bin/env bash
# Builds ORX Tevo Utility and runs every test; exits non-zero on any failure.
# It leaves out the system tests (tests/system/: the real MIDI stack in a virtual machine), which CI runs.
# ORX_BUILD_DIR picks the build folder (default: build); extra CMake arguments may follow.
# ORX_CTEST_ARGS passes arguments to ctest, e.g. ORX_CTEST_ARGS="-L device" to run one layer's tests.
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

orx_install_packages
dir=${ORX_BUILD_DIR:-build}
orx_build "$dir" "$@"
# shellcheck disable=SC2086
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" ${ORX_CTEST_ARGS:-}
