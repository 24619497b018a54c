# Map capture: a map shown by another program, "ﾏｯﾌﾟ初期設定", a right-drag onto
# a white street, and what the capture leaves behind.

# The sample map with a small orange mark beside a white street, so that the
# flood from that street meets the orange it needs in its first records.
CAPTURE_MAP_X=720
CAPTURE_MAP_Y=140
CAPTURE_RELEASE="1222 552"   # map pixel (502, 412): start cell (501, 411), white
capture_prepare_map() {
    convert "$ROOT/resources/maps/kyoto-1024x768.png" -fill 'rgb(255,153,0)' \
        -draw 'rectangle 502,407 504,409' PNG24:"$OUT/app/map.png"
}

show_map() {
    (cd "$OUT/app" && wine mapview.exe map.png $CAPTURE_MAP_X $CAPTURE_MAP_Y "Kyoto map" >/dev/null 2>&1 &)
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

map_rect() { od -An -t d4 -j 88 -N 16 "$OUT/app/base.dat" | xargs; }

# Captures the prepared map in a freshly started Tovi.
capture_map() {
    show_map
    start_tovi || return 1
    winctl click $(ctl_centre 1)
    sleep 0.3
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
    check_eq "main window at (0, 100)" "$(winctl_field rect <<<"$main" | cut -d' ' -f1,2)" "0 100"
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
    winctl click $(ctl_centre 1)
    sleep 0.3
    # Map pixel (500, 409) is a brown building edge, not white.
    winctl drag 1180 520 1221 550 right
    local box=""
    for _ in $(seq 50); do box=$(xdotool search --name '^確認$' 2>/dev/null | head -1); [ -n "$box" ] && break; sleep 0.2; done
    check "a start off the white road asks the question" test -n "$box"
    shot capture-refused-question
    [ -n "$box" ] && xdotool key --window "$box" Return
    sleep 0.5
    check_eq "Yes keeps Tovi running" "$(winctl count-main)" "1"
    winctl drag 1180 520 $CAPTURE_RELEASE right
    check "the next drag onto the street captures the map" wait_fitted
    stop_all
}

capture_scenarios() {
    capture_street
    capture_refused_start
}
