#!/bin/sh
# Cross-builds the Windows modules with MinGW-w64: scripts/windows-build.sh [32|64|all]
#   32: build-win32/Tamblor.vst3/Contents/x86-win/Tamblor.vst3 (checked statically)
#   64: build-win64/Tamblor.vst3/Contents/x86_64-win/Tamblor.vst3, the Windows
#       test program, tamblor-render.exe and tamblor-editor-win.exe (run under Wine)
# The build-time tools (definition and bank compilers, resource embedder) run
# on this machine: they come from the native build tree (build/, or
# TAMBLOR_HOST_BUILD).
set -eu
cd "$(dirname "$0")/.."
which="${1:-all}"
case "$which" in
    32|64|all) ;;
    *) echo "usage: $0 [32|64|all]" >&2; exit 2 ;;
esac
jobs="${JOBS:-$(nproc)}"
host="${TAMBLOR_HOST_BUILD:-build}"

if [ ! -f "$host/build.ninja" ]; then
    cmake -S . -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$host" -j "$jobs" --target tamblor-defc tamblor-bankc tamblor-embed tamblor-isgen tamblor-fontgen tamblor-uidata
hostdir=$(cd "$host" && pwd)

# Optimised without debug information: the quickest build that is the product.
configure() { # dir toolchain tests
    cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/$2" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DTAMBLOR_HOST_TOOLS_DIR="$hostdir" -DTAMBLOR_TESTS="$3" -DTAMBLOR_BENCH=OFF >/dev/null
}

case "$which" in
    32|all)
        configure build-win32 mingw-i686.cmake OFF
        cmake --build build-win32 -j "$jobs" --target tamblor_vst3 ;;
esac
case "$which" in
    64|all)
        configure build-win64 mingw-x86_64.cmake ON
        cmake --build build-win64 -j "$jobs" --target tamblor_vst3 tamblor_tests tamblor-render tamblor-editor-win ;;
esac
