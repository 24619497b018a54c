# The windows at any scaling: at 96, 144 and 192 DPI (the prefix's LogPixels)
# the whole work of a user (capture, marks, route, route display) on a screen
# of 1920 x 1000: the Kyoto sample at 96 and 144 DPI, and at 192 DPI the
# street grid shown 800 rows high, which no longer fits below the panel: the
# main window scrolls. Checked at each DPI: the panel and the main window
# inside the work area and apart, the client area the map's size (or
# scrolling, with what is shown the map at the scroll offset), the figures of
# a pixel under the cursor those of tovi-cli walk for that map pixel, and a
# WM_DPICHANGED sent to each window followed by a place that keeps the rules.

DPI_SCREEN=1920x1000

# The prefix's DPI, read when Wine's server starts.
dpi_set() {
    stop_all
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -w 2>/dev/null || true
}

# A screen of its own for these scenarios; the runner's comes back after.
dpi_display_start() {
    local n=88
    while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
    stop_all
    Xvfb :$n -screen 0 ${DPI_SCREEN}x24 -noreset >/dev/null 2>&1 &
    DPI_XVFB_PID=$!
    DPI_OLD_DISPLAY=$DISPLAY
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    # An aborted run still takes this screen down, then does what it did.
    DPI_OLD_TRAP=$(trap -p EXIT)
    trap "kill $DPI_XVFB_PID 2>/dev/null; $(sed -n "s/^trap -- '\(.*\)' EXIT$/\1/p" <<<"$DPI_OLD_TRAP")" EXIT
}

dpi_display_stop() {
    stop_all
    kill "$DPI_XVFB_PID" 2>/dev/null
    wait "$DPI_XVFB_PID" 2>/dev/null
    export DISPLAY=$DPI_OLD_DISPLAY
    if [ -n "$DPI_OLD_TRAP" ]; then eval "$DPI_OLD_TRAP"; else trap - EXIT; fi
}

# Rectangles as "x y w h".
rect_inside() {  # rect_inside X Y W H AX AY AW AH
    [ "$1" -ge "$5" ] && [ "$2" -ge "$6" ] && [ $(($1 + $3)) -le $(($5 + $7)) ] && [ $(($2 + $4)) -le $(($6 + $8)) ]
}
rects_apart() {  # rects_apart X Y W H BX BY BW BH
    [ $(($1 + $3)) -le "$5" ] || [ $(($5 + $7)) -le "$1" ] || [ $(($2 + $4)) -le "$6" ] || [ $(($6 + $8)) -le "$2" ]
}

# The map's size: the picture the capture cut.
dpi_map_size() { identify -format '%w %h' "$OUT/app/tst.bmp"; }

# The rules of the two windows' places, checked as they stand: dpi_places WHEN.
dpi_places() {
    local when=$1 panel main p m c b w map
    panel=$(winctl panel)
    main=$(winctl main)
    p=$(winctl_field rect <<<"$panel")
    m=$(winctl_field rect <<<"$main")
    c=$(winctl_field client <<<"$main")
    b=$(winctl_field bars <<<"$main")
    w=$(winctl_field work <<<"$main")
    map=$(dpi_map_size)
    e2e_log "  $when: panel $p, main $m, client $c, bars $b, work $w, map $map"
    check "$when: the panel inside the work area" rect_inside $p $w
    check "$when: the main window inside the work area" rect_inside $m $w
    check "$when: the panel and the main window apart" rects_apart $p $m
    set -- $c $b $map
    if [ "$5 $6" = "0 0" ]; then
        check_eq "$when: the client area is the map's size" "$3 $4" "$7 $8"
    else
        check "$when: scrolling, the client area shows part of the map ($3 x $4 of $7 x $8)" \
            test "$3" -le "$7" -a "$4" -le "$8" -a "$(($3 < $7))$(($4 < $8))" = "$5$6"
    fi
    DPI_PANEL=($p) DPI_MAIN=($m) DPI_CLIENT=($c) DPI_BARS=($b) DPI_WORK=($w) DPI_MAP=($map)
}

# The client area from a screenshot equals the map at a scroll offset:
# dpi_shows SHOT X Y.
dpi_shows() {
    local cw=${DPI_CLIENT[2]} ch=${DPI_CLIENT[3]}
    convert "$OUT/shots/$1.png" -crop "${cw}x${ch}+${DPI_CLIENT[0]}+${DPI_CLIENT[1]}" +repage PNG24:"$OUT/dpi-shown.png"
    convert "$OUT/app/tst.bmp" -crop "${cw}x${ch}+$2+$3" +repage PNG24:"$OUT/dpi-expected.png"
    [ "$(compare -metric AE "$OUT/dpi-shown.png" "$OUT/dpi-expected.png" null: 2>&1)" = 0 ]
}

# tovi-cli walk for a map pixel of the saved work: the native command where
# built, else the Windows one under Wine.
dpi_walk() {
    if [ -x "$TOVI_CLI" ]; then
        walk_figures "$OUT/app/a-work" "$1" "$2"
    else
        cp -f "$WIN_BUILD/tovi-cli.exe" "$OUT/app/"
        (cd -P "$OUT/app" && wine tovi-cli.exe walk a-work "$1" "$2") 2>/dev/null | tr -d '\r' |
            awk '/^(distance|steps|minutes|calories):/ {printf "%s ", $2}' | sed 's/ $//'
    fi
}

# A WM_DPICHANGED to the main window with a suggested rect: the window takes
# the suggested place moved as the rules say, at the size it has.
dpi_change_main() {  # dpi_change_main WHAT DPI X Y WANT_X WANT_Y
    local before=("${DPI_MAIN[@]}")
    winctl dpi-changed main "$2" "$3" "$4" 700 500
    sleep 0.5
    dpi_places "$1"
    check_eq "$1: the main window's place" "${DPI_MAIN[*]}" "$5 $6 ${before[2]} ${before[3]}"
}

# The street grid with its orange mark, its top-left pixel at (320, 200) of
# the screen: 1600 x 800 of it in view, released beside the mark.
dpi_prepare_grid() {
    rm -f "$OUT/app/tst1.bmp"
    convert "$ROOT/resources/maps/street-grid-1600x1200.png" PNG24:"$OUT/app/map.png"
    CAPTURE_MAP_X=320 CAPTURE_MAP_Y=200 CAPTURE_RELEASE="$((320 + 801)) $((200 + 601))"
}

dpi_run() {  # dpi_run DPI kyoto|grid
    local dpi=$1 CAPTURE_MAP_X=$CAPTURE_MAP_X CAPTURE_MAP_Y=$CAPTURE_MAP_Y CAPTURE_RELEASE=$CAPTURE_RELEASE
    scenario dpi-$dpi
    dpi_set "$dpi"
    if [ "$2" = grid ]; then dpi_prepare_grid; else capture_prepare_map; fi
    rm -rf "$OUT/app/a-work"
    mkdir -p "$OUT/app/a-work"
    capture_map || { check "map captured" false; stop_all; return; }
    sleep 0.5
    check_eq "the main window runs at $dpi DPI" "$(winctl main | winctl_field dpi)" "$dpi"
    shot dpi-$dpi-map
    dpi_places "after the capture"
    check "the main window shows the map from its top-left pixel" dpi_shows dpi-$dpi-map 0 0
    check_eq "the main window stands right below the panel" "${DPI_MAIN[1]}" \
        "$((DPI_PANEL[1] + DPI_PANEL[3]))"
    local scrolls=0 cx=${DPI_CLIENT[0]} cy=${DPI_CLIENT[1]} off_y=0
    [ "${DPI_BARS[*]}" != "0 0" ] && scrolls=1
    [ "$2" = grid ] && check_eq "a map taller than the room below the panel scrolls down" "${DPI_BARS[*]}" "0 1"
    if [ "$scrolls" = 1 ]; then
        # The last rows: the scroll bar, and the wheel over the map.
        off_y=$((DPI_MAP[1] - DPI_CLIENT[3]))
        winctl scroll vert bottom
        sleep 0.5
        shot dpi-$dpi-bottom
        check "scrolled to the bottom: the map's last rows are shown" dpi_shows dpi-$dpi-bottom 0 $off_y
        winctl click $((DPI_MAIN[0] + DPI_MAIN[2] / 2)) $((DPI_MAIN[1] + 8))  # the caption: the focus
        winctl wheel $((cx + 200)) $((cy + 200)) 120
        sleep 0.5
        shot dpi-$dpi-wheel
        # Three lines of 32 pixels at 96 DPI, as long on the screen at any DPI.
        check "a wheel notch up scrolls three lines back" dpi_shows dpi-$dpi-wheel 0 \
            $((off_y - 3 * 32 * dpi / 96))
        winctl scroll vert top
        sleep 0.5
    fi

    mark_map
    build_route >/dev/null
    winctl click $(ctl_centre 7)
    browse_pick_child 1
    check "the work is saved" wait_saved "$OUT/app/a-work"
    winctl click $(ctl_centre 6)
    sleep 0.5
    local p5x=${ROUTE_PTS[10]} p5y=${ROUTE_PTS[11]}
    winctl move $((cx + p5x + 1)) $((cy + p5y))
    winctl move $((cx + p5x)) $((cy + p5y))
    local at="$((cx + p5x)) $((cy + p5y))"
    sleep 0.5
    shot dpi-$dpi-route
    check_eq "the panel's figures are tovi-cli walk's for the pixel under the cursor" "$(panel_figures)" \
        "$(dpi_walk $p5x $p5y)"
    if [ "$scrolls" = 1 ]; then
        # A pixel only in view once scrolled: the cursor's map pixel counts the offset.
        local low
        convert "$OUT/app/tst.bmp" -crop "${DPI_MAP[0]}x$((DPI_MAP[1] - DPI_CLIENT[3]))+0+${DPI_CLIENT[3]}" +repage \
            PNG24:"$OUT/dpi-low.png"
        low=($($PIXELS white-points "$OUT/dpi-low.png" 1))
        winctl scroll vert bottom
        sleep 0.5
        local lx=${low[0]} ly=$((low[1] + DPI_CLIENT[3]))
        winctl move $((cx + lx + 1)) $((cy + ly - off_y))
        winctl move $((cx + lx)) $((cy + ly - off_y))
        at="$((cx + lx)) $((cy + ly - off_y))"
        sleep 0.5
        shot dpi-$dpi-route-scrolled
        check_eq "scrolled: the figures are tovi-cli walk's for map pixel ($lx, $ly)" "$(panel_figures)" \
            "$(dpi_walk $lx $ly)"
    fi
    # A left click where the cursor stands, on a reached pixel, ends the display.
    winctl click $at
    sleep 0.5

    # WM_DPICHANGED, with the frame of another DPI than the window's (the
    # client area as really drawn corrects it): a rect over the panel goes
    # below it; one past the screen's corner comes back inside.
    local other=$((dpi == 192 ? 96 : 192)) mw=${DPI_MAIN[2]} mh=${DPI_MAIN[3]}
    local right=$((DPI_WORK[0] + DPI_WORK[2] - mw)) bottom=$((DPI_WORK[1] + DPI_WORK[3] - mh))
    dpi_change_main "WM_DPICHANGED over the panel" $other 200 10 $((200 < right ? 200 : right)) \
        $((DPI_PANEL[1] + DPI_PANEL[3]))
    dpi_change_main "WM_DPICHANGED past the corner" $other 5000 5000 $right $bottom
    shot dpi-$dpi-moved
    # The panel sent to the bottom-right corner: inside, and the main window clear of it.
    winctl dpi-changed panel $dpi 1800 950 600 100
    sleep 1
    dpi_places "WM_DPICHANGED to the panel"
    check_eq "the panel in the work area's bottom-right corner" "${DPI_PANEL[0]} ${DPI_PANEL[1]}" \
        "$((DPI_WORK[0] + DPI_WORK[2] - DPI_PANEL[2])) $((DPI_WORK[1] + DPI_WORK[3] - DPI_PANEL[3]))"
    shot dpi-$dpi-panel-moved
    stop_all
}

dpi_scenarios() {
    dpi_display_start
    dpi_run 96 kyoto
    dpi_run 144 kyoto
    dpi_run 192 grid
    dpi_set 96
    dpi_display_stop
}
