# A real browser beside the program: Debian's chromium shows the sample map on
# a local page (tests/e2e/page) that counts the mouse buttons it receives, and
# the capture is made with real X input over it, as a user drags on a web map.

SCREEN="python3 $HERE/screen.py"
BROWSER_PID=""
BROWSER_WIN=""
BROWSER_MARK=16          # the page's red square, just below the map's bottom-left corner
BROWSER_DRAG=${E2E_BROWSER_DRAG:-xdotool}   # winctl: the same drag through SendInput

# Shows the prepared map (capture_prepare_map) on the page with its top-left
# pixel at screen point X Y. The page's place on the screen is read back from
# a screenshot (the red square), the window is moved by what is missing, and
# the screenshot of the page in place is kept as $OUT/browser/page.ppm.
# Sets BROWSER_MAP_X, BROWSER_MAP_Y, BROWSER_MAP_W, BROWSER_MAP_H.
browser_start() {
    local x=$1 y=$2 dir=$OUT/browser
    [ -z "$BROWSER_PID" ] || browser_stop
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$HERE"/page/* "$dir/"
    [ -s "$OUT/app/map.png" ] || capture_prepare_map
    # Without the colour chunks ImageMagick writes (gAMA, cHRM) the browser
    # shows the stored values unchanged.
    convert "$OUT/app/map.png" -strip PNG24:"$dir/map.png"
    set -- $(identify -format '%w %h' "$dir/map.png")
    BROWSER_MAP_W=$1 BROWSER_MAP_H=$2
    local t0
    t0=$(date +%s%N)
    # Its own session, so that it and every process it starts end together.
    setsid chromium --test-type --no-sandbox --user-data-dir="$dir/profile" --no-first-run \
        --no-default-browser-check --disable-gpu --force-device-scale-factor=1 --force-color-profile=srgb \
        --disable-extensions --disable-background-networking --disable-component-update --disable-sync \
        --disable-default-apps --password-store=basic --proxy-server=127.0.0.1:9 --noerrdialogs \
        --hide-scrollbars --mute-audio --window-position="$x,$y" \
        --window-size="$BROWSER_MAP_W,$((BROWSER_MAP_H + BROWSER_MARK))" \
        --app="file://$dir/index.html" >"$dir/chromium.log" 2>&1 &
    BROWSER_PID=$!
    BROWSER_WIN=""
    local found="" seen="" i
    for i in $(seq 200); do
        BROWSER_WIN=$(xdotool search --name '^tovi-page md=' 2>/dev/null | head -1)
        [ -n "$BROWSER_WIN" ] && break
        sleep 0.05
    done
    [ -n "$BROWSER_WIN" ] || { e2e_log "  chromium showed no page"; return 1; }
    local window_ms=$((($(date +%s%N) - t0) / 1000000))
    for i in $(seq 40); do
        import -window root "$dir/page.ppm" 2>/dev/null
        found=$($SCREEN find-square "$dir/page.ppm" 255 0 0 $BROWSER_MARK) || found=""
        if [ -n "$found" ]; then
            set -- $found
            BROWSER_MAP_X=$1 BROWSER_MAP_Y=$(($2 - BROWSER_MAP_H))
            [ "$BROWSER_MAP_X $BROWSER_MAP_Y" = "$x $y" ] && break
            # Seen in the same place twice, not while the page is still being
            # drawn: the window's frame or a bar moved the page, so move the
            # window by that.
            if [ "$found" = "$seen" ]; then
                local wx wy
                eval "$(xdotool getwindowgeometry --shell "$BROWSER_WIN" | grep -E '^[XY]=')"
                wx=$((X + x - BROWSER_MAP_X)) wy=$((Y + y - BROWSER_MAP_Y))
                e2e_log "  the page's map stands at $BROWSER_MAP_X,$BROWSER_MAP_Y: the window goes to $wx,$wy"
                xdotool windowmove "$BROWSER_WIN" "$wx" "$wy"
                found=""
            fi
        fi
        seen=$found
        sleep 0.05
    done
    BROWSER_START_MS=$((($(date +%s%N) - t0) / 1000000))
    e2e_log "  chromium: its window after $window_ms ms, the page's map found at ${BROWSER_MAP_X:-?},${BROWSER_MAP_Y:-?} after $BROWSER_START_MS ms"
    [ -n "$found" ] && [ "$BROWSER_MAP_X $BROWSER_MAP_Y" = "$x $y" ]
}

# The page's counts: "md=L,M,R mu=L,M,R cm=N".
browser_counts() { xdotool getwindowname "$BROWSER_WIN" 2>/dev/null | sed -n 's/^tovi-page //p'; }

# One count: browser_count md|mu BUTTON (0 left, 1 middle, 2 right), or browser_count cm.
browser_count() {
    local c
    c=$(browser_counts | tr ' ' '\n' | sed -n "s/^$1=//p")
    if [ "$1" = cm ]; then echo "$c"; else cut -d, -f$(($2 + 1)) <<<"$c"; fi
}

# The browser's other mapped top-level windows (a context menu, a dialog it
# opened): those of the X client that made the page's window.
browser_popups() {
    local base=$((BROWSER_WIN >> 21)) w
    for w in $(xwininfo -root -children 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
        [ $((w >> 21)) = "$base" ] && [ $((w)) != "$BROWSER_WIN" ] || continue
        xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' && echo "$w"
    done | wc -l
}

# Ends the browser and everything it started; returns 1 when any of them was
# still there after a KILL.
browser_stop() {
    [ -n "$BROWSER_PID" ] || return 0
    kill -TERM -- -"$BROWSER_PID" 2>/dev/null
    local i
    for i in $(seq 50); do
        kill -0 -- -"$BROWSER_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 -- -"$BROWSER_PID" 2>/dev/null && { e2e_log "  chromium did not end on TERM"; kill -KILL -- -"$BROWSER_PID" 2>/dev/null; sleep 0.3; }
    wait "$BROWSER_PID" 2>/dev/null
    local left=0
    kill -0 -- -"$BROWSER_PID" 2>/dev/null && left=1
    rm -rf "$OUT/browser/profile"
    BROWSER_PID=""
    BROWSER_WIN=""
    [ "$left" = 0 ]
}

# A right-drag made of real X events, as a person's mouse makes it.
browser_right_drag() {
    local x1=$1 y1=$2 x2=$3 y2=$4 i
    if [ "$BROWSER_DRAG" = winctl ]; then
        winctl drag "$x1" "$y1" "$x2" "$y2" right
        return
    fi
    xdotool mousemove "$x1" "$y1"
    sleep 0.1
    xdotool mousedown 3
    sleep 0.15
    for i in $(seq 10); do
        xdotool mousemove $((x1 + (x2 - x1) * i / 10)) $((y1 + (y2 - y1) * i / 10))
        sleep 0.03
    done
    sleep 0.15
    xdotool mouseup 3
    sleep 0.05
}

# The harness itself: the page is where it was asked to be, shows the map
# pixel for pixel, and counts the buttons it is given.
browser_page() {
    scenario browser-page
    capture_prepare_map
    browser_start $CAPTURE_MAP_X $CAPTURE_MAP_Y
    check "chromium shows the page's map at ($CAPTURE_MAP_X, $CAPTURE_MAP_Y)" \
        test "${BROWSER_MAP_X:-} ${BROWSER_MAP_Y:-}" = "$CAPTURE_MAP_X $CAPTURE_MAP_Y"
    [ -n "$BROWSER_WIN" ] || { browser_stop; return; }
    convert "$OUT/browser/page.ppm" -crop "${BROWSER_MAP_W}x${BROWSER_MAP_H}+$BROWSER_MAP_X+$BROWSER_MAP_Y" +repage \
        PNG24:"$OUT/browser-shown.png"
    check_eq "the page shows the map pixel for pixel" \
        "$(compare -metric AE "$OUT/browser-shown.png" "$OUT/app/map.png" null: 2>&1)" "0"
    check_eq "the page has counted nothing yet" "$(browser_counts)" "md=0,0,0 mu=0,0,0 cm=0"
    xdotool mousemove $((CAPTURE_MAP_X + 100)) $((CAPTURE_MAP_Y + 100)) click 1
    sleep 0.3
    check_eq "a left click on the page is counted" "$(browser_counts)" "md=1,0,0 mu=1,0,0 cm=0"
    xdotool mousemove $((CAPTURE_MAP_X + 200)) $((CAPTURE_MAP_Y + 200)) mousedown 3
    sleep 0.2
    xdotool mouseup 3
    sleep 0.3
    shot browser-page-context-menu
    check_eq "a right click on the page is counted, with its context menu" \
        "$(browser_count md 2) $(browser_count cm)" "1 1"
    check "the context menu is a window of its own" test "$(browser_popups)" -ge 1
    xdotool key Escape
    sleep 0.3
    check_eq "Escape closes the context menu" "$(browser_popups)" "0"
    local pid=$BROWSER_PID
    check "chromium ends on TERM with everything it started" browser_stop
    check_eq "no chromium process is left" "$(pgrep -g "$pid" | wc -l)" "0"
}

# The capture of the map shown by the browser with a real right-drag; with
# PANEL_AT "X Y" the panel is first moved there by its title bar, over the map.
browser_capture_run() {
    local panel_at=${1:-}
    capture_prepare_map
    rm -f "$OUT/app/"{tst.bmp,tst1.bmp,base.dat,d1.dat,d2.dat,d3.dat,d4.dat}
    browser_start $CAPTURE_MAP_X $CAPTURE_MAP_Y || { check "chromium shows the map" false; browser_stop; return 1; }
    cp "$OUT/browser/page.ppm" "$OUT/browser-before.ppm"
    start_tovi || { check "Tovi started" false; browser_stop; stop_all; return 1; }
    if [ -n "$panel_at" ]; then
        set -- $(winctl panel | winctl_field rect) $panel_at
        # Pressed on the title bar, left of the close box.
        winctl press $(($1 + 60)) $(($2 + 6)) left
        winctl move $(($1 + 60 + ($5 - $1) / 2)) $(($2 + 6 + ($6 - $2) / 2))
        winctl move $(($5 + 60)) $(($6 + 6))
        winctl release left
        sleep 0.5
        check_eq "the panel stands over the map at ($panel_at)" \
            "$(winctl panel | winctl_field rect | cut -d' ' -f1,2)" "$panel_at"
    fi
    BROWSER_PANEL_RECT=$(winctl panel | winctl_field rect)
    BROWSER_MAIN_RECT=$(winctl main | winctl_field rect)
    shot "$E2E_SCENARIO-1-tovi"
    capture_start
    shot "$E2E_SCENARIO-2-tool"
    browser_right_drag 1180 520 $CAPTURE_RELEASE
    shot "$E2E_SCENARIO-3-dragged"
    local fitted=0
    wait_fitted && fitted=1
    sleep 0.5
    shot "$E2E_SCENARIO-4-after"
    e2e_log "  page counts after the drag: $(browser_counts); other browser windows: $(browser_popups)"
    check "the map is captured (the main window fitted to it)" test $fitted = 1
    check_eq "the page received no right button" "$(browser_count md 2) $(browser_count mu 2)" "0 0"
    check_eq "the page received no contextmenu" "$(browser_count cm)" "0"
    check_eq "the browser opened no menu or window" "$(browser_popups)" "0"
    if [ $fitted = 1 ] && [ -s "$OUT/app/tst.bmp" ]; then
        set -- $(map_rect)
        local left=$1 top=$2 w=$(($3 - $1)) h=$(($4 - $2))
        e2e_log "  captured rectangle: $left $top ${w}x$h"
        check "the captured rectangle lies on the page's map" test "$w" -gt 50 -a "$h" -gt 50 -a "$left" -ge \
            "$BROWSER_MAP_X" -a "$top" -ge "$BROWSER_MAP_Y" -a "$3" -le $((BROWSER_MAP_X + BROWSER_MAP_W)) -a \
            "$4" -le $((BROWSER_MAP_Y + BROWSER_MAP_H))
        convert "$OUT/browser-before.ppm" -crop "${w}x${h}+$left+$top" +repage PNG24:"$OUT/browser-expected.png"
        check_eq "tst.bmp equals the page's pixels on the screen over the captured rectangle" \
            "$(compare -metric AE "$OUT/app/tst.bmp" "$OUT/browser-expected.png" null: 2>&1)" "0"
        # Every Tovi window that stood over the rectangle is absent from tst.bmp.
        local name rect
        for name in panel main; do
            [ $name = panel ] && rect=$BROWSER_PANEL_RECT || rect=$BROWSER_MAIN_RECT
            [ -n "$rect" ] || continue
            set -- $rect
            local ix=$(($1 > left ? $1 : left)) iy=$(($2 > top ? $2 : top))
            local ix2=$(($1 + $3 < left + w ? $1 + $3 : left + w)) iy2=$(($2 + $4 < top + h ? $2 + $4 : top + h))
            if [ $ix -lt $ix2 ] && [ $iy -lt $iy2 ]; then
                local g="$((ix2 - ix))x$((iy2 - iy))+$((ix - left))+$((iy - top))"
                convert "$OUT/app/tst.bmp" -crop "$g" +repage PNG24:"$OUT/browser-$name-part.png"
                convert "$OUT/browser-expected.png" -crop "$g" +repage PNG24:"$OUT/browser-$name-page.png"
                check_eq "where the $name stood, tst.bmp holds the page, not the $name" \
                    "$(compare -metric AE "$OUT/browser-$name-part.png" "$OUT/browser-$name-page.png" null: 2>&1)" "0"
            elif [ -n "$panel_at" ] && [ $name = panel ]; then
                check "the moved panel stood over the captured rectangle" false
            fi
        done
    fi
    local pid=$BROWSER_PID
    check "chromium ends with everything it started" browser_stop
    check_eq "no chromium process is left" "$(pgrep -g "$pid" | wc -l)" "0"
    stop_all
}

browser_capture() {
    scenario browser-capture
    browser_capture_run
}

browser_capture_panel_over() {
    scenario browser-capture-panel-over
    browser_capture_run "900 570"
}

browser_scenarios() {
    browser_page
    browser_capture
    browser_capture_panel_over
}
