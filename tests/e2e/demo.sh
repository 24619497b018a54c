# The scripted demo of what Tovi does so far, for a machine without a display:
# each step leaves a screenshot in $OUT/shots.

demo_run() {
    cp "$ROOT/resources/maps/kyoto-1024x768.png" "$OUT/app/map.png"
    (cd "$OUT/app" && exec wine mapview.exe map.png 720 140 "Kyoto map") >/dev/null 2>&1 &
    sleep 1
    scenario demo
    start_tovi || return
    shot demo-1-start
    winctl move $(ctl_centre 1)
    sleep 0.3
    shot demo-2-help-line
    winctl click $(ctl_centre 1023)
    shot demo-3-scale-100m
    winctl click $(ctl_centre 10)
    sleep 0.5
    shot demo-4-about
    local r
    r=$(winctl owned | winctl_field rect)
    set -- $r
    winctl click $(($1 + $3 - 12)) $(($2 + 8)) right
    winctl click $(ctl_centre 2)
    check_eq "demo ended through 終了" "$(wait_exit)" "1"
}
