# Map capture: a map shown by another program, "ﾏｯﾌﾟ初期設定", a right-drag onto
# a white street, and what the capture leaves behind.

# The sample map with a small orange mark beside a white street, so that the
# flood from that street meets the orange it needs in its first records.
CAPTURE_MAP_X=720
CAPTURE_MAP_Y=140
CAPTURE_RELEASE="1222 552"   # map pixel (502, 412): start cell (501, 411), white
capture_prepare_map() {
    # An aerial picture left in the program folder would be taken into the
    # next capture's work (as the program does): start without one.
    rm -f "$OUT/app/tst1.bmp"
    convert "$ROOT/resources/maps/kyoto-1024x768.png" -fill 'rgb(255,153,0)' \
        -draw 'rectangle 502,407 504,409' PNG24:"$OUT/app/map.png"
}

show_map() {
    (cd -P "$OUT/app" && exec wine mapview.exe map.png $CAPTURE_MAP_X $CAPTURE_MAP_Y "Kyoto map") >/dev/null 2>&1 &
    for _ in $(seq 50); do winctl find "Kyoto map" >/dev/null && break; sleep 0.2; done
}

# Waits until the main window has been fitted to a map.
wait_fitted() {
    local c
    for _ in $(seq 100); do
        c=$(winctl main | winctl_field client)
        set -- $c
        [ "${4:-0}" -gt 10 ] && return 0
        sleep 0.2
    done
    return 1
}

# Where on the screen the captured picture's top-left pixel stood (base.dat's
# tail), and the map's rectangle on the screen: Map_rect is in the picture's
# coordinates.
map_origin() { od -An -t d4 -j 1784 -N 8 "$OUT/app/base.dat" | xargs; }
map_rect() {
    local o
    o=$(map_origin)
    set -- $o $(od -An -t d4 -j 88 -N 16 "$OUT/app/base.dat" | xargs)
    echo "$(($3 + $1)) $(($4 + $2)) $(($5 + $1)) $(($6 + $2))"
}

# Presses "ﾏｯﾌﾟ初期設定" and waits until the capture window stands over the
# screen (a loaded machine may take more than a moment to take the snapshot).
capture_start() {
    winctl click $(ctl_centre 1)
    for _ in $(seq 50); do
        [ -n "$(xdotool search --name '^Tovi$' 2>/dev/null | head -1)" ] && break
        sleep 0.2
    done
    sleep 0.3
}

# Captures the prepared map in a freshly started Tovi.
capture_map() {
    show_map
    start_tovi || return 1
    capture_start
    winctl drag 1180 520 $CAPTURE_RELEASE right
    wait_fitted
}

capture_street() {
    scenario capture-street
    capture_prepare_map
    rm -f "$OUT/app/"{tst.bmp,tst1.bmp,base.dat,d1.dat,d2.dat,d3.dat,d4.dat}
    capture_map || { check "main window fitted after the capture" false; stop_all; return; }
    sleep 1
    shot capture-street
    local rect left top right bottom w h
    rect=$(map_rect)
    set -- $rect
    left=$1 top=$2 right=$3 bottom=$4 w=$(($3 - $1)) h=$(($4 - $2))
    check "base.dat holds a bounding box inside the map" test "$w" -gt 50 -a "$h" -gt 50 -a "$left" -ge $CAPTURE_MAP_X
    convert "$OUT/app/map.png" -crop "${w}x${h}+$((left - CAPTURE_MAP_X))+$((top - CAPTURE_MAP_Y))" +repage \
        PNG24:"$OUT/expected-map.png"
    check_eq "tst.bmp equals that region of the shown map" \
        "$(compare -metric AE "$OUT/app/tst.bmp" "$OUT/expected-map.png" null: 2>&1)" "0"
    check_eq "tst.bmp is a 24-bit picture of the box" "$(identify -format '%w %h %[bit-depth]' "$OUT/app/tst.bmp")" \
        "$w $h 8"
    check_eq "data file sizes" "$(stat -c %s "$OUT/app/"{base.dat,d1.dat,d2.dat,d3.dat,d4.dat} | xargs)" \
        "5712 30720000 30720000 3840000 23040000"
    local main
    main=$(winctl main)
    local panel_rect
    panel_rect=$(winctl panel | winctl_field rect)
    set -- $panel_rect
    check_eq "main window right below the panel" "$(winctl_field rect <<<"$main" | cut -d' ' -f1,2)" "$1 $(($2 + $4))"
    check_eq "client area has the map's size" "$(winctl_field client <<<"$main" | cut -d' ' -f3,4)" "$w $h"
    set -- $(winctl_field client <<<"$main")
    convert "$OUT/shots/capture-street.png" -crop "${w}x${h}+$1+$2" +repage PNG24:"$OUT/shown-map.png"
    check_eq "the main window shows the map" \
        "$(compare -metric AE "$OUT/shown-map.png" "$OUT/expected-map.png" null: 2>&1)" "0"
    check_eq "button 1 now reads 避難場所設定" "$(winctl ctl 1 | winctl_field text)" "避難場所設定"
    local id want
    for pair in 3:1 4:1 9:1 7:1 8:1 5:0 6:0 1023:0 1024:0; do
        id=${pair%:*}
        want=${pair#*:}
        check_eq "captured state: control $id enabled=$want" "$(winctl ctl "$id" | winctl_field enabled)" "$want"
    done
    stop_all
}

capture_refused_start() {
    scenario capture-refused-start
    capture_prepare_map
    show_map
    start_tovi || return
    capture_start
    # Map pixel (500, 409) is a brown building edge, not white.
    winctl drag 1180 520 1221 550 right
    local box=""
    for _ in $(seq 50); do box=$(winctl find 確認); [ -n "$box" ] && break; sleep 0.2; done
    check "a start off the white road asks the question" test -n "$box"
    check_eq "the question's text" "$(winctl box-text 確認)" "[0] ERR 道路ではありません（白色でない）。いいえで終了"
    shot capture-refused-question
    winctl box-click 確認 6  # Yes
    sleep 0.5
    check_eq "Yes keeps Tovi running" "$(winctl count-main)" "1"
    winctl drag 1180 520 $CAPTURE_RELEASE right
    check "the next drag onto the street captures the map" wait_fitted
    stop_all
}

capture_scenarios() {
    capture_street
    capture_refused_start
    capture_aerial
}

# Aerial-photo mode: Shift held on "ﾏｯﾌﾟ初期設定", the question box, and a second
# picture of the same rectangle taken after the map switched to its aerial view.
capture_aerial() {
    scenario capture-aerial
    capture_prepare_map
    rm -f "$OUT/app/tst1.bmp"
    # The "aerial view": the same map in other colours, shown when asked for.
    convert "$OUT/app/map.png" -negate PNG24:"$OUT/app/aerial.png"
    show_map
    start_tovi || return
    # Shift through the X server: Wine's key state follows real keyboard events.
    local button
    button=$(ctl_centre 1)
    winctl move $button
    xdotool keydown Shift_L
    sleep 0.2
    winctl click $button
    sleep 0.2
    xdotool keyup Shift_L
    sleep 0.3
    winctl drag 1180 520 $CAPTURE_RELEASE right
    local q=""
    for _ in $(seq 100); do q=$(winctl dlg 30003); [ -n "$q" ] && break; sleep 0.2; done
    check_eq "the question box shows its text" "$(winctl_field text <<<"$q")" \
        "航空写真との合成は、地図の右上の航空写真のボタンを押して、画面が航空写真に変わったらＹＥＳを押す。"
    check_eq "the question box stands at (0, 0), topmost" \
        "$(winctl_field rect <<<"$q" | cut -d' ' -f1,2) $(winctl_field topmost <<<"$q")" "0 0 1"
    shot capture-aerial-question
    (cd -P "$OUT/app" && exec wine mapview.exe aerial.png $CAPTURE_MAP_X $CAPTURE_MAP_Y "Aerial") >/dev/null 2>&1 &
    for _ in $(seq 50); do winctl find "Aerial" >/dev/null && break; sleep 0.2; done
    sleep 0.5
    local yes
    yes=$(winctl dlg 30001 | winctl_field ctlrect)
    [ -n "$yes" ] || { stop_all; return; }
    set -- $yes
    winctl click $(($1 + $3 / 2)) $(($2 + $4 / 2))
    wait_fitted
    sleep 0.5
    set -- $(map_rect)
    local w=$(($3 - $1)) h=$(($4 - $2))
    convert "$OUT/app/aerial.png" -crop "${w}x${h}+$(($1 - CAPTURE_MAP_X))+$(($2 - CAPTURE_MAP_Y))" +repage \
        PNG24:"$OUT/expected-aerial.png"
    check "tst1.bmp was written" test -s "$OUT/app/tst1.bmp"
    check_eq "tst1.bmp is the same rectangle of the aerial view" \
        "$(compare -metric AE "$OUT/app/tst1.bmp" "$OUT/expected-aerial.png" null: 2>&1)" "0"
    stop_all
}
