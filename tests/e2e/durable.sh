# Saves that lose nothing, seen from outside: tovi.exe and tovi-cli.exe
# writing one folder at the same moment, a file held open by another program,
# the program killed in the middle of a save, the question at the end and the
# offer of the last work after a crash.
#
# The works are made with tovi-cli.exe (the Windows build, in the program
# folder): a lock taken by a native program is not seen by Wine's.

DURABLE_REFS=""   # reference copies of the works, outside the program folder

# tovi-cli.exe in the program folder; folder names are relative to it.
cli_win() {
    (cd -P "$OUT/app" && exec wine tovi-cli.exe "$@") 2>&1 | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# The same folder as tovi-cli.exe names it: the references live on Z:.
cli_ok() { cli_win "$@" >/dev/null 2>&1; }

ref_path() { echo "Z:$DURABLE_REFS/$1"; }

# One line for a whole piece of work: the checksums of its files, by name.
work_sum() {
    (cd "$1" && for f in base.dat d1.dat d2.dat d3.dat d4.dat tst.bmp tst1.bmp; do
        [ -e "$f" ] && md5sum "$f"
    done) | md5sum | cut -c1-12
}

# What a folder holds besides the work's files (temporary files, commit records, locks).
leftovers() {
    # The evacuation map's page is written beside a work with a built route.
    (cd "$1" && ls -A | grep -vxE 'base\.dat|d[1-4]\.dat|tst1?\.bmp|避難地図\.png' | xargs)
}

# Puts a reference work into a folder of the program folder, as it was.
restore_work() {  # restore_work REF NAME
    rm -rf "$OUT/app/$2"
    cp -r "$DURABLE_REFS/$1" "$OUT/app/$2"
}

# Picks the folder NAME of the program folder in the folder browser: its
# place among the program folder's sub-folders, in the browser's order.
pick_folder() {  # pick_folder NAME new|old
    local i=0 n=0 d
    for d in $(cd -P "$OUT/app" && ls -d -- */ 2>/dev/null | sed 's:/$::' | LC_ALL=C sort -f); do
        i=$((i + 1))
        [ "$d" = "$1" ] && n=$i
    done
    [ "$n" -gt 0 ] || return 1
    browse_pick_child "$n" "$2"
}

# The Linux pids of this run's tovi.exe (never tovi-cli.exe, never another prefix's).
tovi_pids() {
    local p
    for p in /proc/[0-9]*; do
        tr '\0' ' ' 2>/dev/null <"$p/cmdline" | grep -qiE '(^|[\\/ ])tovi\.exe' || continue
        tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "${p#/proc/}"
    done
}

# The main window's client area from a screenshot, as a picture of its own.
client_crop() {  # client_crop SHOT OUT.png
    set -- "$1" "$2" $(winctl main | winctl_field client)
    convert "$OUT/shots/$1.png" -crop "${5}x${6}+$3+$4" +repage PNG24:"$2"
}

same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }

panel_state() {
    local id out=""
    for id in 1 3 4 5 6 7 8 9; do out+="$id:$(winctl ctl $id | winctl_field enabled) "; done
    echo "$out$(winctl ctl 1 | winctl_field text)"
}

# True once a message box of that caption is up with its text (the window
# exists a moment before its controls do).
wait_box() {  # wait_box CAPTION [tries]
    for _ in $(seq "${2:-50}"); do [ -n "$(winctl box-text "$1")" ] && { sleep 0.3; return 0; }; sleep 0.2; done
    return 1
}

# Adds a congestion point at street point DURABLE_PTS[I], I+1 with "混雑設定".
add_congestion() {  # add_congestion I
    local c
    c=$(winctl main | winctl_field client)
    set -- "$1" $c
    winctl click $(ctl_centre 3)
    sleep 0.3
    tool_click $(($2 + DURABLE_PTS[$1])) $(($3 + DURABLE_PTS[$1 + 1]))
    end_tool $(($2 + DURABLE_PTS[20])) $(($3 + DURABLE_PTS[21]))
}

now_ms() { local t=${EPOCHREALTIME/./}; echo $((t / 1000)); }

# Waits for the folder's lock file to be there (present) or gone: a write
# holds it from its first step to its last.
wait_lock() {  # wait_lock DIR present|gone
    local i
    for ((i = 0; i < 3000; i++)); do
        if [ -e "$1/tovi.lock" ]; then [ "$2" = present ] && return 0; else [ "$2" = gone ] && return 0; fi
        sleep 0.002
    done
    return 1
}

# Starts Tovi and loads the folder NAME of the program folder.
start_with_work() {
    start_tovi || return 1
    winctl click $(ctl_centre 8)
    pick_folder "$1" old || return 1
    wait_fitted || return 1
    for _ in $(seq 50); do [ "$(winctl ctl 7 | winctl_field enabled)" = 1 ] && break; sleep 0.2; done
    sleep 0.5
}

# "保存" into the folder NAME; returns once the browser has been answered.
save_into() {
    winctl click $(ctl_centre 7)
    pick_folder "$1" new
}

wait_base_changed() {  # wait_base_changed FOLDER OLD_SUM: the save has put its base.dat in place
    for _ in $(seq 100); do
        [ "$(work_sum "$1")" != "$2" ] && [ "$(winctl ctl 7 | winctl_field text)" = "保存" ] && return 0
        sleep 0.2
    done
    return 1
}

# Two works on the same capture: OLD with its route, NEW with other markers
# and its own route; both made with tovi-cli.exe. NEW goes into the program
# folder as "dnew", to be loaded by the program.
durable_prepare() {
    DURABLE_REFS="$OUT/durable"
    rm -rf "$DURABLE_REFS" "$OUT/app/"{dnew,dtarget}
    mkdir -p "$DURABLE_REFS"
    capture_prepare_map
    cp "$WIN_BUILD/tovi-cli.exe" "$WIN_BUILD/holdfile.exe" "$OUT/app/"
    cli_win capture map.png 502 412 "$(ref_path old)" >/dev/null || return 1
    local p
    p=($($PIXELS white-points "$DURABLE_REFS/old/tst.bmp" 12))
    [ "${#p[@]}" -eq 24 ] || return 1
    DURABLE_PTS=("${p[@]}")
    cli_win mark "$(ref_path old)" --evac "${p[0]},${p[1]}" --evac "${p[2]},${p[3]}" --cong "${p[4]},${p[5]}" \
        --nopass "${p[6]},${p[7]}" >/dev/null || return 1
    cli_win route "$(ref_path old)" >/dev/null || return 1
    cp -r "$DURABLE_REFS/old" "$DURABLE_REFS/new"
    cli_win mark "$(ref_path new)" --clear --evac "${p[8]},${p[9]}" --evac "${p[10]},${p[11]}" \
        --cong "${p[12]},${p[13]}" --nopass "${p[14]},${p[15]}" >/dev/null || return 1
    cli_win route "$(ref_path new)" >/dev/null || return 1
    cli_win check "$(ref_path old)" >/dev/null && cli_win check "$(ref_path new)" >/dev/null || return 1
    restore_work new dnew
    OLD_SUM=$(work_sum "$DURABLE_REFS/old")
    e2e_log "  works: old $OLD_SUM, new $(work_sum "$DURABLE_REFS/new")"
}

# The references of what a second writer makes of either work: tovi-cli.exe
# route or mark run alone on a copy.
second_writer_refs() {  # second_writer_refs SAVED_REF: sums of route/mark over old and over the saved work
    local w cmd
    for w in old "$1"; do
        for cmd in route mark; do
            rm -rf "$DURABLE_REFS/$cmd-$w"
            cp -r "$DURABLE_REFS/$w" "$DURABLE_REFS/$cmd-$w"
            if [ $cmd = route ]; then
                cli_win route "$(ref_path "$cmd-$w")" >/dev/null
            else
                cli_win mark "$(ref_path "$cmd-$w")" --cong "${DURABLE_PTS[16]},${DURABLE_PTS[17]}" >/dev/null
            fi
            eval "SUM_${cmd}_${w//-/_}=$(work_sum "$DURABLE_REFS/$cmd-$w")"
        done
    done
}

# 1. Two Windows programs write one folder at the same moment; a check runs
#    while the program saves. 2. A file held open without sharing.
#    4. The question at the end. All in one run of the program.
durable_writers() {
    scenario durable-prepare
    durable_prepare
    check "two works made with tovi-cli.exe" test -n "${OLD_SUM:-}"
    [ -n "${OLD_SUM:-}" ] || { stop_all; return; }

    scenario two-writers
    start_with_work dnew || { check "Tovi loaded the new work" false; stop_all; return; }
    shot durable-loaded
    client_crop durable-loaded "$OUT/durable-loaded.png"
    # The program's own save of the new work, alone: the reference of "new".
    restore_work old dtarget
    save_into dtarget
    local t0
    wait_lock "$OUT/app/dtarget" present
    t0=$(now_ms)
    wait_lock "$OUT/app/dtarget" gone
    DURABLE_SAVE_MS=$(($(now_ms) - t0))
    e2e_log "  the save held the folder for $DURABLE_SAVE_MS ms"
    check "the program saves the new work over the old one" wait_base_changed "$OUT/app/dtarget" "$OLD_SUM"
    sleep 0.5
    check "tovi-cli.exe check accepts the saved folder" cli_ok check dtarget
    rm -rf "$DURABLE_REFS/saved"
    cp -r "$OUT/app/dtarget" "$DURABLE_REFS/saved"
    SAVED_SUM=$(work_sum "$DURABLE_REFS/saved")
    second_writer_refs saved

    local cmd got rc which
    for cmd in route mark; do
        restore_work old dtarget
        save_into dtarget
        # The second writer starts while the program writes.
        if [ $cmd = route ]; then
            cli_win route dtarget >"$OUT/durable-$cmd.out"
        else
            cli_win mark dtarget --cong "${DURABLE_PTS[16]},${DURABLE_PTS[17]}" >"$OUT/durable-$cmd.out"
        fi
        rc=$?
        wait_base_changed "$OUT/app/dtarget" "$OLD_SUM"
        sleep 1
        shot "durable-two-writers-$cmd"
        check "tovi-cli.exe check accepts the folder after tovi.exe and tovi-cli.exe $cmd" cli_ok check dtarget
        got=$(work_sum "$OUT/app/dtarget")
        local m_old="SUM_${cmd}_old" m_saved="SUM_${cmd}_saved"
        case $got in
        "$SAVED_SUM") which="the program's save" ;;
        "${!m_old}") which="$cmd over the old work" ;;
        "${!m_saved}") which="$cmd over the program's save" ;;
        *) which="" ;;
        esac
        e2e_log "  $cmd exit $rc: $(tr '\n' ' ' <"$OUT/durable-$cmd.out" | cut -c1-160)"
        check "the folder holds one whole work (got ${which:-a mix, $got})" test -n "$which"
        check_eq "no temporary files are left" "$(leftovers "$OUT/app/dtarget")" ""
    done

    # Checks while the program saves: each loads a whole work or says the folder is busy.
    restore_work old dtarget
    save_into dtarget
    local i ok=0 busy=0 bad=0 out
    for i in 1 2 3 4 5 6; do
        out=$(cli_win check dtarget 2>&1)
        rc=$?
        if [ $rc = 0 ]; then
            ok=$((ok + 1))
        elif grep -qiE 'busy|another program|別のプログラム' <<<"$out"; then
            busy=$((busy + 1))
        else
            bad=$((bad + 1))
            e2e_log "  check during the save: $(tr '\n' ' ' <<<"$out" | cut -c1-200)"
        fi
    done
    wait_base_changed "$OUT/app/dtarget" "$OLD_SUM"
    e2e_log "  checks during the save: $ok loaded, $busy busy, $bad refused"
    check_eq "no check during the save refused the folder" "$bad" 0
    sleep 0.5
    check "tovi-cli.exe check accepts the folder after the save" cli_ok check dtarget
    check_eq "the folder then holds the program's save" "$(work_sum "$OUT/app/dtarget")" "$SAVED_SUM"

    scenario sharing-violation
    # A congestion point added, so that the work in memory is not saved yet.
    add_congestion 18
    shot durable-changed
    client_crop durable-changed "$OUT/durable-changed.png"
    restore_work old dtarget
    local base_before holder
    base_before=$(md5sum <"$OUT/app/dtarget/base.dat")
    (cd -P "$OUT/app" && exec wine holdfile.exe 'dtarget\d1.dat' 60) >"$OUT/holdfile.out" 2>&1 &
    holder=$!
    for _ in $(seq 50); do grep -q held "$OUT/holdfile.out" && break; sleep 0.2; done
    check "the helper holds d1.dat" grep -q held "$OUT/holdfile.out"
    save_into dtarget
    local t0
    t0=$(date +%s%N)
    wait_box error 300
    e2e_log "  the message came after $((($(date +%s%N) - t0) / 1000000)) ms"
    local text
    text=$(winctl box-text error)
    e2e_log "  message: $(tr '\n' ' ' <<<"$text")"
    shot durable-held-message
    check "the save fails with a message naming d1.dat" \
        grep -qF "保存できません。次のファイルを書き込めませんでした：d1.dat" <<<"$text"
    check "the message says the folder and the work are kept" \
        grep -qF "フォルダの中身は前のままで、作業も消えていません。" <<<"$text"
    winctl box-click error 1  # OK: the other buttons of a message box are there but hidden
    sleep 1
    check_eq "Tovi keeps running" "$(winctl count-main)" "1"
    check_eq "the save button reads 保存 again" "$(winctl ctl 7 | winctl_field text)" "保存"
    shot durable-held-after
    client_crop durable-held-after "$OUT/durable-held-after.png"
    check "the work stays on the screen" same_picture "$OUT/durable-changed.png" "$OUT/durable-held-after.png"
    # A failed save is no save: the end still asks (the success beep comes with the same step).
    winctl click $(ctl_centre 2)
    check "終了 after the failed save asks about unsaved changes" wait_box 確認 25
    check_eq "the question's text" "$(winctl box-text 確認)" "保存されていない変更があります。終了する前に保存しますか？"
    winctl box-click 確認 2
    sleep 0.5
    kill -9 "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    sleep 0.5
    check "after the helper ends, tovi-cli.exe check accepts the folder" cli_ok check dtarget
    check_eq "base.dat is unchanged" "$(md5sum <"$OUT/app/dtarget/base.dat")" "$base_before"
    check_eq "the folder holds the old work" "$(work_sum "$OUT/app/dtarget")" "$OLD_SUM"
    check_eq "no temporary files are left" "$(leftovers "$OUT/app/dtarget")" ""
    save_into dtarget
    check "a second save succeeds" wait_base_changed "$OUT/app/dtarget" "$OLD_SUM"
    sleep 0.5
    check "no message after the second save" test -z "$(winctl find error)"
    check_eq "tovi-cli.exe check finds the added point in the saved folder" \
        "$(cli_win check dtarget | grep -o 'Cong_n [0-9]*')" "Cong_n 2"

    scenario question-at-end
    # A marker changes the saved work.
    add_congestion 22
    winctl click $(ctl_centre 2)
    check "終了 with a new marker asks the question" wait_box 確認 25
    check_eq "the question's text" "$(winctl box-text 確認)" "保存されていない変更があります。終了する前に保存しますか？"
    sleep 0.3
    shot durable-quit-question
    check "キャンセル (button 2) is there and answers" winctl box-click 確認 2
    sleep 0.8
    check "キャンセル closes the box" test -z "$(winctl find 確認)"
    check_eq "キャンセル keeps Tovi running" "$(winctl count-main)" "1"
    winctl click $(ctl_centre 2)
    wait_box 確認 25
    winctl box-click 確認 7
    check_eq "いいえ ends Tovi with exit code 1" "$(wait_exit)" "1"
    stop_all
}

# 3. The program's save killed at random moments: the folder loads as exactly
#    the old or exactly the new work.
DURABLE_KILLS=${DURABLE_KILLS:-5}
durable_kills() {
    scenario save-killed
    [ -n "${SAVED_SUM:-}" ] || { check "the references of the save exist" false; return; }
    local n=0 old=0 new=0 refused=0 mixed=0 inside=0 delay pids rest notes=""
    # The kills spread over the time the first save held the folder, from
    # the moment the lock file appears.
    local span=$((${DURABLE_SAVE_MS:-500} + 20))
    while [ $n -lt "$DURABLE_KILLS" ]; do
        n=$((n + 1))
        restore_work old dtarget
        start_with_work dnew || { check "kill $n: Tovi loaded the new work" false; stop_all; continue; }
        pids=$(tovi_pids)
        delay=$((RANDOM % span))
        save_into dtarget
        wait_lock "$OUT/app/dtarget" present || e2e_log "  kill $n: the lock file was not seen"
        sleep "$(awk "BEGIN { print $delay / 1000 }")"
        [ -n "$pids" ] && kill -9 $pids 2>/dev/null
        rest=$(leftovers "$OUT/app/dtarget")
        [ -n "$rest" ] && inside=$((inside + 1))
        stop_all
        if ! cli_win check dtarget >"$OUT/durable-kill-$n.out" 2>&1; then
            refused=$((refused + 1))
            e2e_log "  kill $n ${delay} ms into the save: refused: $(tr '\n' ' ' <"$OUT/durable-kill-$n.out" | cut -c1-200)"
            continue
        fi
        case $(work_sum "$OUT/app/dtarget") in
        "$OLD_SUM") old=$((old + 1)); notes="old" ;;
        "$SAVED_SUM") new=$((new + 1)); notes="new" ;;
        *) mixed=$((mixed + 1)); notes="MIXED" ;;
        esac
        e2e_log "  kill $n ${delay} ms into the save: $notes (left at the kill: ${rest:-nothing})"
        check_eq "kill $n: no temporary files are left after the check" "$(leftovers "$OUT/app/dtarget")" ""
    done
    e2e_log "  save kills: old $old / new $new / refused $refused / mixed $mixed ($inside inside the write)"
    check_eq "every killed save left the old or the new work" "$refused $mixed" "0 0"
}

# 5. The offer after a crash: the last capture and its markers come back.
durable_crash_offer() {
    scenario crash-offer
    capture_prepare_map
    capture_map || { check "map captured" false; stop_all; return; }
    mark_map
    sleep 1
    shot crash-before
    client_crop crash-before "$OUT/crash-before.png"
    local state
    state=$(panel_state)
    stop_all
    check "the run is still marked as running" test -e "$OUT/app/tovi/running"
    E2E_KEEP_RUNNING=1 start_tovi || { check "Tovi started again" false; stop_all; return; }
    check "the start offers the last work" wait_box 確認 50
    check_eq "the offer's text" "$(winctl box-text 確認)" \
        "前回の Tovi は正しく終了しませんでした。最後に取り込んだ地図と設定を読み込みますか？"
    sleep 0.3
    shot crash-offer
    winctl box-click 確認 6
    check "はい brings the map back" wait_fitted
    sleep 1
    shot crash-restored
    client_crop crash-restored "$OUT/crash-restored.png"
    # Placed evacuation places show as squares; a load paints them on the
    # road pixels like the other markers: check every marker where it was put.
    local diff
    diff=($($PIXELS check-markers "$OUT/app/tst.bmp" "$OUT/crash-restored.png"))
    check "the markers are back" test "${diff[0]:-0}" -gt 20
    check_eq "elsewhere the captured map, markers on road pixels only" "${diff[1]:-x}" "0"
    local i want got=""
    want="100 250 100/100 250 100/250 200 20/250 50 10"
    for i in 0 1 2 3; do
        got+="${got:+/}$($PIXELS pixel "$OUT/crash-restored.png" "${ROUTE_PTS[i * 2]}" "${ROUTE_PTS[i * 2 + 1]}")"
    done
    check_eq "two places, the congestion and the no-passage point where they were put" "$got" "$want"
    check_eq "the panel is as before the crash" "$(panel_state)" "$state"
    stop_all
}

durable_scenarios() {
    durable_writers
    durable_kills
    durable_crash_offer
}
