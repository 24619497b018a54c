# The evacuation map in the program: "避難地図" on the panel, offered once a
# route is built, shows every reached street in its band's colour in the main
# window with the legend beside the map; a choice in its dialog changes it at
# once; "画像保存" writes the page; a second press brings the plain map back;
# "比較..." shows the comparison with another version saved in a folder.
# The map area is compared pixel for pixel with tovi-cli render of the saved
# folder (the legends' texts may differ in font).

# How many pixels of each band colour (green ... black) a picture holds in
# the rectangle X Y W H, as eight numbers.
band_counts() {  # band_counts PICTURE X Y W H
    convert "$1" -crop "${4}x${5}+$2+$3" +repage -depth 8 rgb:- | python3 -c '
import sys
data = sys.stdin.buffer.read()
bands = [(0, 150, 60), (140, 195, 35), (255, 228, 0), (245, 130, 0), (215, 20, 30), (165, 95, 205), (120, 70, 20), (25, 25, 25)]
count = dict.fromkeys(bands, 0)
for i in range(0, len(data) - 2, 3):
    c = (data[i], data[i + 1], data[i + 2])
    if c in count:
        count[c] += 1
print(" ".join(str(count[b]) for b in bands))'
}

# Pixels that differ between the top-left W x H of two pictures.
area_diff() {  # area_diff A B W H
    convert "$1" -crop "${3}x${4}+0+0" +repage PNG24:"$OUT/area-a.png"
    convert "$2" -crop "${3}x${4}+0+0" +repage PNG24:"$OUT/area-b.png"
    compare -metric AE "$OUT/area-a.png" "$OUT/area-b.png" null: 2>&1 | cut -d' ' -f1
}

# The main window's client area out of a screenshot.
client_shot() {  # client_shot SHOT OUT.png
    set -- "$1" "$2" $(winctl main | winctl_field client)
    convert "$1" -crop "${5}x${6}+$3+$4" +repage PNG24:"$2"
}

wait_window() {  # wait_window CAPTION: its rect once it is there
    local r=""
    for _ in $(seq 50); do
        r=$(winctl find "$1")
        [ -n "$r" ] && break
        sleep 0.2
    done
    echo "$r"
}

# A PDF printer through CUPS for Wine to print to; the cupsd started here is
# stopped by evac_cups_stop. False when CUPS or its PDF printer is missing.
EVAC_CUPSD_PID=""
evac_cups_start() {
    command -v cupsd >/dev/null && command -v lpadmin >/dev/null && command -v pdftoppm >/dev/null || return 1
    [ -f /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd ] || return 1
    if ! lpstat -r 2>/dev/null | grep -q "is running"; then
        cupsd -f >/dev/null 2>&1 &
        EVAC_CUPSD_PID=$!
        for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.2; done
    fi
    lpadmin -p PDF -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd >/dev/null 2>&1 || return 1
    lpadmin -d PDF >/dev/null 2>&1
}
evac_cups_stop() {
    [ -n "$EVAC_CUPSD_PID" ] && kill "$EVAC_CUPSD_PID" 2>/dev/null
    EVAC_CUPSD_PID=""
}

# Band colours sampled on the reference page where they fill a 5 x 5 patch,
# looked up at the same place of the printed page: "matched sampled".
sampled_bands() {  # sampled_bands REFERENCE.png PRINTED.png
    python3 - "$1" "$2" <<'PY'
import subprocess, sys
def read(path):
    out = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True, capture_output=True, text=True).stdout
    w, h = map(int, size.split()[:2])
    return w, h, out
rw, rh, ref = read(sys.argv[1])
pw, ph, pr = read(sys.argv[2])
bands = {(0, 150, 60), (140, 195, 35), (255, 228, 0), (245, 130, 0), (215, 20, 30), (165, 95, 205), (120, 70, 20), (25, 25, 25)}
at = lambda d, w, x, y: tuple(d[(y * w + x) * 3:(y * w + x) * 3 + 3])
sampled = matched = 0
for y in range(2, min(rh, ph) - 2, 7):
    for x in range(2, min(rw, pw) - 2, 7):
        c = at(ref, rw, x, y)
        if c not in bands or any(at(ref, rw, x + i, y + j) != c for i in (-2, 0, 2) for j in (-2, 0, 2)):
            continue
        sampled += 1
        p = at(pr, pw, x, y)
        matched += all(abs(a - b) <= 48 for a, b in zip(c, p))
print(matched, sampled)
PY
}

evacmap_program() {
    scenario evacmap
    local printer=0
    evac_cups_start && printer=1
    local pdf_dir="$HOME/PDF"
    rm -f "$pdf_dir"/*.pdf 2>/dev/null
    capture_prepare_map
    rm -rf "$OUT/app/a-"*
    mkdir -p "$OUT/app/a-evac"
    rm -f "$OUT/app/evac-page.png"
    capture_map || { check "map captured" false; stop_all; return; }
    check_eq "避難地図 not offered before a route" "$(winctl ctl 1040 | winctl_field enabled)" "0"
    mark_map
    check_eq "避難地図 not offered for markers without a route" "$(winctl ctl 1040 | winctl_field enabled)" "0"
    build_route >/dev/null
    check_eq "避難地図 offered once the route is built" "$(winctl ctl 1040 | winctl_field enabled)" "1"
    check_eq "the button's text" "$(winctl ctl 1040 | winctl_field text)" "避難地図"
    winctl click $(ctl_centre 7)
    browse_pick_child 1
    check "the work saved" wait_saved "$OUT/app/a-evac"
    sleep 0.5
    # A save with a built route writes the page beside the data files; a load ignores it.
    for _ in $(seq 25); do [ -s "$OUT/app/a-evac/避難地図.png" ] && break; sleep 0.2; done
    check_eq "the save wrote 避難地図.png beside the data files, A4 landscape at 150 dpi" \
        "$(identify -format '%w %h' "$OUT/app/a-evac/避難地図.png" 2>/dev/null)" "1754 1240"
    [ -x "$TOVI_CLI" ] && check "tovi-cli check accepts the folder with the page in it" "$TOVI_CLI" check "$OUT/app/a-evac"
    local map_w map_h
    read -r map_w map_h < <(identify -format '%w %h' "$OUT/app/tst.bmp")
    local plain_size
    plain_size=$(winctl main | winctl_field client | cut -d' ' -f3,4)

    winctl click $(ctl_centre 1040)
    local dlg
    dlg=$(wait_window "避難地図の設定")
    check "the choices dialog opens" test -n "$dlg"
    sleep 1
    shot evacmap-shown
    client_shot "$OUT/shots/evacmap-shown.png" "$OUT/evac-shown.png"
    local size
    size=$(winctl main | winctl_field client | cut -d' ' -f3,4)
    check "the main window is wider than the map: the legend beside it ($size, map $map_w x $map_h)" \
        test "${size%% *}" -gt "$map_w"
    local counts
    counts=($(band_counts "$OUT/evac-shown.png" 0 0 "$map_w" "$map_h"))
    e2e_log "  band pixels shown: ${counts[*]}"
    check "the main window shows the streets in band colours (green, yellow-green, yellow)" \
        test "${counts[0]}" -gt 1000 -a "${counts[1]}" -gt 1000 -a "${counts[2]}" -gt 1000
    if [ -x "$TOVI_CLI" ]; then
        "$TOVI_CLI" render "$OUT/app/a-evac" "$OUT/evac-cli.png" >/dev/null 2>&1
        check_eq "the map area equals tovi-cli render of the saved folder" \
            "$(area_diff "$OUT/evac-shown.png" "$OUT/evac-cli.png" "$map_w" "$map_h")" "0"
    fi

    # A band of 1 minute, chosen in the dialog's list: the map follows at once.
    local dwin
    dwin=$(xdotool search --name '^避難地図の設定$' | head -1)
    xdotool windowfocus "$dwin" 2>/dev/null
    xdotool key --window "$dwin" Tab
    sleep 0.3
    xdotool key --window "$dwin" Down
    sleep 1.5
    shot evacmap-band1
    client_shot "$OUT/shots/evacmap-band1.png" "$OUT/evac-band1.png"
    local counts1
    counts1=($(band_counts "$OUT/evac-band1.png" 0 0 "$map_w" "$map_h"))
    e2e_log "  band pixels at 1 minute: ${counts1[*]}"
    check "a choice changes the map at once (fewer green pixels at 1 minute)" test "${counts1[0]}" -lt "${counts[0]}"
    if [ -x "$TOVI_CLI" ]; then
        "$TOVI_CLI" render "$OUT/app/a-evac" "$OUT/evac-cli-band1.png" --band 1 >/dev/null 2>&1
        check_eq "at 1 minute too the map area equals tovi-cli render --band 1" \
            "$(area_diff "$OUT/evac-band1.png" "$OUT/evac-cli-band1.png" "$map_w" "$map_h")" "0"
    fi

    # 画像保存: the save dialog, a file name typed, Return.
    winctl box-click "避難地図の設定" 1207
    local save
    save=$(wait_window "画像保存")
    check "画像保存 opens the save dialog" test -n "$save"
    sleep 0.8
    local swin
    swin=$(xdotool search --name '^画像保存$' | head -1)
    xdotool windowfocus "$swin" 2>/dev/null
    xdotool key --window "$swin" ctrl+a
    xdotool type --window "$swin" 'C:\tovi\evac-page.png'
    sleep 0.3
    # Its button rather than Return, which would reach the window below once it closes.
    winctl box-click "画像保存" 1
    for _ in $(seq 50); do [ -s "$OUT/app/evac-page.png" ] && break; sleep 0.2; done
    check "画像保存 writes the PNG" test -s "$OUT/app/evac-page.png"
    shot evacmap-saved
    if [ -s "$OUT/app/evac-page.png" ]; then
        check_eq "the page is A4 landscape at 150 dpi" "$(identify -format '%w %h' "$OUT/app/evac-page.png")" "1754 1240"
        local same=""
        if [ -x "$TOVI_CLI" ]; then
            # The program draws with the font this Windows gives it: one of IPA's.
            for f in /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf; do
                [ -s "$f" ] || continue
                "$TOVI_CLI" render "$OUT/app/a-evac" "$OUT/evac-cli-page.png" --band 1 --paper A4 --font "$f" >/dev/null 2>&1
                [ "$(area_diff "$OUT/app/evac-page.png" "$OUT/evac-cli-page.png" 1754 1240)" = 0 ] && same=$f
            done
            check "the saved page equals tovi-cli render --paper A4 of the saved folder (font ${same:-none})" test -n "$same"
        fi
    fi

    # 印刷: the system's print dialog, the PDF printer, one page; its band
    # colours where the page at the printer's resolution has them.
    if [ "$printer" = 1 ]; then
        winctl box-click "避難地図の設定" 1208
        local pwin=""
        for _ in $(seq 50); do
            pwin=$(xdotool search --name '^(Print|印刷)$' 2>/dev/null | head -1)
            [ -n "$pwin" ] && break
            sleep 0.2
        done
        check "印刷 opens the print dialog" test -n "$pwin"
        sleep 1
        shot evacmap-print-dialog
        [ -n "$pwin" ] && winctl box-click "$(xdotool getwindowname "$pwin")" 1
        # The page for the printer's paper (A4 portrait) shows first, with the question.
        local ask=""
        for _ in $(seq 50); do
            ask=$(winctl box-text "確認" 2>/dev/null)
            [ -n "$ask" ] && break
            sleep 0.2
        done
        check_eq "the question before printing" "$ask" "この内容で印刷しますか？"
        sleep 0.5
        shot evacmap-print-preview
        check_eq "the page shown as it will print: A4 portrait at 72 dpi" \
            "$(winctl main | winctl_field client | cut -d' ' -f3,4)" "595 842"
        winctl box-click "確認" 6
        local pdf=""
        for _ in $(seq 100); do
            pdf=$(ls "$pdf_dir"/*.pdf 2>/dev/null | head -1)
            [ -n "$pdf" ] && [ -s "$pdf" ] && break
            sleep 0.2
        done
        sleep 1
        check "the page was printed to the PDF printer" test -n "$pdf"
        if [ -n "$pdf" ]; then
            pdftoppm -r 300 -png -singlefile "$pdf" "$OUT/evac-printed" 2>/dev/null
            check_eq "one page" "$(pdfinfo "$pdf" 2>/dev/null | sed -n 's/^Pages: *//p')" "1"
            e2e_log "  printed: $(identify -format '%w x %h' "$OUT/evac-printed.png" 2>/dev/null)"
            if [ -x "$TOVI_CLI" ]; then
                "$TOVI_CLI" render "$OUT/app/a-evac" "$OUT/evac-cli-print.png" --band 1 --paper A4 --portrait --dpi 300 \
                    --font /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf >/dev/null 2>&1
                local ms
                ms=($(sampled_bands "$OUT/evac-cli-print.png" "$OUT/evac-printed.png"))
                e2e_log "  band samples matched: ${ms[0]} of ${ms[1]}"
                check "the printed band colours stand where the page has them (${ms[0]} of ${ms[1]})" \
                    test "${ms[1]}" -gt 200 -a "$((ms[0] * 100))" -ge "$((ms[1] * 95))"
            fi
            convert "$OUT/evac-printed.png" -resize 25% "$OUT/shots/evacmap-printed.png" 2>/dev/null
        fi
        check_eq "after printing the evacuation map again" "$(winctl main | winctl_field client | cut -d' ' -f3,4)" "$size"
    else
        e2e_log "  no CUPS PDF printer here: printing not checked"
    fi

    # Closed, the map stays; a second press brings the plain map back.
    winctl box-click "避難地図の設定" 1
    sleep 0.5
    check "the dialog is closed" test -z "$(winctl find "避難地図の設定")"
    check_eq "the choices used last are kept for the next run" \
        "$(sed -n 's/^band=//p' "$OUT/app/tovi/evac_map.txt" 2>/dev/null)" "1"
    winctl click $(ctl_centre 1040)
    sleep 1
    shot evacmap-back
    check_eq "back: the client area has the map's size" "$(winctl main | winctl_field client | cut -d' ' -f3,4)" "$plain_size"
    client_shot "$OUT/shots/evacmap-back.png" "$OUT/evac-back.png"
    local diff
    diff=($($PIXELS check-markers "$OUT/app/tst.bmp" "$OUT/evac-back.png"))
    check_eq "back: the plain map with its markers" "${diff[1]}" "0"

    evacmap_compare "$map_w" "$map_h" "$plain_size"
    stop_all
    evacmap_next_run "$map_w" "$map_h"
    stop_all
    rm -rf "$OUT/app/a-evac" "$OUT/app/a-evac2" "$OUT/app/a-evac3"  # later folder picks count the program folder's folders
    evac_cups_stop
}

# The next run: a work saved without choices of its own (a-evac, saved before
# the map was first shown) opens the map with the choices used last (bands
# of 1 minute).
evacmap_next_run() {  # evacmap_next_run MAP_W MAP_H
    local map_w=$1 map_h=$2
    start_tovi || { check "Tovi started again" false; return; }
    winctl click $(ctl_centre 8)
    browse_pick_child 1 old
    check "a-evac loaded" wait_fitted
    sleep 1
    winctl click $(ctl_centre 1040)
    check "the choices dialog opens in the next run" test -n "$(wait_window "避難地図の設定")"
    sleep 1
    check_eq "the band width used last is chosen" "$(winctl dlg 1202 | winctl_field text)" "1分"
    shot evacmap-next-run
    client_shot "$OUT/shots/evacmap-next-run.png" "$OUT/evac-next-run.png"
    if [ -x "$TOVI_CLI" ]; then
        "$TOVI_CLI" render "$OUT/app/a-evac" "$OUT/evac-cli-next.png" --band 1 >/dev/null 2>&1
        check_eq "the map is drawn with it: the map area equals tovi-cli render --band 1" \
            "$(area_diff "$OUT/evac-next-run.png" "$OUT/evac-cli-next.png" "$map_w" "$map_h")" "0"
    fi
    winctl box-click "避難地図の設定" 1
    sleep 0.5
}

# How many pixels of each change colour (same, shorter, much shorter, longer,
# much longer, gained, lost) a picture holds in the rectangle X Y W H.
change_counts() {  # change_counts PICTURE X Y W H
    convert "$1" -crop "${4}x${5}+$2+$3" +repage -depth 8 rgb:- | python3 -c '
import sys
data = sys.stdin.buffer.read()
kinds = [(185, 185, 185), (130, 180, 240), (0, 80, 200), (245, 165, 130), (200, 20, 20), (0, 170, 130), (25, 25, 25)]
count = dict.fromkeys(kinds, 0)
for i in range(0, len(data) - 2, 3):
    c = (data[i], data[i + 1], data[i + 2])
    if c in count:
        count[c] += 1
print(" ".join(str(count[k]) for k in kinds))'
}

# 比較... in the choices dialog, against the folder saved above (a-evac) after
# streets were closed and the route built again: the main window shows the
# comparison tovi-cli compare draws, the work of now stays; a folder without a
# piece of work is refused with a message; 避難地図 brings the plain map back.
evacmap_compare() {  # evacmap_compare MAP_W MAP_H PLAIN_SIZE
    local map_w=$1 map_h=$2 plain_size=$3
    # a-evac2 gets the version of now; a-evac3 stays empty.
    mkdir -p "$OUT/app/a-evac2" "$OUT/app/a-evac3"
    winctl click $(ctl_centre 4)
    sleep 0.3
    tool_click $(rs 4)
    tool_click $(rs 5)
    tool_click $(rs 6)
    end_tool $(rs 7)
    build_route >/dev/null
    winctl click $(ctl_centre 7)
    browse_pick_child 2
    check "the second version saved" wait_saved "$OUT/app/a-evac2"
    sleep 0.5
    local route_before
    route_before=$(md5sum < "$OUT/app/a-evac2/d1.dat")

    winctl click $(ctl_centre 1040)
    check "the choices dialog opens again" test -n "$(wait_window "避難地図の設定")"
    sleep 1
    winctl box-click "避難地図の設定" 1209
    browse_pick_child 1 old
    local status=""
    for _ in $(seq 50); do
        status=$(winctl dlg 1206 | winctl_field text)
        [ -n "$status" ] && break
        sleep 0.2
    done
    check_eq "the dialog says the comparison is shown" "$status" "比較を表示しています。「避難地図」を押すと地図に戻ります。"
    sleep 1
    shot evacmap-compare
    client_shot "$OUT/shots/evacmap-compare.png" "$OUT/evac-compare.png"
    local kinds
    kinds=($(change_counts "$OUT/evac-compare.png" 0 0 "$map_w" "$map_h"))
    e2e_log "  change pixels shown (same, shorter, much shorter, longer, much longer, gained, lost): ${kinds[*]}"
    check "the main window shows the streets by how their walks changed" test "${kinds[0]}" -gt 1000
    if [ -x "$TOVI_CLI" ]; then
        local cli
        cli=$("$TOVI_CLI" compare "$OUT/app/a-evac" "$OUT/app/a-evac2" "$OUT/evac-cli-compare.png" --band 1 2>&1)
        e2e_log "  tovi-cli compare: $(echo "$cli" | sed -n 's/^changed pixels //p') changed pixels"
        check "the closed streets changed some walks (tovi-cli compare)" \
            test "$(echo "$cli" | sed -n 's/^changed pixels //p')" -gt 0
        check_eq "the map area equals tovi-cli compare of the two folders" \
            "$(area_diff "$OUT/evac-compare.png" "$OUT/evac-cli-compare.png" "$map_w" "$map_h")" "0"
    fi
    local client_w
    client_w=$(winctl main | winctl_field client | cut -d' ' -f3)
    check "the figures beside the map: the main window wider than it ($client_w, map $map_w)" test "$client_w" -gt "$map_w"
    local dlg_x main_x
    dlg_x=$(x_window_at "$(winctl find "避難地図の設定" | winctl_field rect)")
    main_x=$(x_window_at "$(winctl main | winctl_field rect)")
    check "the dialog stands above the main window after the comparison" stands_above "$dlg_x" "$main_x"

    # A folder without a piece of work: said, and the comparison stays.
    local compare_size
    compare_size=$(winctl main | winctl_field client | cut -d' ' -f3,4)
    winctl box-click "避難地図の設定" 1209
    browse_pick_child 3 old
    local said=""
    for _ in $(seq 50); do
        said=$(winctl box-text "確認")
        [ -n "$said" ] && break
        sleep 0.2
    done
    e2e_log "  said: ${said//$'\n'/ / }"
    check "a folder without a piece of work is refused with a message" test "${said#比較できません：}" != "$said"
    shot evacmap-compare-refused
    winctl box-click 確認 1 || winctl box-click 確認 2
    sleep 0.5
    check_eq "refused: the comparison still shown" "$(winctl main | winctl_field client | cut -d' ' -f3,4)" "$compare_size"
    check "the empty folder stays empty" test -z "$(ls -A "$OUT/app/a-evac3")"

    # Closed, then 避難地図: the plain map again.
    winctl box-click "避難地図の設定" 1
    sleep 0.5
    winctl click $(ctl_centre 1040)
    sleep 1
    shot evacmap-compare-back
    check_eq "back from the comparison: the client area has the map's size" \
        "$(winctl main | winctl_field client | cut -d' ' -f3,4)" "$plain_size"
    # The other version was read apart: the work of now, saved again, has the same route.
    winctl click $(ctl_centre 7)
    browse_pick_child 2
    check "saved again into a-evac2" wait_saved "$OUT/app/a-evac2"
    sleep 0.5
    check_eq "the route saved again is the route of before the comparison" "$(md5sum < "$OUT/app/a-evac2/d1.dat")" "$route_before"
    [ -x "$TOVI_CLI" ] && check "the compared folder is still whole" "$TOVI_CLI" check "$OUT/app/a-evac"
}

evacmap_scenarios() {
    evacmap_program
}
