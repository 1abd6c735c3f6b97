#!/bin/sh
# Regenerates the golden images of the editor's test documents: every
# Tests/UI/data/NAME.xml at the scales 1.0, 1.5 and 2.0 into
# Tests/UI/data/golden/NAME@SCALE.png, drawn by tamblor-uishot.
# Usage: scripts/ui-golden.sh [BUILD_DIR]   (default: build)
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target tamblor-uishot >/dev/null
data=Tests/UI/data
mkdir -p "$data/golden"
for doc in "$data"/*.xml; do
    name=$(basename "$doc" .xml)
    for scale in 1.0 1.5 2.0; do
        "$build/Tools/UiShot/tamblor-uishot" "$doc" "$data/golden/$name@$scale.png" --scale "$scale" --workers 0 2>/dev/null
    done
done
echo "golden images written to $data/golden"
