# The desktop users have: a program folder Tovi may not write (Program Files),
# Esc during the capture, and what the help line says after a start without
# the mark the capture needs.

# A white street with no orange mark near it: the release at map pixel
# (300, 300) of the sample map starts on a white lane far from any mark.
DESKTOP_BARE_RELEASE="1020 440"

desktop_read_only_folder() {
    scenario read-only-program-folder
    # CI runs as root, whom permissions do not stop: a read-only bind mount.
    local ro="$WINEPREFIX/drive_c/Program Files/Tovi" src="$OUT/ro-src"
    rm -rf "$src"
    mkdir -p "$src" "$ro"
    cp "$OUT/app/tovi.exe" "$src/"
    if ! mount --bind "$src" "$ro" 2>/dev/null || ! mount -o remount,bind,ro "$ro" 2>/dev/null; then
        umount "$ro" 2>/dev/null
        e2e_log "  (no read-only mount here: the folder choice is checked by the native tests only)"
        return
    fi
    local local_tovi="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tovi"
    rm -rf "$local_tovi"
    check "the program folder is read-only" sh -c "! touch '$ro/probe' 2>/dev/null"
    E2E_APP="$ro" start_tovi
    check "Tovi starts in a folder it may not write" test "$(winctl count-main)" = 1
    local caption
    caption=$(winctl panel | winctl_field caption)
    check "the help line names the working folder" grep -q '^ 作業フォルダ：.*AppData\\Local\\Tovi$' <<<"$caption"
    check "the working folder was made" test -d "$local_tovi/tovi"
    shot read-only-folder
    # A capture writes its work there.
    capture_prepare_map
    show_map
    capture_start
    winctl drag 1180 520 $CAPTURE_RELEASE right
    wait_fitted
    check "the capture wrote tst.bmp into the working folder" test -s "$local_tovi/tst.bmp"
    check "and base.dat" test -s "$local_tovi/base.dat"
    shot read-only-folder-captured
    stop_all
    umount "$ro" 2>/dev/null
}

desktop_esc_and_hint() {
    scenario capture-esc-and-hint
    capture_prepare_map
    show_map
    start_tovi || return
    winctl click $(ctl_centre 1)
    sleep 0.5
    check_eq "while the capture waits, its button is not offered" "$(winctl ctl 1 | winctl_field enabled)" "0"
    check "the capture window covers the screen" test -n "$(xdotool search --name '^Tovi$' 2>/dev/null | head -1)"
    shot capture-waiting
    # A start on a white street without the mark: refused, then the hint.
    winctl drag 1000 420 $DESKTOP_BARE_RELEASE right
    local box=""
    for _ in $(seq 50); do box=$(winctl find error); [ -n "$box" ] && break; sleep 0.2; done
    check_eq "a start without the mark is refused" "$(winctl box-text error)" "設定ポイントが正しくないようです。"
    shot capture-no-mark
    winctl box-click error 1
    sleep 0.5
    check_eq "then the help line says what a start needs" "$(winctl panel | winctl_field caption)" \
        " 白色道路のすぐ横にオレンジ色の印（地図の作図機能で描いた印など）がある所で、右ボタンを離してください。"
    local capture_x above=""
    capture_x=$(printf '0x%x' "$(xdotool search --name '^Tovi$' 2>/dev/null | head -1)")
    # The windows are put back above the picture asynchronously: give it a moment.
    for _ in $(seq 20); do
        above=""
        stands_above "$(x_window_at "$(winctl panel | winctl_field rect)")" "$capture_x" && above=p
        stands_above "$(x_window_at "$(winctl main | winctl_field rect)")" "$capture_x" && above=${above}m
        [ "$above" = pm ] && break
        sleep 0.1
    done
    check_eq "after the box the panel and the main window stand above the picture again" "$above" "pm"
    shot capture-hint
    # Esc ends the tool: no map, no message, the button offered again.
    xdotool key Escape
    local enabled=0
    for _ in $(seq 25); do
        enabled=$(winctl ctl 1 | winctl_field enabled)
        [ "$enabled" = 1 ] && break
        sleep 0.2
    done
    check_eq "Esc offers the capture again" "$enabled" "1"
    check "Esc leaves no message" test -z "$(winctl find error)$(winctl find 確認)"
    check "Esc closes the capture window" test -z "$(xdotool search --name '^Tovi$' 2>/dev/null | head -1)"
    set -- $(winctl main | winctl_field client)
    check "and captures no map" test "${4:-0}" -le 10
    shot capture-esc
    stop_all
}

# Two monitors side by side on one wide virtual screen (xrandr monitors, as
# Wine sees them with UseXRandR off), the map on the second one, right of
# the grid's 1600 columns: the flood runs in the window around the release.
desktop_two_monitors() {
    scenario two-monitors
    local n=95
    while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
    stop_all
    Xvfb :$n -screen 0 2880x1024x24 -noreset >/dev/null 2>&1 &
    local xvfb=$! old_display=$DISPLAY
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    xrandr --setmonitor LEFT 1600/423x1000/265+0+0 screen >/dev/null 2>&1
    xrandr --setmonitor RIGHT 1280/338x1024/271+1600+0 none >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1
    wineserver -w 2>/dev/null || true
    capture_prepare_map
    rm -f "$OUT/app/"{tst.bmp,base.dat}
    (cd -P "$OUT/app" && exec wine mapview.exe map.png 1700 150 "Kyoto map") >/dev/null 2>&1 &
    for _ in $(seq 50); do winctl find "Kyoto map" >/dev/null && break; sleep 0.2; done
    start_tovi || { check "Tovi starts on two monitors" false; }
    capture_start
    # Map pixel (502, 412) as in the capture scenarios, now at x 1700 + 502.
    winctl drag 2150 520 2202 562 right
    if wait_fitted; then
        check "a map on the second monitor is captured" true
        set -- $(map_origin)
        check "its picture stood right of the first monitor's grid" test "$1" -gt 0
        set -- $(map_rect)
        local left=$1 top=$2 w=$(($3 - $1)) h=$(($4 - $2))
        convert "$OUT/app/map.png" -crop "${w}x${h}+$((left - 1700))+$((top - 150))" +repage PNG24:"$OUT/expected-map2.png"
        check_eq "tst.bmp equals that region of the map on the second monitor" \
            "$(compare -metric AE "$OUT/app/tst.bmp" "$OUT/expected-map2.png" null: 2>&1)" "0"
        check "the map is wider than what the first monitor's grid could hold" test $((left + w)) -gt 1600
    else
        check "a map on the second monitor is captured" false
    fi
    shot two-monitors
    stop_all
    wine reg delete 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /f >/dev/null 2>&1
    wineserver -w 2>/dev/null || true
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    export DISPLAY=$old_display
}

# The X window of one of Tovi's windows, found by its place and size
# ("x y w h" as winctl gives them), and whether window A stands above window
# B: xwininfo lists the root's children top first here.
x_window_at() {
    set -- $1
    xwininfo -root -children | grep '"tovi.exe"' | grep -F " ${3}x${4}+${1}+${2} " | awk '{print $1}' | head -1
}
stands_above() {
    local order
    order=$(xwininfo -root -children | awk '{print $1}' | grep -nx -e "$1" -e "$2" | cut -d: -f2 | xargs)
    [ "$order" = "$1 $2" ]
}

# Beside a real browser: Tovi stays above it through the capture, the main
# window is in front after it, and in the route display the keyboard (Space)
# goes to Tovi's main window.
desktop_foreground() {
    scenario foreground
    check "no AttachThreadInput in the program" sh -c "! strings -e l '$OUT/app/tovi.exe' | grep -q AttachThreadInput && ! strings '$OUT/app/tovi.exe' | grep -q AttachThreadInput"
    capture_prepare_map
    rm -f "$OUT/app/"{tst.bmp,tst1.bmp,base.dat,d1.dat,d2.dat,d3.dat,d4.dat}
    browser_start $CAPTURE_MAP_X $CAPTURE_MAP_Y || { check "chromium shows the map" false; browser_stop; return; }
    start_tovi || { browser_stop; return; }
    local browser main panel
    browser=$(printf '0x%x' "$BROWSER_WIN")
    main=$(x_window_at "$(winctl main | winctl_field rect)")
    panel=$(x_window_at "$(winctl panel | winctl_field rect)")
    e2e_log "  X windows: browser $browser, main $main, panel $panel"
    check "at the start the panel stands above the browser" stands_above "$panel" "$browser"
    capture_start
    browser_right_drag 1180 520 $CAPTURE_RELEASE
    wait_fitted
    sleep 0.5
    main=$(x_window_at "$(winctl main | winctl_field rect)")
    check "after the capture the main window stands above the browser" stands_above "$main" "$browser"
    check "and the panel too" stands_above "$panel" "$browser"
    shot foreground-captured
    mark_map
    build_route >/dev/null
    winctl click $(ctl_centre 6)
    sleep 0.5
    set -- $(rs 5)
    winctl move $1 $2
    sleep 0.3
    check_eq "in the route display the keyboard goes to the main window" "$(xdotool getwindowfocus getwindowname 2>/dev/null)" \
        "$(winctl main | winctl_field caption)"
    check "the main window still stands above the browser" stands_above "$main" "$browser"
    shot foreground-route
    winctl click $1 $2
    browser_stop
    stop_all
}

# A working set written into and read from a folder whose path is longer
# than Windows' old 260-character limit, by the Windows build of the program.
desktop_long_path() {
    scenario long-path
    capture_prepare_map
    cp -f "$WIN_BUILD/tovi-cli.exe" "$OUT/app/"
    local rel="" part
    part=$(printf 'a%.0s' $(seq 60))
    for i in 1 2 3 4 5; do rel="$rel\\${part}$i"; done
    local win_dir="C:\\tovi$rel" unix_dir="$OUT/app${rel//\\//}"
    check "the folder's path is longer than 260 characters" test "${#win_dir}" -gt 260
    local code
    (cd -P "$OUT/app" && wine tovi-cli.exe capture map.png 502 412 "$win_dir") >/dev/null 2>&1
    code=$?
    check_eq "a capture writes into it" "$code" "0"
    check "its files are there" test -s "$unix_dir/tst.bmp" -a -s "$unix_dir/d4.dat"
    (cd -P "$OUT/app" && wine tovi-cli.exe check "$win_dir") >/dev/null 2>&1
    check_eq "and the loader's checks read it back" "$?" "0"
    # Later scenarios pick folders of the program folder in the folder browser.
    rm -rf "$OUT/app/${part}1"
}

desktop_scenarios() {
    desktop_esc_and_hint
    desktop_read_only_folder
    desktop_two_monitors
    desktop_foreground
    desktop_long_path
}
