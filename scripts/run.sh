#!/bin/sh
# The main job: start the application as module load does and show the product identity.
set -eu
cd "$(dirname "$0")/.."
exec ./build/Tools/Inspect/tamblor-inspect shared::project
