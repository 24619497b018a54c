#!/bin/bash
# Sets up what is missing, builds, and starts Tovi under Wine next to the
# sample street map of central Kyoto, shown by the project's own map viewer.
# Without a display it runs Tovi on a virtual display through a short scripted
# demo and saves screenshots into out/demo/.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
bash "$ROOT/tools/setup.sh"
bash "$ROOT/tools/build.sh" win
OUT=${TOVI_DEMO_OUT:-$ROOT/out/demo}
mkdir -p "$OUT"
WIN_BUILD="$ROOT/build/win"
HERE="$ROOT/tests/e2e"
source "$HERE/lib.sh"
source "$HERE/capture.sh"
source "$HERE/tools.sh"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    E2E_DISPLAY=$DISPLAY
    e2e_display
    # Keep the user's own Wine settings between runs.
    if [ ! -d "$OUT/prefix" ]; then e2e_prefix; else export WINEPREFIX="$OUT/prefix"; cp "$WIN_BUILD"/*.exe "$OUT/app/"; fi
    capture_prepare_map
    show_map
    echo "Tovi is starting. The map: 国土地理院 (GSI Japan) standard map."
    echo "Press ﾏｯﾌﾟ初期設定, then right-drag and release on the white street just below the small"
    echo "orange mark of the map (screen point 1222, 552): the road network is captured from there."
    (cd -P "$OUT/app" && wine tovi.exe >/dev/null 2>&1) || true
    wineserver -k >/dev/null 2>&1 || true
    exit 0
fi

echo "No display: running the scripted demo on a virtual display; screenshots go to $OUT/shots"
source "$ROOT/tests/e2e/demo.sh"
e2e_display
e2e_prefix
demo_run
e2e_finish
