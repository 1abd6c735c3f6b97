#!/bin/sh
# The layers point one way: each top folder may include only itself and the
# folders below it. Exits non-zero and names every include that points up.
#   Platform  <- Core  <- Audio  <- Audio/VST, Tools, Tests, Bench, Fuzz
#   Other (graphics resources) and UI sit beside Audio: above Core, and UI
#   reaches the audio side only through the interface protocol (Audio/Interface).
#   Product (the composition root) sits above Audio and UI; nothing below
#   it but the adapter and the programs include it. Inside UI the resources
#   know nothing of views, the controls nothing of the meters; tamblor-uishot (Tools/UiShot) reaches the
#   audio side only to run an in-process instance under the product's editor document.
#   Host (the host side of VST3, for the programs, tests and benchmarks that
#   run the bundle) sits with the tools and reaches the plug-in only through
#   the SDK's interfaces: it includes no folder of the system. The editor
#   host (Tools/Editor) is built on it alone, and plays the render tool's
#   demo programme (Tools/Render/DemoSignal.h, plain arithmetic).
# Usage: scripts/check-layers.sh [SOURCE_ROOT]
root="${1:-$(dirname "$0")/..}"
cd "$root" || exit 2
status=0
# allowed FOLDER PREFIXES...: include prefixes FOLDER's sources may use
# (a folder, or one header by its path).
check() {
    folder=$1
    shift
    [ -d "$folder" ] || return 0
    find "$folder" -name '*.h' -o -name '*.cpp' | while read -r f; do
        case "$f" in "$folder"/VST/*) [ "$folder" = Audio ] && continue ;; esac
        grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[A-Za-z]*/' "$f" | while IFS= read -r line; do
            inc=$(printf '%s\n' "$line" | sed 's/.*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/')
            ok=0
            for p in "$@"; do
                case "$inc" in "$p" | "$p"/*) ok=1 ;; esac
            done
            if [ $ok = 0 ]; then
                echo "layer violation: $f:${line%%:*} includes \"$inc\""
            fi
        done
    done
}
out=$(
    check Platform Platform
    check Core Core Platform
    check Audio Audio Core Platform
    check Other Other Core Platform
    check UI UI Other Audio/Interface Core Platform
    check UI/Resources UI/Resources Other Core Platform
    check UI/Controls UI/Controls UI/View UI/Text UI/Render UI/Resources Other Audio/Interface Core Platform
    check Tools/UiShot Tools UI Other Audio Core Platform Product
    check Product Product Audio UI Other Core Platform
    check Host Host pluginterfaces
    check Tools/Editor Tools/Editor Tools/Render/DemoSignal.h Host pluginterfaces public.sdk
)
if [ -n "$out" ]; then
    printf '%s\n' "$out"
    status=1
fi
exit $status
