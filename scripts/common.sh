# Shared by run.sh and test.sh: install what a fresh Debian 12 machine lacks, then configure and build.
# SPDX-License-Identifier: GPL-3.0-or-later

ORX_PACKAGES=(
    g++ make cmake pkg-config
    librtmidi-dev libasound2-dev libjack-jackd2-dev jackd2
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    sox libsndfile1-dev libsoxr-dev clang libclang-rt-14-dev
    qt6-base-dev fonts-dejavu-core
    nettle-dev nlohmann-json3-dev
    appstream desktop-file-utils lintian dpkg-dev groff-base man-db
    libfftw3-dev libpng-dev libcairo2-dev libfontconfig-dev
)

# orx_install_packages [extra packages...]
orx_install_packages() {
    local missing=()
    local pkg
    for pkg in "${ORX_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# orx_build BUILD_DIR [extra cmake arguments...]
orx_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" "$@"
    cmake --build "$dir" -j"$(nproc)"
}
