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


# The four figures of the panel as one line: distance steps minutes calories.
panel_figures() {
    echo "$(winctl ctl 1005 | winctl_field text) $(winctl ctl 1003 | winctl_field text)" \
        "$(winctl ctl 1031 | winctl_field text) $(winctl ctl 1004 | winctl_field text)"
}

# The same figures as tovi-cli walk gives them for a client pixel of a saved work.
walk_figures() {
    "$TOVI_CLI" walk "$1" "$2" "$3" | awk '/^(distance|steps|minutes|calories):/ {printf "%s ", $2}' | sed 's/ $//'
}

route_display() {
    scenario route-display
    capture_prepare_map
    rm -rf "$OUT/app/a-work"
    mkdir -p "$OUT/app/a-work"
    capture_map || { check "map captured" false; stop_all; return; }
    mark_map
    build_route >/dev/null
    winctl click $(ctl_centre 7)
    browse_pick_child 1
    wait_saved "$OUT/app/a-work"
    local p5x=${ROUTE_PTS[10]} p5y=${ROUTE_PTS[11]} p6x=${ROUTE_PTS[12]} p6y=${ROUTE_PTS[13]}
    winctl click $(ctl_centre 6)
    sleep 0.5
    check_eq "display caption" "$(winctl main | winctl_field caption)" "終了は、マウス左クリック"
    winctl move $((ROUTE_OX + p5x + 1)) $((ROUTE_OY + p5y))
    winctl move $((ROUTE_OX + p5x)) $((ROUTE_OY + p5y))
    sleep 0.5
    shot route-display
    local colour
    colour=$($PIXELS pixel "$OUT/shots/route-display.png" $((ROUTE_OX + p5x)) $((ROUTE_OY + p5y)))
    check "the route from the cursor is drawn in its wave's colour (got $colour)" \
        test "$colour" = "0 255 255" -o "$colour" = "255 255 0"
    if [ -x "$TOVI_CLI" ]; then
        check_eq "panel figures equal tovi-cli walk at the cursor" "$(panel_figures)" \
            "$(walk_figures "$OUT/app/a-work" $p5x $p5y)"
        winctl move $((ROUTE_OX + p6x)) $((ROUTE_OY + p6y))
        sleep 0.5
        check_eq "moving on: the figures follow the cursor" "$(panel_figures)" \
            "$(walk_figures "$OUT/app/a-work" $p6x $p6y)"
    fi
    shot route-display-moved
    check_eq "the previous route is erased" \
        "$($PIXELS pixel "$OUT/shots/route-display-moved.png" $((ROUTE_OX + p5x)) $((ROUTE_OY + p5y)))" "255 255 255"
    # A left click on a reached pixel ends the display; the figures then stay.
    local before
    before=$(panel_figures)
    winctl click $((ROUTE_OX + p6x)) $((ROUTE_OY + p6y))
    sleep 0.5
    winctl move $((ROUTE_OX + p5x)) $((ROUTE_OY + p5y))
    sleep 0.5
    check_eq "after a left click the display has ended" "$(panel_figures)" "$before"
    stop_all
}

route_scenarios() {
    route_build
    route_display
}
