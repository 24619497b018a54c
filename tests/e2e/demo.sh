# The scripted demo of what Tovi does so far, for a machine without a display:
# each step leaves a screenshot in $OUT/shots.

demo_run() {
    capture_prepare_map
    show_map
    scenario demo
    start_tovi || return
    shot demo-1-start
    winctl move $(ctl_centre 1)
    sleep 0.3
    shot demo-2-help-line
    winctl click $(ctl_centre 10)
    sleep 0.5
    shot demo-3-about
    local r
    r=$(winctl owned | winctl_field rect)
    set -- $r
    winctl click $(($1 + $3 - 12)) $(($2 + 8)) right
    stop_all
    # Capture a street of the map, then mark places, congestion and no-passage
    # points and delete one: the marking scenario leaves its screenshots too.
    tools_marking
}
