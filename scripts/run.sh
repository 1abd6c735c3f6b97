#!/bin/sh
# The main job: install the built plug-in bundle where Linux hosts look for it
# (~/.vst3/Tamblor.vst3) and master the built-in demo programme through the
# installed bundle with tamblor-render, which prints the figures and writes
# build/tamblor-demo.wav. The demo is mastered as an engineer would start:
# In Gain +6 dB into an Out Gain of -1 dB with 4X oversampling, so the report
# shows the loudness gained, the gain reduction and the true peak held.
# Arguments go on to tamblor-render after these settings and so override
# them (scripts/run.sh --set OutGain=-0.3 --set Oversmp=8X).
# TAMBLOR_BUILD_DIR names another build tree (default build).
set -eu
cd "$(dirname "$0")/.."
build="${TAMBLOR_BUILD_DIR:-build}"
bundle="$build/Tamblor.vst3"
render="$build/Tools/Render/tamblor-render"
if [ ! -f "$bundle/Contents/x86_64-linux/Tamblor.so" ] || [ ! -x "$render" ]; then
    ./scripts/build.sh release
fi

dest="$HOME/.vst3"
mkdir -p "$dest"
# Replace the installed bundle in one step: hosts never see half a copy.
rm -rf "$dest/.Tamblor.vst3.new"
cp -R "$bundle" "$dest/.Tamblor.vst3.new"
rm -rf "$dest/Tamblor.vst3"
mv "$dest/.Tamblor.vst3.new" "$dest/Tamblor.vst3"
echo "installed: $dest/Tamblor.vst3"
echo

cd "$build"
exec ./Tools/Render/tamblor-render --set InGain=6 --set OutGain=-1.0 --set Oversmp=4X "$@"
