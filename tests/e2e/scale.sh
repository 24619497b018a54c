# The map scale measured on the map: "縮尺測定", two clicks on the ends of the
# web map's scale bar, its length typed, the scale named on the panel and used
# by the walking figures, saved with the work.

# A scale bar as a web map draws one in a corner of the map: 51 pixels for
# 200 m (zoom 15 over Kyoto is 3.9 m a pixel), between two ticks.
SCALE_BAR_X=380
SCALE_BAR_Y=450
SCALE_BAR_PX=51
scale_prepare_map() {
    capture_prepare_map
    local x0=$SCALE_BAR_X y=$SCALE_BAR_Y x1=$((SCALE_BAR_X + SCALE_BAR_PX))
    convert "$OUT/app/map.png" -fill 'rgb(249,249,249)' -draw "rectangle $((x0 - 6)),$((y - 16)) $((x1 + 30)),$((y + 5))" \
        -fill black -draw "rectangle $x0,$((y - 1)) $x1,$((y + 1))" \
        -draw "rectangle $x0,$((y - 8)) $((x0 + 1)),$((y + 1))" -draw "rectangle $((x1 - 1)),$((y - 8)) $x1,$((y + 1))" \
        -pointsize 11 -annotate +$((x1 + 4))+$((y + 3)) "200m" PNG24:"$OUT/app/map.png"
}

scale_measure() {
    scenario scale-measure
    scale_prepare_map
    rm -rf "$OUT/app/a-work"
    mkdir -p "$OUT/app/a-work"
    capture_map || { check "map captured" false; stop_all; return; }
    sleep 0.5
    check_eq "縮尺測定 offered once a map is captured" "$(winctl ctl 1041 | winctl_field enabled)" "1"
    check_eq "the panel names the scale the figures use" "$(winctl ctl 1042 | winctl_field text)" \
        "縮尺：1画素 = 2 m (200 m)"
    local rect ox oy ax ay bx
    rect=$(map_rect)
    set -- $rect
    local left=$1 top=$2
    set -- $(winctl main | winctl_field client)
    ox=$1 oy=$2
    ax=$((ox + SCALE_BAR_X + CAPTURE_MAP_X - left))
    ay=$((oy + SCALE_BAR_Y + CAPTURE_MAP_Y - top))
    bx=$((ax + SCALE_BAR_PX))
    winctl click $(ctl_centre 1041)
    sleep 0.5
    check_eq "the caption asks for the bar's left end" "$(winctl main | winctl_field caption)" \
        "縮尺記号の左端を左クリックしてください。右クリックで中止"
    tool_click $ax $ay
    sleep 0.3
    shot scale-first-end
    tool_click $bx $ay
    local box=""
    for _ in $(seq 50); do box=$(winctl find "縮尺の測定") && break; sleep 0.2; done
    check "the length is asked in a box" test -n "$box"
    sleep 0.5
    xdotool type --delay 80 "200"
    sleep 0.3
    shot scale-length-box
    xdotool key Return
    sleep 0.8
    check_eq "the panel names the measured scale" "$(winctl ctl 1042 | winctl_field text)" \
        "縮尺：1画素 = 3.92 m (実測)"
    check_eq "neither 100 m nor 200 m checked" \
        "$(winctl ctl 1023 | winctl_field checked) $(winctl ctl 1024 | winctl_field checked)" "0 0"
    shot scale-measured
    # The marks of the two clicks are gone from the map shown.
    set -- $(winctl main | winctl_field client)
    convert "$OUT/shots/scale-measured.png" -crop "${3}x${4}+$1+$2" +repage PNG24:"$OUT/shown-scale.png"
    local diff
    diff=($($PIXELS check-markers "$OUT/app/tst.bmp" "$OUT/shown-scale.png"))
    check_eq "after the measurement the map shows only map and markers" "${diff[1]}" "0"

    # The walking figures at that scale, as tovi-cli walk gives them for the saved work.
    mark_map
    build_route >/dev/null
    winctl click $(ctl_centre 7)
    browse_pick_child 1
    check "saved" wait_saved "$OUT/app/a-work"
    check_eq "base.dat keeps the metres per pixel" \
        "$(python3 -c 'import struct,sys; print("%.4f" % struct.unpack_from("<d", open(sys.argv[1], "rb").read(), 1712 + 80)[0])' \
            "$OUT/app/a-work/base.dat")" "3.9216"
    local p5x=${ROUTE_PTS[10]} p5y=${ROUTE_PTS[11]}
    winctl click $(ctl_centre 6)
    sleep 0.5
    winctl move $((ROUTE_OX + p5x + 1)) $((ROUTE_OY + p5y))
    winctl move $((ROUTE_OX + p5x)) $((ROUTE_OY + p5y))
    sleep 0.8
    shot scale-route-figures
    if [ -x "$TOVI_CLI" ]; then
        local want
        want=$(walk_figures "$OUT/app/a-work" $p5x $p5y)
        check_eq "the figures are tovi-cli walk's at the measured scale" "$(panel_figures)" "$want"
        check "and not those at 200 m" test "$want" != \
            "$("$TOVI_CLI" walk "$OUT/app/a-work" $p5x $p5y --scale 200 |
                awk '/^(distance|steps|minutes|calories):/ {printf "%s ", $2}' | sed 's/ $//')"
    fi
    winctl click $((ROUTE_OX + p5x)) $((ROUTE_OY + p5y))
    stop_all
}

# A length that is no length is said, asked again, and a cancel keeps the scale.
scale_refused() {
    scenario scale-refused
    scale_prepare_map
    capture_map || { check "map captured" false; stop_all; return; }
    sleep 0.5
    set -- $(map_rect)
    local left=$1 top=$2 ox oy ax ay
    set -- $(winctl main | winctl_field client)
    ox=$1 oy=$2
    ax=$((ox + SCALE_BAR_X + CAPTURE_MAP_X - left))
    ay=$((oy + SCALE_BAR_Y + CAPTURE_MAP_Y - top))
    winctl click $(ctl_centre 1041)
    sleep 0.5
    tool_click $ax $ay
    tool_click $((ax + SCALE_BAR_PX)) $ay
    for _ in $(seq 50); do winctl find "縮尺の測定" >/dev/null && break; sleep 0.2; done
    sleep 0.5
    xdotool type --delay 80 "abc"
    xdotool key Return
    sleep 0.8
    shot scale-length-refused
    check "a box says what to type" winctl find "縮尺の測定"
    xdotool key Return   # the message's OK
    sleep 0.8
    xdotool key Escape   # the length box again: cancelled
    sleep 0.8
    check_eq "the scale stays the panel's" "$(winctl ctl 1042 | winctl_field text)" "縮尺：1画素 = 2 m (200 m)"
    stop_all
}

scale_scenarios() {
    scale_measure
    scale_refused
}
