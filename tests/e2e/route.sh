# Routes on a captured and marked map: "ルート作成" builds the wave and leaves
# the map as it was; "ルート検証" shows the route from the cursor.

# Marks the captured map: places at street points 0 and 1, a congestion point
# at 2 and a no-passage point at 3 (points from white_points of tst.bmp).
mark_map() {
    local c
    c=$(winctl main | winctl_field client)
    set -- $c
    ROUTE_OX=$1 ROUTE_OY=$2
    ROUTE_PTS=($($PIXELS white-points "$OUT/app/tst.bmp" 8))
    rs() { echo "$((ROUTE_OX + ROUTE_PTS[$1 * 2])) $((ROUTE_OY + ROUTE_PTS[$1 * 2 + 1]))"; }
    winctl click $(ctl_centre 1)
    sleep 0.3
    evac_click $(rs 0)
    evac_click $(rs 1)
    sleep 0.3
    winctl click $(ctl_centre 3)
    sleep 0.3
    tool_click $(rs 2)
    end_tool $(rs 7)
    winctl click $(ctl_centre 4)
    sleep 0.3
    tool_click $(rs 3)
    end_tool $(rs 7)
}

build_route() {
    winctl click $(ctl_centre 5)
    local caption=""
    for _ in $(seq 100); do
        caption=$(winctl main | winctl_field caption)
        [[ $caption =~ ^[0-9]+\ -\ 1920000\ \ \ [0-9]+\ -\ 1919900$ ]] && [ "$(winctl ctl 6 | winctl_field enabled)" = 1 ] &&
            break
        sleep 0.2
    done
    echo "$caption"
}

route_build() {
    scenario route-build
    capture_prepare_map
    capture_map || { check "map captured" false; stop_all; return; }
    mark_map
    local caption
    caption=$(build_route)
    check "caption keeps the wave's last count" test -n "$caption"
    e2e_log "  caption: $caption"
    check_eq "route build disabled, route display enabled" \
        "$(winctl ctl 5 | winctl_field enabled) $(winctl ctl 6 | winctl_field enabled)" "0 1"
    sleep 0.5
    shot route-built
    set -- $(winctl main | winctl_field client)
    convert "$OUT/shots/route-built.png" -crop "${3}x${4}+$1+$2" +repage PNG24:"$OUT/shown-route.png"
    local diff
    diff=($($PIXELS check-markers "$OUT/app/tst.bmp" "$OUT/shown-route.png"))
    check_eq "after the wave the map shows only map and markers" "${diff[1]}" "0"
    stop_all
}

route_scenarios() {
    route_build
}
