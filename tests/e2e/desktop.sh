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
    winctl click $(ctl_centre 1)
    sleep 0.5
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
    winctl click $(ctl_centre 1)
    sleep 0.5
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

desktop_scenarios() {
    desktop_esc_and_hint
    desktop_read_only_folder
    desktop_two_monitors
}
