#!/bin/bash
# Kill sweep of the commands that write a piece of work: each is started on a
# copy of a complete folder and killed with SIGKILL at a random moment spread
# over its run; then the folder is loaded (tovi-cli check, which finishes or
# undoes an interrupted write first) and must hold exactly the old work or
# exactly the new one. base.dat carries the checksums of the other files, so
# "the same base.dat and a folder that passes the checks" is the same set.
#
# Then two writers at once on one folder, and a load while a write runs: the
# folder always loads, as one of the works.
#
#   tools/kill_sweep.sh [KILLS]        (default 30 a command)
# Environment: TOVI_CLI (default build/native/tovi-cli), TOVI_SWEEP_DIR.
# Prints a line per command: old / new / refused / mixed; exit 1 when any
# folder was refused or mixed. The last line is 'N passed, N failed'.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
KILLS=${1:-30}
CLI=${TOVI_CLI:-$ROOT/build/native/tovi-cli}
MAPS=$ROOT/resources/maps
WORK=${TOVI_SWEEP_DIR:-$ROOT/out/kill-sweep}
[ -x "$CLI" ] || { echo "kill sweep: no tovi-cli at $CLI" >&2; exit 2; }
rm -rf "$WORK"
mkdir -p "$WORK"
MAP=$MAPS/street-grid-1600x1200.png
PHOTO=$WORK/aerial.png

# The aerial view: any picture of the map's size will do.
cp "$MAPS/kyoto-1600x1200.png" "$PHOTO"

# The old work: a capture with places and a congestion point, whose route is
# yet to be built.
old=$WORK/old
"$CLI" capture "$MAP" 801 601 "$old" >/dev/null || exit 2
"$CLI" mark "$old" --evac 791,300 --evac 591,300 --cong 700,300 >/dev/null || exit 2

# Each writing command, as the arguments that follow the folder or come before it.
commands=(
    "capture|capture $MAP 801 601 DIR"
    "capture-aerial|capture $MAP 801 601 DIR --photo $PHOTO"
    "route|route DIR"
    "mark|mark DIR --nopass 650,300"
)
run() {  # command-line-with-DIR dir
    local line=${1//DIR/$2}
    # shellcheck disable=SC2086
    exec "$CLI" $line >/dev/null 2>&1
}
now_ms() { date +%s%3N; }

passed=0
failed=0
for entry in "${commands[@]}"; do
    name=${entry%%|*}
    line=${entry#*|}
    # The new work, and how long the command takes.
    rm -rf "$WORK/new"
    cp -r "$old" "$WORK/new"
    t0=$(now_ms)
    if ! (run "$line" "$WORK/new"); then
        echo "kill sweep: $name: the command failed without a kill"
        failed=$((failed + 1))
        continue
    fi
    t1=$(now_ms)
    span=$((t1 - t0))
    [ "$span" -lt 20 ] && span=20
    cmp -s "$WORK/new/base.dat" "$old/base.dat" && { echo "kill sweep: $name: the command changed nothing"; failed=$((failed + 1)); continue; }
    "$CLI" check "$WORK/new" >/dev/null 2>&1 || { echo "kill sweep: $name: the uninterrupted run left no loadable folder"; failed=$((failed + 1)); continue; }
    n_old=0 n_new=0 n_refused=0 n_mixed=0
    for ((k = 0; k < KILLS; k++)); do
        d=$WORK/try
        rm -rf "$d"
        cp -r "$old" "$d"
        delay=$((RANDOM % (span + span / 5)))
        (run "$line" "$d") &
        pid=$!
        sleep "$(awk -v d="$delay" 'BEGIN { printf "%.3f", d / 1000 }')"
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        if ! "$CLI" check "$d" >/dev/null 2>"$WORK/check.err"; then
            n_refused=$((n_refused + 1))
            echo "  refused after ${delay} ms: $(head -3 "$WORK/check.err" | tr '\n' ' ')"
        elif cmp -s "$d/base.dat" "$old/base.dat"; then
            n_old=$((n_old + 1))
        elif cmp -s "$d/base.dat" "$WORK/new/base.dat"; then
            n_new=$((n_new + 1))
        else
            n_mixed=$((n_mixed + 1))
            echo "  mixed after ${delay} ms"
        fi
    done
    echo "kill sweep: $name ($KILLS kills over ${span} ms): old $n_old, new $n_new, refused $n_refused, mixed $n_mixed"
    if [ $((n_refused + n_mixed)) -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done

# Two writers at once, and loads while they write: every load waits for the
# lock, and the folder is always one whole work.
rounds=$(( KILLS / 6 + 2 ))
bad=0
for ((k = 0; k < rounds; k++)); do
    d=$WORK/try
    rm -rf "$d"
    cp -r "$old" "$d"
    (run "mark DIR --nopass 640,300" "$d") &
    a=$!
    (run "route DIR" "$d") &
    b=$!
    "$CLI" check "$d" >/dev/null 2>&1 || bad=$((bad + 1))
    wait "$a" "$b"
    "$CLI" check "$d" >/dev/null 2>&1 || bad=$((bad + 1))
done
echo "kill sweep: two writers and a load at once, $rounds rounds: $bad folders refused"
if [ "$bad" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

rm -rf "$WORK/try"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
