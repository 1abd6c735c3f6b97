#!/bin/sh
# Installs every Debian package that building, testing and running Tamblor needs.
# Quick when everything is already there: it only calls apt-get for missing packages.
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config git
zlib1g-dev liblz4-dev juce-modules-source-data
libpugixml-dev libsndfile1-dev
libgtest-dev libgmock-dev googletest libbenchmark-dev
libfftw3-dev libebur128-dev
clang libclang-rt-14-dev"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    SUDO=""
    if [ "$(id -u)" != "0" ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing
else
    echo "setup: all packages present"
fi
