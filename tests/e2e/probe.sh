# Whether the program keeps answering its messages while it works: the probe
# (tools/win/probe.exe) sends WM_NULL to the panel and the main window every
# 50 ms through a capture, a route build, a save and a load. A window that
# leaves a message unanswered for 5 s is "not responding" on Windows; the probe
# fails a window that left one unanswered for 1 s.

# Starts the probe; its log lands in $OUT/probe-NAME.log.
probe_start() {
    PROBE_NAME=$1
    cp -f "$WIN_BUILD/probe.exe" "$OUT/app/probe.exe"
    rm -f "$OUT/app/probe.stop" "$OUT/probe-$1.log" "$OUT/probe-$1.exit"
    (cd -P "$OUT/app" && wine probe.exe probe.stop 600 >"$OUT/probe-$1.log" 2>/dev/null
        echo $? >"$OUT/probe-$1.exit") &
    local _
    for _ in $(seq 50); do
        grep -q '^panel: found' "$OUT/probe-$1.log" 2>/dev/null && grep -q '^main: found' "$OUT/probe-$1.log" && return 0
        sleep 0.1
    done
    e2e_log "  the probe found no window"
    return 1
}

# Stops the probe and prints its exit code (empty when it did not end).
probe_stop() {
    local name=$PROBE_NAME _
    touch "$OUT/app/probe.stop"
    for _ in $(seq 100); do
        [ -s "$OUT/probe-$name.exit" ] && break
        sleep 0.1
    done
    rm -f "$OUT/app/probe.stop"
    cat "$OUT/probe-$name.exit" 2>/dev/null
}

# Stops the probe and checks its verdict: probe_check "through WHAT".
probe_check() {
    local name=$PROBE_NAME rc line
    rc=$(probe_stop)
    while read -r line; do e2e_log "  probe $name: $line"; done < <(tr -d '\r' <"$OUT/probe-$name.log" |
        grep -E '^((panel|main): (worst|waited|counted|still|never))|^verdict')
    check_eq "the panel and the main window answered within 1 s $1" "$rc" "0"
}

probe_responsive() {
    scenario probe-responsive
    capture_prepare_map
    rm -f "$OUT/app/"{tst.bmp,tst1.bmp,base.dat,d1.dat,d2.dat,d3.dat,d4.dat}
    rm -rf "$OUT/app/a-work"
    mkdir -p "$OUT/app/a-work"
    show_map
    start_tovi || { check "Tovi started" false; stop_all; return; }

    probe_start capture
    winctl click $(ctl_centre 1)
    # A person takes a moment to find the street: the tool waits meanwhile.
    sleep 1.5
    winctl drag 1180 520 $CAPTURE_RELEASE right
    local fitted=0
    wait_fitted && fitted=1
    sleep 0.5
    probe_check "through the capture"
    check "the map is captured" test $fitted = 1
    [ $fitted = 1 ] || { stop_all; return; }

    mark_map
    probe_start route
    local caption
    caption=$(build_route)
    probe_check "through the route build"
    check "the route is built" test -n "$caption"

    probe_start save
    winctl click $(ctl_centre 7)
    browse_pick_child 1
    local saved=0
    wait_saved "$OUT/app/a-work" && saved=1
    probe_check "through the save"
    check "the work is saved" test $saved = 1
    stop_all

    start_tovi || { check "Tovi started again" false; stop_all; return; }
    probe_start load
    winctl click $(ctl_centre 8)
    browse_pick_child 1 old
    local loaded=0
    wait_fitted && loaded=1
    sleep 1
    probe_check "through the load"
    check "the work is loaded" test $loaded = 1
    stop_all
}

probe_scenarios() {
    probe_responsive
}
