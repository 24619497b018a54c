# The application shell: windows at start, enabling, help line, scale boxes,
# About box, the ways the program ends, two copies side by side.

shell_start_windows() {
    scenario start-windows
    start_tovi || return
    local main panel
    main=$(winctl main)
    panel=$(winctl panel)
    # Right below the panel, whatever its real height at this scaling.
    set -- $(winctl_field rect <<<"$panel")
    check_eq "main window right below the panel, 694 x 28" "$(winctl_field rect <<<"$main")" "$1 $(($2 + $4)) 694 28"
    check_eq "main window title, trailing blank included" "$(winctl_field caption <<<"$main")" "Tovi ﾙｰﾀ ver 1.00 26-3-07 "
    check_eq "control panel at (0, 0)" "$(winctl_field rect <<<"$panel" | cut -d' ' -f1,2)" "0 0"
    check_eq "control panel topmost" "$(winctl_field topmost <<<"$panel")" "1"
    shot start-windows
    stop_all
}

shell_enabling_at_start() {
    scenario enabling-at-start
    start_tovi || return
    local id want got
    for pair in 1:1 8:1 2:1 10:1 1023:1 1024:1 3:0 4:0 5:0 6:0 7:0 9:0; do
        id=${pair%:*}
        want=${pair#*:}
        got=$(winctl ctl "$id" | winctl_field enabled)
        check_eq "control $id enabled=$want" "$got" "$want"
    done
    check_eq "button 1 reads ﾏｯﾌﾟ初期設定" "$(winctl ctl 1 | winctl_field text)" "ﾏｯﾌﾟ初期設定"
    check_eq "200 m checked at start" "$(winctl ctl 1024 | winctl_field checked)" "1"
    check_eq "100 m unchecked at start" "$(winctl ctl 1023 | winctl_field checked)" "0"
    # A disabled button does not respond: clicking "保存" leaves the panel as it was.
    winctl click $(ctl_centre 7)
    check_eq "a click on disabled 保存 changes nothing" "$(winctl ctl 7 | winctl_field text)" "保存"
    stop_all
}

# Return on the panel presses "ﾏｯﾌﾟ初期設定" only when that button has the focus.
shell_return_key() {
    scenario return-key
    start_tovi || return
    winctl click $(ctl_centre 1024)
    sleep 0.3
    xdotool key Return
    sleep 1
    check_eq "Return with the focus on 200 m starts no capture" "$(winctl ctl 1 | winctl_field enabled)" "1"
    check "and no capture window" test -z "$(xdotool search --name '^Tovi$' 2>/dev/null | head -1)"
    check_eq "200 m stays checked" "$(winctl ctl 1024 | winctl_field checked)" "1"
    stop_all
}

shell_help_line() {
    scenario help-line
    start_tovi || return
    local quit r x y
    quit=$(ctl_centre 2)
    winctl move $quit
    sleep 0.3
    check_eq "on 終了: its help text" "$(winctl panel | winctl_field caption)" " ﾌﾟﾛｸﾞﾗﾑを終了します。"
    shot help-line-quit
    r=$(winctl ctl 2 | winctl_field rect)
    set -- $r
    x=$(($1 + $3 + 5))
    y=$(($2 + 4))
    winctl move "$x" "$y"
    sleep 0.3
    check_eq "on an empty part: the default text" "$(winctl panel | winctl_field caption)" \
        "ｽﾀｰﾄ -> 地図の道路を右ｸﾘｯｸで実行します、ｶﾛﾘｰ等は目安です。 "
    shot help-line-default
    winctl move $quit
    sleep 0.3
    check_eq "back on 終了: its text again" "$(winctl panel | winctl_field caption)" " ﾌﾟﾛｸﾞﾗﾑを終了します。"
    winctl move $(ctl_centre 1023)
    sleep 0.3
    check_eq "on 100 m: its text" "$(winctl panel | winctl_field caption)" " 地図の縮尺が１００ｍとして計算します。"
    stop_all
}

shell_scale_boxes() {
    scenario scale-boxes
    start_tovi || return
    winctl click $(ctl_centre 1024)
    check_eq "clicking checked 200 m keeps it checked" "$(winctl ctl 1024 | winctl_field checked)" "1"
    winctl click $(ctl_centre 1023)
    check_eq "100 m checked" "$(winctl ctl 1023 | winctl_field checked)" "1"
    check_eq "200 m unchecked" "$(winctl ctl 1024 | winctl_field checked)" "0"
    winctl click $(ctl_centre 1023)
    check_eq "clicking checked 100 m keeps it checked" "$(winctl ctl 1023 | winctl_field checked)" "1"
    winctl click $(ctl_centre 1024)
    check_eq "200 m checked again" "$(winctl ctl 1024 | winctl_field checked)" "1"
    check_eq "100 m unchecked again" "$(winctl ctl 1023 | winctl_field checked)" "0"
    stop_all
}

shell_about_box() {
    scenario about-box
    start_tovi || return
    winctl click $(ctl_centre 10)
    sleep 0.5
    local r
    r=$(winctl owned | winctl_field rect)
    check_eq "About box at (100, 100)" "$(cut -d' ' -f1,2 <<<"$r")" "100 100"
    shot about-box
    set -- $r
    winctl click $(($1 + $3 - 12)) $(($2 + 8)) right
    sleep 0.5
    check "right-button release closes the About box" test -z "$(winctl owned)"
    stop_all
}

shell_ways_to_end() {
    scenario ways-to-end
    start_tovi || return
    winctl click $(ctl_centre 2)
    check_eq "終了 ends with exit code 1" "$(wait_exit)" "1"
    stop_all
    start_tovi || return
    winctl close panel >/dev/null
    check_eq "panel close box ends with exit code 1" "$(wait_exit)" "1"
    stop_all
    start_tovi || return
    winctl close main >/dev/null
    check_eq "main window close box ends with exit code 1" "$(wait_exit)" "1"
    stop_all
}

shell_two_copies() {
    scenario two-copies
    start_tovi 1 || return
    # A second Tovi in the same working folder says that one runs, and ends.
    rm -f "$OUT/exit.same"
    ( cd -P "$OUT/app" && wine tovi.exe; echo $? > "$OUT/exit.same" ) >/dev/null 2>&1 &
    local box=""
    for _ in $(seq 50); do box=$(winctl find 確認); [ -n "$box" ] && break; sleep 0.2; done
    check_eq "a second Tovi in the same folder says one is running" "$(winctl box-text 確認)" \
        "Tovi はすでに起動しています。同じ作業フォルダで起動できる Tovi は一つだけです。起動中の Tovi をお使いください。"
    shot two-copies-same-folder
    winctl box-click 確認 1
    for _ in $(seq 50); do [ -s "$OUT/exit.same" ] && break; sleep 0.2; done
    check_eq "the second one ends" "$(cat "$OUT/exit.same" 2>/dev/null)" "1"
    check_eq "the first one runs on" "$(winctl count-main)" "1"
    # Another program folder is another working folder: both run.
    mkdir -p "$WINEPREFIX/drive_c/tovi2"
    cp "$OUT/app/tovi.exe" "$WINEPREFIX/drive_c/tovi2/"
    E2E_APP="$WINEPREFIX/drive_c/tovi2" start_tovi 2 || return
    check_eq "two main windows" "$(winctl count-main)" "2"
    check_eq "with different class names" "$(winctl classes | sort -u | wc -l)" "2"
    check "class names carry a UUID" grep -qE '^Toviルーター[0-9a-f-]{36}$' <<<"$(winctl classes | head -1)"
    shot two-copies
    stop_all
}

shell_scenarios() {
    shell_start_windows
    shell_enabling_at_start
    shell_help_line
    shell_return_key
    shell_scale_boxes
    shell_about_box
    shell_ways_to_end
    shell_two_copies
}
