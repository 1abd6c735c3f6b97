#!/bin/bash
# Checks the built plug-in in a real DAW: Debian's Ardour 7, headless (ardour7-lua
# with the Dummy backend), and its editor in Ardour's own window under Xvfb.
# Not part of CI; install Ardour with `apt-get install ardour`.
#
#   scripts/ardour-check.sh [BUNDLE]     (default: build/Tamblor.vst3)
#
# In a scratch folder (build/ardour-check, or $ARDOUR_CHECK_DIR) with its own
# HOME, so Ardour's configuration and VST3 cache start empty each time:
#  1. Ardour's VST3 scanner indexes the bundle; a 48 kHz session gets a stereo
#     track with Tamblor on it;
#  2. a test file (a 1 kHz burst on each channel at different times) goes on
#     the track as a region;
#  3. Oversmp 8X and OutGain +3 dB are set through Ardour's plug-in controls and
#     the session is exported (32-bit float WAV) and saved: each burst must come
#     out at its source sample (Ardour compensated the reported latency) and
#     3 dB louder;
#  4. the saved session is reopened: the values must be recalled; then once more
#     with Tamblor's state chunk as the only record of them, and that session is
#     exported with ardour7-export and checked like the first export;
#  5. Ardour's GUI under Xvfb opens the session at the plug-in's defaults with
#     Tamblor's window asked for: the window "... [VST3]" must appear and the
#     editor's region of a screenshot must match tamblor-editor's own
#     screenshot (build/Tools/Editor/tamblor-editor or $TAMBLOR_EDITOR); the
#     screenshots stay in the scratch folder's shots/. Skipped (not failed)
#     without ardour, xvfb-run, xdotool, ImageMagick or tamblor-editor.
# Without Ardour at all the script exits 77 (skipped).
# Ardour 7.3 sometimes aborts around an export whatever plug-ins are loaded:
# each Ardour run is tried twice before it counts as a failure.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
bundle=$(realpath -m "${1:-build/Tamblor.vst3}")
work=$(realpath -m "${ARDOUR_CHECK_DIR:-build/ardour-check}")
here="$root/scripts"
lua="$here/ardour-check.lua"
py="$here/ardour-check.py"
gain_db=3.0          # OutGain at the top of its range
oversmp=1            # Oversmp at 8X (normalized)
latency=1080         # what Tamblor reports at 48 kHz

fails=0
results=()
pass() { results+=("PASS  $1"); echo "PASS: $1"; }
fail() { results+=("FAIL  $1"); echo "FAIL: $1"; fails=$((fails + 1)); }
summary() {
    echo
    echo "== Ardour check summary =="
    printf '%s\n' "${results[@]}"
    if [ "$fails" -eq 0 ]; then echo "RESULT: PASS"; else echo "RESULT: FAIL ($fails)"; fi
}
die() { fail "$1"; summary; exit 1; }

# Without Ardour there is nothing to check: skipped (77).
for tool in ardour7-lua ardour7-export; do
    command -v "$tool" >/dev/null || { echo "$tool not found (apt-get install ardour): skipped"; exit 77; }
done
scanner=/usr/lib/ardour7/ardour-vst3-scanner
[ -x "$scanner" ] || { echo "$scanner not found (apt-get install ardour): skipped"; exit 77; }
command -v python3 >/dev/null || die "python3 not found"
[ -f "$bundle/Contents/x86_64-linux/Tamblor.so" ] || die "no plug-in bundle at $bundle (build tamblor_vst3 first)"

rm -rf "$work"
mkdir -p "$work/home/.vst3" "$work/home/.config/ardour7/export" "$work/export"
export HOME="$work/home"
cp -R "$bundle" "$HOME/.vst3/Tamblor.vst3"
# Ardour takes a cache entry written in the module's own second for stale and
# then knows no plug-in: the copy gets an older time.
find "$HOME/.vst3/Tamblor.vst3" -exec touch -h -d '1 minute ago' {} +

# Ardour's session tools read the VST3 scanner's cache, and only when told to
# look for plug-ins at start.
cat > "$HOME/.config/ardour7/config" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="discover-plugins-on-start" value="1"/>
  </Config>
</Ardour>
XML
scan=$(LD_LIBRARY_PATH=/usr/lib/ardour7 "$scanner" -f -v "$HOME/.vst3/Tamblor.vst3" 2>&1)
echo "$scan" > "$work/scan.log"
uid=$(sed -n 's/.*<VST3Info uid="\([0-9A-F]*\)".*/\1/p' <<<"$scan" | head -n 1)
[ -n "$uid" ] || die "Ardour's VST3 scanner found no plug-in in the bundle (see $work/scan.log)"
pass "Ardour's VST3 scanner indexes the bundle (class $uid)"

# A 32-bit float WAV export format and preset of our own (Ardour's stock WAV
# preset writes dithered 16-bit integers).
fmt_id=6a1c3f52-7d1e-4b8e-9f0a-2b5d7c9e4f10
preset_id=0b9d2e47-3c6a-4f81-8e25-9a7b1d3c5e62
sed -e "s/id=\"dd4f6f30-f054-4e0a-8d91-67eed5d79153\"/id=\"$fmt_id\"/" \
    -e 's/name="Wav (Tagged)"/name="Tamblor check float"/' \
    -e 's/value="SF_16"/value="SF_Float"/' -e 's/value="D_Shaped"/value="D_None"/' \
    -e 's/analyse="1"/analyse="0"/' \
    "/usr/share/ardour7/export/WAV (tagged).format" > "$HOME/.config/ardour7/export/tamblor-check.format"
cat > "$HOME/.config/ardour7/export/tamblor-check.preset" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="$preset_id" name="Tamblor check">
  <ExportFormat id="$fmt_id"/>
  <ExportFilename>
    <Folder relative="0" path="$work/export"/>
    <Field name="label" enabled="1"/>
  </ExportFilename>
</ExportPreset>
XML

# Runs one step of the Lua script (tried twice); its key=value lines go to
# $work/STEP.out, the whole log to $work/STEP.log.
run_lua() {
    local tag=$1; shift
    local try
    for try in 1 2; do
        ardour7-lua "$lua" "$@" > "$work/$tag.log" 2>&1
        local rc=$?
        cp "$work/$tag.log" "$work/$tag.try$try.log"
        grep -E '^[a-z_]+=' "$work/$tag.log" > "$work/$tag.out"
        if [ $rc -eq 0 ] && ! grep -q '^error=' "$work/$tag.out" && [ -s "$work/$tag.out" ]; then
            return 0
        fi
        echo "  ardour7-lua $1 failed (exit $rc, try $try); log: $work/$tag.log"
        [ "$try" = 1 ] && [ -n "${BEFORE_RETRY:-}" ] && eval "$BEFORE_RETRY"
    done
    return 1
}
value() { sed -n "s/^$2=//p" "$work/$1.out" | tail -n 1; }
near() { python3 -c "import sys; sys.exit(0 if abs(float('$1') - float('$2')) < 1e-4 else 1)" 2>/dev/null; }

check_recall() {
    local tag=$1 what=$2
    local lat ov og
    lat=$(value "$tag" plugin_latency); ov=$(value "$tag" oversmp); og=$(value "$tag" outgain)
    if near "$ov" "$oversmp" && near "$og" 1.0; then
        pass "$what: Oversmp $ov and OutGain $og recalled"
    else
        fail "$what: Oversmp $ov, OutGain $og (expected $oversmp and 1.0)"
    fi
    if [ "$lat" = "$latency" ]; then
        pass "$what: Ardour reads the plug-in latency as $lat samples"
    else
        fail "$what: Ardour reads the plug-in latency as $lat samples (expected $latency)"
    fi
}

# The session folder is named as the session: Ardour keeps the audio files
# under interchange/<folder name>/audiofiles.
name=tamblor-check
session="$work/$name"
python3 "$py" gen "$work/click.wav" || die "cannot write the test file"

BEFORE_RETRY='rm -rf "$session"' run_lua create create "$session" "$name" "$uid" || die "Ardour cannot create a session with Tamblor on a track (see $work/create.log)"
pass "Ardour creates a 48 kHz session with Tamblor on a stereo track"

# A copy at the plug-in's defaults for the editor check (step 5).
mkdir -p "$work/gui"
cp -R "$session" "$work/gui/$name"
python3 "$py" window "$work/gui/$name/$name.ardour" || die "cannot ask for the plug-in window in the session"

cp "$work/click.wav" "$session/interchange/$name/audiofiles/click.wav"
python3 "$py" inject "$session/$name.ardour" "$work/click.wav" || die "cannot put the test file into the session"

BEFORE_RETRY='rm -f "$work"/export/*' run_lua export export "$session" "$name" "$preset_id" "$work/export" ||
    die "Ardour cannot export the session (see $work/export.log)"
exported=$(ls "$work"/export/*.wav 2>/dev/null | head -n 1)
[ -n "$exported" ] || die "the export wrote no WAV file into $work/export"
frames=$(value export region_length)
[ "$frames" = "$((3 * 48000))" ] && pass "the test file sits on the track as one region of $frames samples" ||
    fail "the track's region has $frames samples (expected $((3 * 48000)))"
lat=$(value export plugin_latency)
[ "$lat" = "$latency" ] && pass "at Oversmp 8X Ardour reads the plug-in latency as $lat samples" ||
    fail "at Oversmp 8X Ardour reads the plug-in latency as $lat samples (expected $latency)"
echo "export: $exported"
if python3 "$py" compare "$work/click.wav" "$exported" "$gain_db"; then
    pass "export: bursts at their source samples (latency compensated) and ${gain_db} dB louder"
else
    fail "export: bursts misplaced or at the wrong level (see above)"
fi

run_lua recall recall "$session" "$name" || fail "Ardour cannot reopen the saved session (see $work/recall.log)"
[ -s "$work/recall.out" ] && check_recall recall "saved session"

# The same session with Tamblor's state chunk as the only record of its values.
chunk="$work/chunk-only/$name"
mkdir -p "$work/chunk-only"
cp -R "$session" "$chunk"
python3 "$py" strip "$chunk/$name.ardour" || die "cannot strip Ardour's parameter values from the session"
run_lua recall-chunk recall "$chunk" "$name" || fail "Ardour cannot reopen the session with the state chunk only (see $work/recall-chunk.log)"
[ -s "$work/recall-chunk.out" ] && check_recall recall-chunk "state chunk only"

out2="$work/export-chunk.wav"
ok=0
for try in 1 2; do
    rm -f "$out2"
    ardour7-export -b float -o "$out2" "$chunk" "$name" > "$work/export-chunk.log" 2>&1 && [ -f "$out2" ] && { ok=1; break; }
    echo "  ardour7-export failed (try $try); log: $work/export-chunk.log"
done
if [ $ok = 1 ]; then
    if python3 "$py" compare "$work/click.wav" "$out2" "$gain_db"; then
        pass "ardour7-export of the recalled session: bursts in place and ${gain_db} dB louder"
    else
        fail "ardour7-export of the recalled session: bursts misplaced or at the wrong level (see above)"
    fi
else
    fail "ardour7-export cannot export the recalled session (see $work/export-chunk.log)"
fi

# 5. Ardour's own window shows the editor: Ardour (its GUI) under Xvfb opens the
#    session copied in step 1 with the plug-in's window asked for, and the
#    editor's region of a screenshot must match tamblor-editor's screenshot of
#    the view (scripts/ardour-editor.sh).
editor_tool=$(realpath -m "${TAMBLOR_EDITOR:-build/Tools/Editor/tamblor-editor}")
missing=
for tool in ardour xvfb-run xdotool import convert; do
    command -v "$tool" >/dev/null || missing="$missing $tool"
done
[ -x "$editor_tool" ] || missing="$missing $editor_tool (build tamblor-editor)"
if [ -n "$missing" ]; then
    results+=("SKIP  Ardour's editor window: missing$missing (apt-get install ardour xvfb xdotool imagemagick)")
    echo "SKIP: Ardour's editor window: missing$missing"
else
    shots="$work/shots"
    mkdir -p "$shots" "$HOME/.config/ardour7"
    touch "$HOME/.config/ardour7/.a7"     # Ardour's first-run marker: no welcome wizard
    screen='-screen 0 1920x1080x24 -nolisten tcp'
    if timeout 60 xvfb-run -a -s "$screen" "$editor_tool" --bundle "$HOME/.vst3/Tamblor.vst3" --frames 10 \
        --screenshot "$shots/tamblor-editor.png" > "$shots/tamblor-editor.log" 2>&1 &&
        [ -s "$shots/tamblor-editor.png" ]; then
        timeout 300 xvfb-run -a -s "$screen" "$here/ardour-editor.sh" "$work/gui/$name" "$shots" \
            "$shots/tamblor-editor.png" > "$shots/ardour-editor.out" 2>&1
        echo "  exit $?" >> "$shots/ardour-editor.out"
        while IFS= read -r line; do
            case $line in
                PASS:\ *) pass "${line#PASS: }" ;;
                FAIL:\ *) fail "${line#FAIL: }" ;;
            esac
        done < "$shots/ardour-editor.out"
        grep -qE '^(PASS|FAIL): ' "$shots/ardour-editor.out" ||
            fail "Ardour's editor check ended without a result (see $shots/ardour-editor.out)"
    else
        fail "tamblor-editor took no screenshot of the view (see $shots/tamblor-editor.log)"
    fi
fi

summary
[ "$fails" -eq 0 ]
