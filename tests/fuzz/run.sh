#!/bin/bash
# Builds the data-folder fuzz target with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, seeds it with real saved folders cut down to
# the fuzz input (see fuzz_data_folder.cpp), and runs it for a bounded time.
#   tests/fuzz/run.sh [SECONDS]        (default 60)
# Environment: TOVI_FUZZ_OUT (default build/fuzz), TOVI_CLI (default
# build/native/tovi-cli, used for the seeds), TOVI_MAPS, FUZZ_JOBS.
# Exit code 0 when the run found nothing; a finding is left in OUT/artifacts.
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_MAX=${1:-60}
OUT=${TOVI_FUZZ_OUT:-$ROOT/build/fuzz}
CLI=${TOVI_CLI:-$ROOT/build/native/tovi-cli}
MAP=${TOVI_MAPS:-$ROOT/resources/maps}/street-grid-1600x1200.png
JOBS=${FUZZ_JOBS:-2}
CXX=${FUZZ_CXX:-clang++}
mkdir -p "$OUT/obj" "$OUT/artifacts"

# Build: the core sources instrumented for coverage, the target with the
# fuzzer's main. An object is rebuilt when its source or any header is newer.
FLAGS=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fno-sanitize-recover=undefined -I"$ROOT" -isystem /usr/include/stb)
newest_header=$(find "$ROOT"/{app,map,markers,route,storage,platform} -name '*.h' -printf '%T@\n' | sort -n | tail -1)
compile() {  # source object sanitizers
    if [ -f "$2" ] && [ "$2" -nt "$1" ] && [ "$(stat -c %Y "$2")" -ge "${newest_header%.*}" ]; then return 0; fi
    "$CXX" "${FLAGS[@]}" -fsanitize="$3" -c "$1" -o "$2.tmp" && mv "$2.tmp" "$2"
}
objects=()
failed=0
for src in "$ROOT"/{app,map,route,markers,storage,platform}/*.cpp; do
    obj="$OUT/obj/$(basename "$(dirname "$src")")_$(basename "$src" .cpp).o"
    objects+=("$obj")
    compile "$src" "$obj" fuzzer-no-link,address,undefined &
    while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n || failed=1; done
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed=1; done
[ "$failed" -eq 0 ] || { echo "fuzz: the build failed" >&2; exit 2; }
target="$OUT/obj/fuzz_data_folder.o"
compile "$ROOT/tests/fuzz/fuzz_data_folder.cpp" "$target" fuzzer,address,undefined
"$CXX" -fsanitize=fuzzer,address,undefined "$target" "${objects[@]}" -lpthread -o "$OUT/fuzz_data_folder"

# Seeds: the capture of the street grid as saved (its base, the first records
# of its tables, a small cut of its map picture), the same made consistent
# with the cut (a folder that passes every check), and, when tovi-cli can
# build a route, a two-place route over it.
if [ ! -x "$CLI" ] && [ -d "$ROOT/build/native" ]; then cmake --build "$ROOT/build/native" --target tovi-cli >/dev/null; fi
[ -x "$CLI" ] || { echo "fuzz: tovi-cli not found at $CLI (set TOVI_CLI)" >&2; exit 2; }
work="$OUT/work"
rm -rf "$work" "$OUT/seeds" "$OUT/corpus"
mkdir -p "$work" "$OUT/seeds" "$OUT/corpus"
"$CLI" capture "$MAP" 801 601 "$work/capture" >/dev/null
folders=("$work/capture")
cp -r "$work/capture" "$work/route"
python3 - "$work/route/base.dat" <<'PY'
import struct, sys
b = bytearray(open(sys.argv[1], 'rb').read())
struct.pack_into('<i', b, 84, 2)                                      # Evac_n
struct.pack_into('<ii', b, 4, 791, 300); struct.pack_into('<ii', b, 44, 591, 300)
open(sys.argv[1], 'wb').write(b)
PY
if "$CLI" route "$work/route" >/dev/null 2>&1; then folders+=("$work/route"); fi
python3 - "$OUT/seeds" "${folders[@]}" <<'PY'
import struct, sys
out, folders = sys.argv[1], sys.argv[2:]
K, W, H = 64, 24, 16

def cut_bmp(path, w, h):
    f = open(path, 'rb').read()
    width, height = struct.unpack_from('<ii', f, 18)
    offset = struct.unpack_from('<I', f, 10)[0]
    stride = (width * 3 + 3) // 4 * 4
    new_stride = (w * 3 + 3) // 4 * 4
    rows = b''
    for y in reversed(range(h)):              # bottom row first
        src = offset + (height - 1 - y) * stride
        rows += f[src:src + w * 3] + bytes(new_stride - w * 3)
    head = b'BM' + struct.pack('<IIIIiiHHIIiiII', 54 + len(rows), 0, 54, 40, w, h, 1, 24, 0, len(rows), 0, 0, 0, 0)
    return head + rows

for i, folder in enumerate(folders):
    base = bytearray(open(folder + '/base.dat', 'rb').read())
    tables = [open(folder + '/' + n, 'rb').read(s) for n, s in (('d1.dat', 16 * K), ('d2.dat', 16 * K), ('d3.dat', K))]
    bmp = cut_bmp(folder + '/tst.bmp', W, H)
    def seed(name, b):
        data = struct.pack('<H', len(b)) + bytes(b) + struct.pack('<H', K) + b''.join(tables) + bmp
        open('%s/%d-%s' % (out, i, name), 'wb').write(data)
    seed('as-saved', base)
    left, top = struct.unpack_from('<ii', base, 88)
    struct.pack_into('<ii', base, 96, left + W, top + H)
    struct.pack_into('<i', base, 0, K)
    seed('consistent', base)
PY

echo "fuzz: $(ls "$OUT/seeds" | wc -l) seeds, ${SECONDS_MAX} s"
status=0
"$OUT/fuzz_data_folder" -max_total_time="$SECONDS_MAX" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$OUT/artifacts/" -print_final_stats=1 "$OUT/corpus" "$OUT/seeds" >"$OUT/fuzz.log" 2>&1 || status=$?
grep -E '^stat::number_of_executed_units|^#[0-9]+ *DONE' "$OUT/fuzz.log" || true
if [ "$status" -eq 0 ]; then
    echo "fuzz: nothing found"
else
    tail -40 "$OUT/fuzz.log"
    echo "fuzz: FOUND a problem (exit $status); see $OUT/fuzz.log and $OUT/artifacts"
fi
exit "$status"
