#!/bin/bash
# Opens Tamblor's editor in Ardour 7's own window and takes a screenshot of
# it; scripts/ardour-check.sh runs it under xvfb-run (1920x1080, no window
# manager, so every window sits at the top left).
#
#   scripts/ardour-editor.sh SESSION_DIR OUT_DIR REFERENCE.png
#
# SESSION_DIR is a saved session whose <Extra><UI> asks for the plug-in's
# window (ardour-check.py window). HOME is Ardour's, prepared by the caller.
# Ardour 7.3 lists its Dummy backend in the Audio/MIDI setup only when it
# believes it runs from its source tree (a themes path through a folder named
# gtk2_ardour); with it, this script answers the dialogs of a first start:
# the note that the session's engine device changed, then the setup, where it
# picks "None (Dummy)" and starts. Then it waits for the window titled
# "... [VST3]", saves the screen (OUT_DIR/ardour-screen.png) and the editor's
# region of it (OUT_DIR/ardour-editor.png), and compares that region with
# REFERENCE.png, tamblor-editor's own screenshot of the same view.
# Prints "PASS: ..." / "FAIL: ..." lines; exit 0 when all passed.
set -u
session=$1 out=$2 reference=$3
mkdir -p "$out"
log="$out/ardour-gui.log"
fails=0
pass() { echo "PASS: $1"; }
fail() { echo "FAIL: $1"; fails=$((fails + 1)); }

ln -sfn /usr/share/ardour7/themes "$out/gtk2_ardour"
ARDOUR_THEMES_PATH="$out/gtk2_ardour" ardour -n "$session" > "$log" 2>&1 &
pid=$!
stop() {
    kill "$pid" 2>/dev/null
    local i
    for i in $(seq 20); do kill -0 "$pid" 2>/dev/null || return; sleep 0.5; done
    kill -9 "$pid" 2>/dev/null
}
trap stop EXIT

# Viewable windows as "ID WIDTH HEIGHT X Y NAME" lines (X Y on the screen; NAME
# empty for windows without one).
windows() {
    local w W H X Y name
    xwininfo -root -tree 2>/dev/null |
        sed -nE 's/^ *(0x[0-9a-f]+) (\(has no name\)|"([^"]*)"):.* ([0-9]+)x([0-9]+)[-+]-?[0-9]+[-+]-?[0-9]+ +\+?(-?[0-9]+)\+?(-?[0-9]+)$/\1 \4 \5 \6 \7 \3/p' |
        while read -r w W H X Y name; do
            [ "$W" -gt 20 ] && [ "$H" -gt 20 ] || continue
            xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' || continue
            echo "$w $W $H $X $Y $name"
        done
}
# A click at an offset from a window's top left (negative: from its bottom
# right).
click_in() {
    local x=$4 y=$5
    [ "$x" -lt 0 ] && x=$(($2 + x))
    [ "$y" -lt 0 ] && y=$(($3 + y))
    xdotool mousemove "$(($6 + x))" "$(($7 + y))" click 1
}

editor=
setup_done=0
deadline=$((SECONDS + 120))
while [ $SECONDS -lt $deadline ]; do
    kill -0 "$pid" 2>/dev/null || break
    list=$(windows)
    editor=$(grep -E ' \[VST3\]$' <<<"$list" | head -n 1)
    [ -n "$editor" ] && break
    # Once the session's main window is up, the plug-in's follows within seconds.
    if [ -z "${loaded:-}" ] && grep -qE ' - Ardour$' <<<"$list"; then
        loaded=1
        [ $((SECONDS + 20)) -lt $deadline ] && deadline=$((SECONDS + 20))
    fi
    setup=$(grep -E ' Audio/MIDI Setup$' <<<"$list" | head -n 1)
    # The note has no name; a dialog of its size is nothing else at this stage.
    note=$(awk 'NF == 5 && $2 > 200 && $3 < 300' <<<"$list" | head -n 1)
    if [ -n "$note" ]; then
        # "Engine I/O device has changed ...": its OK button, bottom right.
        read -r w W H X Y _ <<<"$note"
        echo "answering the engine device note (window $w)"
        click_in "$w" "$W" "$H" -54 -25 "$X" "$Y"
        sleep 2
    elif [ -n "$setup" ] && [ $setup_done -lt 3 ]; then
        # The audio system's list (ALSA, JACK, None (Dummy), PulseAudio):
        # two down from the first, then Start at the bottom right.
        read -r w W H X Y _ <<<"$setup"
        echo "choosing the Dummy backend (window $w)"
        click_in "$w" "$W" "$H" 286 49 "$X" "$Y"
        sleep 1
        xdotool key Home Down Down Return
        sleep 1
        click_in "$w" "$W" "$H" -59 -30 "$X" "$Y"
        setup_done=$((setup_done + 1))
        sleep 3
    else
        sleep 1
    fi
done
if [ -z "$editor" ]; then
    import -window root "$out/ardour-screen.png" 2>/dev/null
    if [ -n "${loaded:-}" ]; then
        fail "Ardour loaded the session but opened no plug-in window (screen: $out/ardour-screen.png, log: $log)"
    else
        fail "Ardour opened no plug-in window within 120 s (screen: $out/ardour-screen.png, log: $log)"
    fi
    exit 1
fi
read -r w W H X Y title <<<"$editor"
pass "Ardour opens the plug-in window \"$title\" (${W}x${H})"

# Our view's own window sits in Ardour's below its toolbar; it is named
# after the plug-in. The region compared is the reference's size from there.
read -r rw rh < <(python3 -c "
import struct, sys
d = open(sys.argv[1], 'rb').read()
print(*struct.unpack('>II', d[16:24]))" "$reference")
view=$(windows | awk '$6 == "Tamblor" && NF == 6' | head -n 1)
if [ -n "$view" ]; then
    read -r _ _ _ vx vy _ <<<"$view"
else
    vx=$X vy=$((Y + H - rh))
fi
# The view draws on its first frames: the screen is taken until it matches
# the reference or 10 s have passed.
matched=0
for try in $(seq 10); do
    sleep 1
    import -window root "$out/ardour-screen.png"
    convert "$out/ardour-screen.png" -crop "${rw}x${rh}+${vx}+${vy}" +repage -depth 8 -type TrueColor \
        "png24:$out/ardour-editor.png"
    if python3 "$(dirname "$0")/compare-shots.py" "$out/ardour-editor.png" "$reference" > "$out/compare.txt" 2>&1; then
        matched=1
        break
    fi
done
spread=$(convert "$out/ardour-editor.png" -colorspace Gray -format '%[fx:standard_deviation]' info: 2>/dev/null)
if python3 -c "import sys; sys.exit(0 if float('${spread:-0}') > 0.02 else 1)"; then
    pass "the editor's region in Ardour's window is drawn (grey spread $spread; $out/ardour-editor.png)"
else
    fail "the editor's region in Ardour's window is blank (grey spread ${spread:-?}; $out/ardour-editor.png)"
fi
if [ $matched = 1 ]; then
    pass "Ardour shows the editor as tamblor-editor does ($(cat "$out/compare.txt"))"
else
    fail "Ardour's editor region differs from tamblor-editor's screenshot: $(cat "$out/compare.txt")"
fi
[ $fails -eq 0 ]
