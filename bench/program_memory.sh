#!/bin/bash
# Peak memory of the program itself: tovi.exe under Wine on a virtual display
# of its own, driven as the end-to-end tests drive it, with the worst case
# loaded and a route built. The work is the street grid with an aerial
# picture, captured and marked by tovi-cli as bench/run's session does, in a
# sub-folder of the program folder; the program loads it with "読み込み" and
# the folder browser, then "ルート作成" builds the route (in the spare set a
# cancel needs). The figure is VmHWM of /proc/PID/status of the Linux process
# that runs tovi.exe (all of it: the program, Wine's libraries in it; not the
# wineserver's or the X server's), read after the route is shown.
#
#   bash bench/program_memory.sh WIN_BUILD TOVI_CLI [OUT]
#
# WIN_BUILD holds tovi.exe, winctl.exe and mapview.exe; TOVI_CLI is a native
# tovi-cli; OUT (default out/program-memory) gets the Wine prefix, the
# screenshots and program_memory.txt: "start KB" (VmHWM of the program
# started, before any work: Wine's own share is most of it), "loaded KB"
# (once the work is loaded; "loaded_rss KB", VmRSS then), "route KB" (with
# the route built) and "rss KB" (VmRSS then).
# Exit 1 when a step could not be reached.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
HERE=$ROOT/tests/e2e
WIN_BUILD=$(cd "${1:?WIN_BUILD}" && pwd) || exit 1
CLI=${2:?TOVI_CLI}
mkdir -p "${3:-$ROOT/out/program-memory}"
OUT=$(cd "${3:-$ROOT/out/program-memory}" && pwd)
GRID=$ROOT/resources/maps/street-grid-1600x1200.png
source "$ROOT/bench/wine_bench.sh"
wine_bench_start program_memory

RESULTS=$OUT/program_memory.txt
: >"$RESULTS"

status_kb() { sed -n "s/^$1:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$TOVI_PID/status"; }

# The worst case without a route: the program builds it.
work=$OUT/app/a-work
rm -rf "$work"
"$CLI" capture "$GRID" 801 601 "$work" --photo "$GRID" >/dev/null &&
    "$CLI" mark "$work" --clear --evac 400,300 --evac 1200,900 --cong 800,600 --nopass 600,800 >/dev/null ||
    { echo "program_memory: the work could not be made" >&2; exit 1; }

start_tovi || exit 1
TOVI_PID=$(find_tovi) || { echo "program_memory: no tovi.exe process found" >&2; exit 1; }
echo "start $(status_kb VmHWM)" >>"$RESULTS"
winctl click $(ctl_centre 8)
browse_pick_child 1 old
wait_fitted || { echo "program_memory: the work was not loaded" >&2; shot memory-load; exit 1; }
for _ in $(seq 100); do [ "$(winctl ctl 5 | winctl_field enabled)" = 1 ] && break; sleep 0.2; done
[ "$(winctl ctl 5 | winctl_field enabled)" = 1 ] ||
    { echo "program_memory: ルート作成 is not offered after the load" >&2; shot memory-load; exit 1; }
sleep 1
echo "loaded $(status_kb VmHWM)" >>"$RESULTS"
echo "loaded_rss $(status_kb VmRSS)" >>"$RESULTS"
caption=$(build_route)
[ -n "$caption" ] || { echo "program_memory: the route was not built" >&2; shot memory-route; exit 1; }
sleep 1
shot memory-route
echo "route $(status_kb VmHWM)" >>"$RESULTS"
echo "rss $(status_kb VmRSS)" >>"$RESULTS"
cat "$RESULTS" >&2
