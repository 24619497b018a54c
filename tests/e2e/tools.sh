# Marking tools on a captured map: two evacuation places, congestion and
# no-passage points, a refused click off the road, a deletion; every marker
# painted on road pixels only.

PIXELS="python3 $HERE/pixels.py"

# A click the evacuation tool sees: it looks every 100 ms and reads the
# colour only after the cursor moved, so move first and hold the button.
evac_click() {
    winctl move "$1" "$2"
    sleep 0.4
    winctl click "$1" "$2" left 350
    sleep 0.3
}

tool_click() {
    winctl click "$1" "$2" left 80
    sleep 0.3
}

end_tool() {  # a right press anywhere ends the running tool
    winctl click "$1" "$2" right 80
    sleep 0.4
}

tools_marking() {
    scenario marking-tools
    capture_prepare_map
    capture_map || { check "map captured" false; stop_all; return; }
    sleep 0.5
    local pts
    pts=($($PIXELS white-points "$OUT/app/tst.bmp" 6))
    check "six white street points on the map" test "${#pts[@]}" -eq 12
    local c ox oy
    c=$(winctl main | winctl_field client)
    set -- $c
    ox=$1 oy=$2
    s() { echo "$((ox + pts[$1 * 2])) $((oy + pts[$1 * 2 + 1]))"; }

    # Two evacuation places; the tool ends by itself after the second.
    winctl click $(ctl_centre 1)
    sleep 0.3
    evac_click $(s 0)
    evac_click $(s 1)
    sleep 0.5
    check_eq "evacuation tool ended after the second place" "$(winctl main | winctl_field caption)" "避難場所セット終了"
    shot tools-evac
    check_eq "first place shows its magenta mark" "$($PIXELS pixel "$OUT/shots/tools-evac.png" $(s 0))" "255 0 255"

    # A congestion point, then a click off the road, then the right button.
    winctl click $(ctl_centre 3)
    sleep 0.3
    check_eq "tool caption" "$(winctl main | winctl_field caption)" "マウス左クリックでセット、右クリックでセット終了"
    tool_click $(s 2)
    local off_x=$((ox + 5)) off_y=$((oy + 5))
    tool_click $off_x $off_y
    local box=""
    for _ in $(seq 25); do box=$(winctl find 確認); [ -n "$box" ] && break; sleep 0.2; done
    check_eq "a click off the road is refused with its message" "$(winctl box-text 確認)" "設定が道路以外のようです。"
    winctl box-click 確認 2 || winctl box-click 確認 1
    sleep 0.3
    end_tool $(s 5)

    # A no-passage point.
    winctl click $(ctl_centre 4)
    sleep 0.3
    tool_click $(s 3)
    end_tool $(s 5)
    shot tools-marked
    check_eq "congestion marker painted" "$($PIXELS pixel "$OUT/shots/tools-marked.png" $(s 2))" "250 200 20"
    check_eq "no-passage marker painted" "$($PIXELS pixel "$OUT/shots/tools-marked.png" $(s 3))" "250 50 10"
    set -- $(winctl main | winctl_field client)
    convert "$OUT/shots/tools-marked.png" -crop "${3}x${4}+$1+$2" +repage PNG24:"$OUT/shown-marked.png"
    local diff
    diff=($($PIXELS check-markers "$OUT/app/tst.bmp" "$OUT/shown-marked.png"))
    check "markers changed the shown map" test "${diff[0]}" -gt 100
    check_eq "every changed pixel is a marker colour on a road pixel" "${diff[1]}" "0"

    # Delete the congestion point: the map is restored and the rest repainted.
    winctl click $(ctl_centre 9)
    sleep 0.3
    tool_click $(s 2)
    end_tool $(s 5)
    shot tools-deleted
    check_eq "deleted congestion point is gone" "$($PIXELS pixel "$OUT/shots/tools-deleted.png" $(s 2))" "255 255 255"
    check_eq "no-passage point stays" "$($PIXELS pixel "$OUT/shots/tools-deleted.png" $(s 3))" "250 50 10"
    check_eq "evacuation place repainted in its colour" "$($PIXELS pixel "$OUT/shots/tools-deleted.png" $(s 0))" \
        "100 250 100"
    check_eq "route build enabled after the changes" "$(winctl ctl 5 | winctl_field enabled)" "1"
    stop_all
}

tools_scenarios() {
    tools_marking
}
