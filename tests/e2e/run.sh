#!/bin/bash
# End-to-end tests: the real tovi.exe in real windows under Wine on a virtual
# display, driven with real mouse input. Prints 'e2e: N passed, N failed' and
# exits non-zero when a check failed.
#
#   tests/e2e/run.sh WIN_BUILD OUT [scenario...]
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
WIN_BUILD=$(cd "$1" && pwd)
mkdir -p "$2"
OUT=$(cd "$2" && pwd)
shift 2
source "$HERE/lib.sh"
for part in "$HERE"/[a-z]*.sh; do
    case $(basename "$part") in lib.sh | run.sh | demo.sh) ;; *) source "$part" ;; esac
done

# Whatever happens in a scenario, the windows and the display go away and the
# counts are printed.
trap 'E2E_FAILED=$((E2E_FAILED + 1)); e2e_log "  FAIL $E2E_SCENARIO: aborted"; e2e_finish' EXIT
e2e_display
e2e_prefix
if [ $# -eq 0 ]; then
    set -- shell_scenarios capture_scenarios tools_scenarios route_scenarios storage_scenarios durable_scenarios \
        browser_scenarios probe_scenarios dpi_scenarios desktop_scenarios evacmap_scenarios scale_scenarios
fi
for s in "$@"; do "$s"; done
trap - EXIT
e2e_finish
[ "$E2E_FAILED" -eq 0 ]
