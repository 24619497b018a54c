# Saving a piece of work into a new folder through the folder browser, loading
# it into a fresh Tovi, and refusing a broken folder without losing the work.

TOVI_CLI=${TOVI_CLI:-$ROOT/build/native/tovi-cli}

# Picks the N-th sub-folder of the program folder in the folder browser (it
# opens on the program folder) and accepts it. The old-style browser (load)
# starts with the focus on its OK button: shift+Tab takes it to the tree.
browse_pick_child() {
    local n=$1 style=${2:-new}
    for _ in $(seq 50); do winctl dlg 14145 >/dev/null && break; sleep 0.2; done
    sleep 0.5
    if [ "$style" = old ]; then
        xdotool key shift+Tab
        sleep 0.3
    fi
    xdotool key Right
    sleep 0.4
    for _ in $(seq "$n"); do xdotool key Down; sleep 0.3; done
    xdotool key Return
}

wait_saved() {  # the save button reads 保存 again and base.dat is there
    for _ in $(seq 100); do
        [ -s "$1/base.dat" ] && [ "$(winctl ctl 7 | winctl_field text)" = "保存" ] && return 0
        sleep 0.2
    done
    return 1
}

storage_save_load() {
    scenario save-load
    capture_prepare_map
    rm -rf "$OUT/app/a-work" "$OUT/app/b-broken"
    mkdir -p "$OUT/app/a-work" "$OUT/app/b-broken"
    capture_map || { check "map captured" false; stop_all; return; }
    mark_map
    build_route >/dev/null
    winctl click $(ctl_centre 7)
    browse_pick_child 1
    check "saved into the chosen new folder" wait_saved "$OUT/app/a-work"
    sleep 0.5
    # With a built route the evacuation map's page is saved beside the data files.
    check_eq "saved files" "$(cd "$OUT/app/a-work" && ls | grep -v '^避難地図\.png$' | xargs)" "base.dat d1.dat d2.dat d3.dat d4.dat tst.bmp"
    if [ -x "$TOVI_CLI" ]; then
        check "tovi-cli check accepts the saved folder" "$TOVI_CLI" check "$OUT/app/a-work"
    fi
    cp "$OUT/app/tst.bmp" "$OUT/captured-tst.bmp"
    local size
    size=$(winctl main | winctl_field client | cut -d' ' -f3,4)
    stop_all

    # A fresh Tovi loads the folder: map, markers and route are back.
    start_tovi || return
    winctl click $(ctl_centre 8)
    browse_pick_child 1 old
    check "the loaded map is shown" wait_fitted
    sleep 1
    check_eq "client area has the saved map's size" "$(winctl main | winctl_field client | cut -d' ' -f3,4)" "$size"
    check_eq "loaded state: 避難場所設定, route display on, route build off" \
        "$(winctl ctl 1 | winctl_field text) $(winctl ctl 6 | winctl_field enabled) $(winctl ctl 5 | winctl_field enabled)" \
        "避難場所設定 1 0"
    shot load-restored
    set -- $(winctl main | winctl_field client)
    convert "$OUT/shots/load-restored.png" -crop "${3}x${4}+$1+$2" +repage PNG24:"$OUT/shown-loaded.png"
    local diff
    diff=($($PIXELS check-markers "$OUT/captured-tst.bmp" "$OUT/shown-loaded.png"))
    check "the markers are back" test "${diff[0]}" -gt 20
    check_eq "painted on road pixels only" "${diff[1]}" "0"
    if [ -x "$TOVI_CLI" ]; then
        # The route is back too: the display shows what the saved tables give.
        set -- $(winctl main | winctl_field client)
        local px=${ROUTE_PTS[10]} py=${ROUTE_PTS[11]}
        winctl click $(ctl_centre 6)
        sleep 0.5
        winctl move $(($1 + px + 1)) $(($2 + py))
        winctl move $(($1 + px)) $(($2 + py))
        sleep 0.5
        check_eq "ルート検証 after the load shows the saved route's figures" "$(panel_figures)" \
            "$(walk_figures "$OUT/app/a-work" "$px" "$py")"
        winctl click $(($1 + px)) $(($2 + py))
        sleep 0.3
    fi

    # A broken folder is refused with its reason and the loaded work stays.
    cp "$OUT/app/a-work/"* "$OUT/app/b-broken/"
    head -c 100 "$OUT/app/a-work/base.dat" >"$OUT/app/b-broken/base.dat"
    winctl click $(ctl_centre 8)
    browse_pick_child 2 old
    local box=""
    for _ in $(seq 50); do box=$(winctl find error); [ -n "$box" ] && break; sleep 0.2; done
    local text
    text=$(winctl box-text error)
    e2e_log "  message: $(tr '\n' ' ' <<<"$text")"
    check "a broken folder is refused with a message naming base.dat" grep -q "base.dat" <<<"$text"
    shot load-refused
    winctl box-click error 2 || winctl box-click error 1
    sleep 0.5
    check_eq "Tovi keeps running" "$(winctl count-main)" "1"
    check_eq "the work stays: same map size" "$(winctl main | winctl_field client | cut -d' ' -f3,4)" "$size"
    check_eq "the work stays: route display still on" "$(winctl ctl 6 | winctl_field enabled)" "1"
    stop_all
}

storage_scenarios() {
    storage_save_load
}
