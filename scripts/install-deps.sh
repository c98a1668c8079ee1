#!/usr/bin/env bash
# Installs the Debian 12 packages that Tarsola needs, only those that are missing.
#   scripts/install-deps.sh          packages to build and run the program
#   scripts/install-deps.sh --test   also what the tests, benchmarks and screenshots need
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libfltk1.3-dev libfreeimage-dev libtiff-dev
  libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri
  libcli11-dev nlohmann-json3-dev
  libassimp-dev lib3mf-dev libzip-dev zlib1g-dev
  fonts-wqy-microhei fontconfig
)
if [ "${1:-}" = "--test" ]; then
  packages+=(
    googletest libgtest-dev libbenchmark-dev
    xvfb xauth xdotool x11-apps imagemagick python3
    clang libclang-rt-14-dev
    admesh libadmesh-dev desktop-file-utils
    # rs274, LinuxCNC's G-code interpreter, reads the milling files back in the tests; its
    # recommendations (a real-time kernel) stay out, as every package here is installed.
    linuxcnc-uspace
    # The locale sources from which a test makes a locale with a decimal comma.
    locales
    # PrusaSlicer's command line opens a job's 3MF in a test, as a workshop's slicer would.
    prusa-slicer unzip
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
