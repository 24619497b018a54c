# Shared pieces of the end-to-end runs: a virtual display, a fresh Wine prefix
# with Japanese fonts, the program's windows started and read through winctl,
# checks that count, and screenshots.
#
# Expects: WIN_BUILD (folder with tovi.exe, winctl.exe, mapview.exe), OUT (output folder).

export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
E2E_PASSED=0
E2E_FAILED=0
E2E_SCENARIO=""

e2e_log() { echo "[e2e] $*"; }

# Starts Xvfb on a free display unless a display was given.
e2e_display() {
    if [ -n "${E2E_DISPLAY:-}" ]; then export DISPLAY=$E2E_DISPLAY; return; fi
    local n=77
    while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
    Xvfb :$n -screen 0 1920x1200x24 -noreset >/dev/null 2>&1 &
    E2E_XVFB_PID=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    e2e_log "display $DISPLAY"
}

# A fresh prefix: Wine draws its own title bars, and the dialog font and the
# shell font fall back to IPA Gothic so Japanese text renders.
e2e_prefix() {
    export WINEPREFIX="$OUT/prefix"
    rm -rf "$WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    python3 - "$OUT/fonts.reg" <<'PY'
import sys
link = ",".join(x.encode("utf-16-le").hex(",") for x in ["ipag.ttf,IPAGothic"]) + ",00,00,00,00"
text = """Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]
"Tahoma"=hex(7):%s
"MS Shell Dlg"=hex(7):%s
"MS Shell Dlg 2"=hex(7):%s
""" % (link, link, link)
open(sys.argv[1], "wb").write(b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))
PY
    wine regedit /S "$OUT/fonts.reg" >/dev/null 2>&1
    # The program lives in C:\tovi of the prefix, as on a user's Windows; the
    # folder browser finds and preselects such a folder ($OUT/app links to it).
    mkdir -p "$WINEPREFIX/drive_c/tovi"
    rm -rf "$OUT/app"
    ln -sfn "$WINEPREFIX/drive_c/tovi" "$OUT/app"
    cp "$WIN_BUILD"/tovi.exe "$WIN_BUILD"/winctl.exe "$WIN_BUILD"/mapview.exe "$OUT/app/"
    wineserver -w 2>/dev/null || true
}

winctl() { wine "$OUT/app/winctl.exe" "$@" 2>/dev/null | tr -d '\r'; }

# Field of a winctl answer: winctl_field "rect" <<< "$answer" gives "x y w h".
winctl_field() { sed -n "s/^$1 //p" | head -1; }

# Starts one Tovi in its own folder; its exit code lands in $OUT/exit.N.
E2E_TOVI_N=0
start_tovi() {
    E2E_TOVI_N=$((E2E_TOVI_N + 1))
    local n=$E2E_TOVI_N
    rm -f "$OUT/exit.$n"
    # Each scenario ends by stopping Wine, which Tovi takes for a crash: the
    # next start would offer the last work back. Only the scenario about that
    # offer keeps the mark (E2E_KEEP_RUNNING=1).
    # E2E_APP: another program folder than $OUT/app.
    local app=${E2E_APP:-$OUT/app}
    [ "${E2E_KEEP_RUNNING:-0}" = 1 ] || rm -f "$app/tovi/running"
    ( cd -P "$app" && wine tovi.exe; echo $? > "$OUT/exit.$n" ) >/dev/null 2>&1 &
    local want=${1:-1}
    for _ in $(seq 100); do
        [ "$(winctl count-main)" -ge "$want" ] 2>/dev/null && winctl panel >/dev/null && { sleep 0.5; return 0; }
        sleep 0.2
    done
    e2e_log "Tovi did not start"
    return 1
}

# Waits for Tovi number N to end; prints its exit code (empty on a time-out).
wait_exit() {
    local n=${1:-$E2E_TOVI_N}
    for _ in $(seq 50); do
        [ -s "$OUT/exit.$n" ] && { cat "$OUT/exit.$n"; return 0; }
        sleep 0.2
    done
    return 1
}

stop_all() {
    wineserver -k >/dev/null 2>&1 || true
    sleep 0.5
}

scenario() {
    E2E_SCENARIO=$1
    e2e_log "scenario $1"
}

check() {  # check "what" test-command...
    local what=$1
    shift
    if "$@"; then
        E2E_PASSED=$((E2E_PASSED + 1))
        e2e_log "  ok   $E2E_SCENARIO: $what"
    else
        E2E_FAILED=$((E2E_FAILED + 1))
        e2e_log "  FAIL $E2E_SCENARIO: $what"
    fi
}

check_eq() {  # check_eq "what" actual expected
    local what=$1 actual=$2 expected=$3
    if [ "$actual" = "$expected" ]; then
        check "$what" true
    else
        check "$what (got '$actual', want '$expected')" false
    fi
}

shot() {  # shot NAME: the whole screen into $OUT/shots/NAME.png
    mkdir -p "$OUT/shots"
    import -window root "$OUT/shots/$1.png" 2>/dev/null
}

# Centre of a panel control on the screen.
ctl_centre() {
    local r
    r=$(winctl ctl "$1" | winctl_field rect)
    set -- $r
    echo "$(($1 + $3 / 2)) $(($2 + $4 / 2))"
}

e2e_finish() {
    stop_all
    [ -n "${E2E_XVFB_PID:-}" ] && kill "$E2E_XVFB_PID" 2>/dev/null
    echo "e2e: $E2E_PASSED passed, $E2E_FAILED failed"
}
