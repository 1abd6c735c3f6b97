#!/bin/sh
# Installs every Debian package that building, testing and running Tamblor needs,
# and fetches LZ4's library sources for the Windows builds (Debian's lz4 source
# package, through a deb-src entry added here) into .deps/lz4.
# Quick when everything is already there: it only calls apt-get for what is missing.
set -eu
cd "$(dirname "$0")/.."

PACKAGES="build-essential cmake ninja-build pkg-config git dpkg-dev
zlib1g-dev liblz4-dev juce-modules-source-data
libpugixml-dev libsndfile1-dev
libgtest-dev libgmock-dev googletest libbenchmark-dev
libfftw3-dev libebur128-dev libcairo2-dev
clang libclang-rt-14-dev
g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
wine64 xvfb xauth
libfreetype-dev fonts-dejavu-core libcairo2-dev libpng-dev
libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxkbcommon-x11-dev libxcb-xkb-dev libxcb-xtest0-dev x11-apps"

SUDO=""
if [ "$(id -u)" != "0" ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

# Source packages: a deb-src entry for the release's main component. (The
# i386 architecture stays disabled: its index breaks apt-get update here.)
updated=0
srclist=/etc/apt/sources.list.d/tamblor-deb-src.sources
if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "setup: adding a deb-src entry ($srclist)"
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$suite" | $SUDO tee "$srclist" >/dev/null
    $SUDO apt-get update -qq
    updated=1
fi

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    [ "$updated" = 1 ] || $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing
else
    echo "setup: all packages present"
fi

# LZ4's library sources for the Windows builds (never kept in the repository).
if [ ! -f .deps/lz4/lib/lz4.c ]; then
    echo "setup: fetching the lz4 source package"
    rm -rf .deps/lz4 .deps/lz4-src
    mkdir -p .deps/lz4-src
    if ! (cd .deps/lz4-src && apt-get source -qq lz4 >/dev/null 2>&1); then
        $SUDO apt-get update -qq
        (cd .deps/lz4-src && apt-get source -qq lz4 >/dev/null)
    fi
    mv .deps/lz4-src/lz4-*/ .deps/lz4
    rm -rf .deps/lz4-src
fi
