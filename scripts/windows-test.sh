#!/bin/sh
# Checks the Windows builds of scripts/windows-build.sh:
#  1. static checks of both modules (32-bit code cannot run on these
#     machines): PE format and machine, exactly the three undecorated
#     exports, imports from system DLLs only;
#  2. under wine64 inside one xvfb-run: the Windows test program and a
#     render of the demo programme through the 64-bit module with the
#     Windows build of tamblor-render (32- and 64-bit samples, state saved
#     and loaded again);
#  3. the 64-bit module's editor in a Win32 window of our own under wine64
#     (tamblor-editor-win.exe, a screenshot of its client area) against the
#     Linux editor's screenshot (scripts/compare-shots.py).
# The Wine prefix lives in build-win64/wine-prefix.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
failed=0
fail() { echo "windows-test: FAILED: $*" >&2; failed=1; }

# --- 1. Static checks ---------------------------------------------------------------
check_module() { # path objdump-prefix format magic
    dll=$1 od=$2-objdump format=$3 magic=$4
    echo "== static checks: $dll"
    if [ ! -f "$dll" ]; then fail "$dll missing"; return; fi
    $od -f "$dll" | grep -q "file format $format" || fail "$dll is not $format"
    headers=$($od -p "$dll")
    echo "$headers" | grep -Eq "^Magic[[:space:]]+$magic" || fail "$dll: optional header magic is not $magic"
    # Export names: the lines of the name pointer table ("[   0] Name").
    exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort | tr '\n' ' ')
    [ "$exports" = "ExitDll GetPluginFactory InitDll " ] || fail "$dll exports '$exports'"
    imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    for lib in $imports; do
        case "$lib" in
            kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|ntdll.dll|msvcrt.dll|comdlg32.dll|shlwapi.dll|api-ms-win-*) ;;
            *) fail "$dll imports $lib (not a system DLL)" ;;
        esac
    done
    echo "   exports: $exports"
    echo "   imports: $(echo $imports)"
}
check_module build-win32/Tamblor.vst3/Contents/x86-win/Tamblor.vst3 i686-w64-mingw32 pei-i386 "010b"
check_module build-win64/Tamblor.vst3/Contents/x86_64-win/Tamblor.vst3 x86_64-w64-mingw32 pei-x86-64 "020b"

# --- 2. Under Wine ------------------------------------------------------------------------
WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
export WINE WINESERVER
export WINEPREFIX="$root/build-win64/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINE_TEST_FILTER="${WINE_TEST_FILTER:-*}"
mkdir -p "$WINEPREFIX" build-win64/render-check
rm -f build-win64/render-check/*

# One X display for Wine and everything it starts; the prefix is created on
# first use (about 10 s), later runs reuse it.
if ! timeout 900 xvfb-run -a sh -c '
    set -u
    status=0
    "$WINE" wineboot --init >/dev/null 2>&1 || true
    echo "== tests (wine64)"
    tests=build-win64/Tests/tamblor_tests.exe
    log=build-win64/test-output.txt
    "$WINE" "$tests" --gtest_filter="$WINE_TEST_FILTER" --gtest_brief=1 >"$log" 2>&1 && rc=0 || rc=$?
    cat "$log"
    # Timing tests can lose to a loaded machine (every window-system call is a
    # round trip to the Wine server): a run whose only failures are at most
    # three tests gets one more try of those; anything else fails at once.
    failed=$(sed -n "s/^\[  FAILED  \] \([A-Za-z0-9_./]*\) (.*/\1/p" "$log" | sort -u)
    if [ "$rc" = 1 ] && [ -n "$failed" ] && [ "$(echo "$failed" | wc -l)" -le 3 ]; then
        echo "== retrying: $(echo $failed)"
        "$WINE" "$tests" --gtest_filter="$(echo $failed | tr " " ":")" --gtest_brief=1 && rc=0 || rc=$?
    fi
    [ "$rc" = 0 ] || status=1
    echo "== tamblor-render.exe (wine64)"
    render=build-win64/Tools/Render/tamblor-render.exe
    out=build-win64/render-check
    "$WINE" "$render" --plugin build-win64/Tamblor.vst3 --demo --demo-seconds 2 --block 480 \
        -o "$out/out.wav" --save-state "$out/s.aprs" >"$out/first.txt" 2>&1 || status=1
    "$WINE" "$render" --plugin build-win64/Tamblor.vst3 --demo --demo-seconds 2 --block 333 --double \
        --state "$out/s.aprs" -o "$out/second.wav" >"$out/second.txt" 2>&1 || status=1
    cat "$out/first.txt" "$out/second.txt"
    "$WINESERVER" -k 2>/dev/null || true
    exit $status
'; then
    fail "the Windows tests or renders under Wine"
fi

# The renders: an output row (integrated, range, sample peak, true peak) of
# finite figures with the true peak under
# full scale, a WAV file of the input's length, a state chunk.
for run in first second; do
    f=build-win64/render-check/$run.txt
    [ -f "$f" ] || { fail "render $run produced no output"; continue; }
    awk '$1 == "Output" { n++; if ($2 !~ /^-?[0-9]+[.][0-9]+$/ || $5 + 0 > 1.0) bad = 1 }
         END { exit !(n == 1 && !bad) }' "$f" || fail "render $run: no sensible output figures"
done
wav=build-win64/render-check/out.wav
# 2 s at 48 kHz, 2 channels of 24-bit samples, 44 bytes of header.
[ -f "$wav" ] && [ "$(wc -c <"$wav")" -eq $((44 + 2 * 48000 * 2 * 3)) ] || fail "render wrote no complete WAV file"
[ "$(head -c 4 build-win64/render-check/s.aprs 2>/dev/null)" = "aprs" ] || fail "render saved no state chunk"

# --- 3. The editor under Wine against the Linux one ------------------------------------
# The 64-bit module's editor in a Win32 window of our own (tamblor-editor-win),
# on a 1920x1080 screen like the Linux editor tests (scale 1.0), must look
# like the Linux editor's screenshot (tamblor-editor of the native tree).
editor_win=build-win64/Tools/Editor/Win32/tamblor-editor-win.exe
editor_linux=build/Tools/Editor/tamblor-editor
shots=build-win64/editor-check
if [ ! -f "$editor_win" ] || [ ! -x "$editor_linux" ]; then
    fail "editor check: $editor_win or $editor_linux is missing (scripts/windows-build.sh 64, ninja -C build tamblor-editor)"
else
    echo "== editor (wine64 against Linux)"
    mkdir -p "$shots"
    rm -f "$shots"/*
    export EDITOR_WIN="$editor_win" SHOTS="$shots"
    timeout 300 xvfb-run -a -s "-screen 0 1920x1080x24" sh -c '
        "$WINE" "$EDITOR_WIN" --bundle build-win64/Tamblor.vst3 --frames 10 --screenshot "$SHOTS/win.bmp" \
            >"$SHOTS/win.txt" 2>&1 && rc=0 || rc=$?
        "$WINESERVER" -k 2>/dev/null || true
        exit $rc' || fail "the editor under Wine (see $shots/win.txt)"
    xvfb-run -a -s "-screen 0 1920x1080x24" "$editor_linux" --frames 10 --screenshot "$shots/linux.png" \
        >"$shots/linux.txt" 2>&1 || fail "the Linux editor (see $shots/linux.txt)"
    cat "$shots/win.txt"
    if [ -f "$shots/win.bmp" ] && [ -f "$shots/linux.png" ]; then
        python3 scripts/compare-shots.py "$shots/win.bmp" "$shots/linux.png" ||
            fail "the editor under Wine does not look like the Linux one ($shots/win.bmp, $shots/linux.png)"
    fi
fi

if [ "$failed" = 0 ]; then echo "windows-test: all checks passed"; fi
exit "$failed"
