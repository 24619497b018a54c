# What the benches of tovi.exe under Wine share: the tools they need, the
# end-to-end tests' helpers, a virtual display and a Wine prefix of their own,
# and the Linux process that runs the program. Sourced with ROOT, HERE
# (tests/e2e), WIN_BUILD and OUT set.
#
#   wine_bench_start NAME   checks the tools and WIN_BUILD's programs, sources
#                           the helpers and starts the display and the prefix;
#                           a missing piece ends the script (exit 1) with NAME
#                           in its message
#   find_tovi               the process id of the tovi.exe of this prefix

wine_bench_start() {
    local name=$1 tool f
    for tool in wine Xvfb xdotool convert; do
        command -v $tool >/dev/null || { echo "$name: $tool is missing (bash tools/setup.sh installs it)" >&2; exit 1; }
    done
    for f in tovi.exe winctl.exe mapview.exe; do
        [ -f "$WIN_BUILD/$f" ] || { echo "$name: $WIN_BUILD/$f is missing" >&2; exit 1; }
    done
    source "$HERE/lib.sh"
    source "$HERE/capture.sh"
    source "$HERE/tools.sh"
    source "$HERE/route.sh"
    source "$HERE/storage.sh"
    unset E2E_DISPLAY
    trap 'e2e_finish >/dev/null' EXIT
    e2e_display >&2
    e2e_prefix
}

find_tovi() {
    local p
    for p in /proc/[0-9]*; do
        [ "$(cat "$p/comm" 2>/dev/null)" = tovi.exe ] || continue
        tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
        echo "${p#/proc/}"
        return 0
    done
    return 1
}
