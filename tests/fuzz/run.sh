#!/bin/bash
# Builds the fuzz targets with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, seeds them, and runs each for a bounded time:
#   fuzz_data_folder  the load's checks on real saved folders cut down to the
#                     fuzz input (see fuzz_data_folder.cpp);
#   fuzz_picture      the capture's screen picture reader and its flood, seeded
#                     with the sample maps cut small as PNG and BMP and a few
#                     small bitmaps (see fuzz_picture.cpp);
#   fuzz_route        the route index, walk, travel counts, evacuation map and
#                     route wave on folders that pass the load's checks, seeded
#                     with small windows of the same saved folders (see
#                     fuzz_route.cpp).
#   tests/fuzz/run.sh [SECONDS]        (default 60, shared by the targets)
# Environment: TOVI_FUZZ_OUT (default build/fuzz), TOVI_CLI (default
# build/native/tovi-cli, used for the seeds), TOVI_MAPS, FUZZ_JOBS.
# Exit code 0 when the runs found nothing; a finding is left in OUT/artifacts
# (the picture target's with the prefix picture-, the route target's route-).
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_MAX=${1:-60}
OUT=${TOVI_FUZZ_OUT:-$ROOT/build/fuzz}
CLI=${TOVI_CLI:-$ROOT/build/native/tovi-cli}
MAPS=${TOVI_MAPS:-$ROOT/resources/maps}
MAP=$MAPS/street-grid-1600x1200.png
JOBS=${FUZZ_JOBS:-2}
CXX=${FUZZ_CXX:-clang++}
mkdir -p "$OUT/obj" "$OUT/artifacts"

# Build: the core sources instrumented for coverage, the target with the
# fuzzer's main. An object is rebuilt when its source or any header is newer.
FLAGS=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fno-sanitize-recover=undefined -I"$ROOT" -isystem /usr/include/stb)
newest_header=$(find "$ROOT"/{app,map,markers,route,storage,platform} -name '*.h' -printf '%T@\n' | sort -n | tail -1)
compile() {  # source object sanitizers [more flags]
    if [ -f "$2" ] && [ "$2" -nt "$1" ] && [ "$(stat -c %Y "$2")" -ge "${newest_header%.*}" ]; then return 0; fi
    "$CXX" "${FLAGS[@]}" -fsanitize="$3" "${@:4}" -c "$1" -o "$2.tmp" && mv "$2.tmp" "$2"
}
# Loops over every cell of the grid (the wave's table preparation, the index
# and count fills) teach the fuzzer nothing and cost most of a route run
# when each of their steps is traced: they are left out of the coverage.
cat >"$OUT/coverage-ignore.txt" <<'LIST'
fun:*Wave_init*
fun:*Spare_cells_fill*
fun:*_M_fill_assign*
fun:*__uninit_fill_n*
fun:*__fill_a*
fun:*__fill_n_a*
LIST
objects=()
failed=0
for src in "$ROOT"/{app,map,route,markers,storage,platform}/*.cpp; do
    obj="$OUT/obj/$(basename "$(dirname "$src")")_$(basename "$src" .cpp).o"
    objects+=("$obj")
    compile "$src" "$obj" fuzzer-no-link,address,undefined -fsanitize-coverage-ignorelist="$OUT/coverage-ignore.txt" &
    while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n || failed=1; done
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed=1; done
[ "$failed" -eq 0 ] || { echo "fuzz: the build failed" >&2; exit 2; }
for name in fuzz_data_folder fuzz_picture fuzz_route; do
    target="$OUT/obj/$name.o"
    compile "$ROOT/tests/fuzz/$name.cpp" "$target" fuzzer,address,undefined || { echo "fuzz: the build failed" >&2; exit 2; }
    "$CXX" -fsanitize=fuzzer,address,undefined "$target" "${objects[@]}" -lpthread -o "$OUT/$name"
done

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
"$CLI" mark "$work/route" --evac 791,300 --evac 591,300 >/dev/null || { echo "fuzz: tovi-cli mark failed" >&2; exit 2; }
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

# Seeds of the route target: a small window of each folder's map around its
# first record (the capture's start, the route's first place), with the
# records of each wave that lie in it moved into it, so that they pass the
# checks and stand on the map's roads: the capture with one place at its
# start, the route with its two places (the second wave moved beside the
# first), each also with congestion and no-passage points beside the place.
# The points walked from are on and near the records.
rm -rf "$OUT/seeds_route" "$OUT/corpus_route"
mkdir -p "$OUT/seeds_route" "$OUT/corpus_route"
python3 - "$OUT/seeds_route" "${folders[@]}" <<'PY'
import struct, sys
out, folders = sys.argv[1], sys.argv[2:]
K, W, H, SCAN = 64, 44, 40, 4000

def cut_bmp(path, x0, y0, w, h):
    f = open(path, 'rb').read()
    width, height = struct.unpack_from('<ii', f, 18)
    offset = struct.unpack_from('<I', f, 10)[0]
    stride = (width * 3 + 3) // 4 * 4
    new_stride = (w * 3 + 3) // 4 * 4
    rows = b''
    for y in reversed(range(y0, y0 + h)):     # bottom row first
        src = offset + (height - 1 - y) * stride + x0 * 3
        rows += f[src:src + w * 3] + bytes(new_stride - w * 3)
    head = b'BM' + struct.pack('<IIIIiiHHIIiiII', 54 + len(rows), 0, 54, 40, w, h, 1, 24, 0, len(rows), 0, 0, 0, 0)
    return head + rows

for i, folder in enumerate(folders):
    base = bytearray(open(folder + '/base.dat', 'rb').read())
    d1, d2 = (open(folder + '/' + n, 'rb').read(16 * SCAN) for n in ('d1.dat', 'd2.dat'))
    d3 = open(folder + '/d3.dat', 'rb').read(SCAN)
    total = struct.unpack_from('<i', base, 0)[0]
    rec = lambda n: struct.unpack_from('<HHiii', d2 if d3[n] & 1 else d1, 16 * n)
    # Each wave's first record goes to its own place in the window.
    first = {}
    for n in range(min(total, SCAN)):
        first.setdefault(d3[n] & 1, rec(n))
    places = {0: (W // 2 - 8, H // 2), 1: (W // 2 + 8, H // 2)} if len(first) == 2 else {0: (W // 2, H // 2)}
    x0, y0 = first[0][0] - places[0][0], first[0][1] - places[0][1]
    shift = {w: (places[w][0] - first[w][0], places[w][1] - first[w][1]) for w in first}
    kept, tables, kinds = {}, [bytearray(16 * K), bytearray(16 * K)], bytearray(K)
    for n in range(min(total, SCAN)):
        if len(kept) == K: break
        w = d3[n] & 1
        x, y, parent, cost, nxt = rec(n)
        x, y = x + shift[w][0], y + shift[w][1]
        if not (0 <= x < W and 0 <= y < H) or (parent != -1 and parent not in kept): continue
        m = len(kept)
        kept[n] = m
        struct.pack_into('<HHiii', tables[w], 16 * m, x, y, kept.get(parent, -1), cost, -1)
        kinds[m] = w
    left, top = struct.unpack_from('<ii', base, 88)
    struct.pack_into('<iiii', base, 88, left, top, left + W, top + H)
    struct.pack_into('<i', base, 0, len(kept))
    for w, (x, y) in places.items():
        struct.pack_into('<i', base, 4 + 4 * w, x); struct.pack_into('<i', base, 44 + 4 * w, y)
    struct.pack_into('<i', base, 84, len(places))
    # tst.bmp holds the map from Map_rect's corner: the window is (x0, y0) in it.
    bmp = cut_bmp(folder + '/tst.bmp', x0, y0, W, H)
    px, py = places[0]
    points = struct.pack('<8h', px, py, px + 3, py, px, py - 5, -1, 70)
    options = bytes((51, 4, 12, 1))
    def seed(name, b):
        data = (struct.pack('<H', len(b)) + bytes(b) + struct.pack('<H', K) + bytes(tables[0]) + bytes(tables[1]) +
                bytes(kinds) + points + options + bmp)
        open('%s/%d-%s' % (out, i, name), 'wb').write(data)
    seed('window', base)
    # Beside the first place, clear of its own pixel (a marker is 13 pixels a side).
    struct.pack_into('<i', base, 904, 2)                  # Cong_n 2 at (px, py-10), (px, py+10)
    struct.pack_into('<ii', base, 104, px, px); struct.pack_into('<ii', base, 504, py - 10, py + 10)
    struct.pack_into('<i', base, 1708, 1)                 # Nopass_n 1 at (px-10, py)
    struct.pack_into('<i', base, 908, px - 10); struct.pack_into('<i', base, 1308, py)
    seed('markers', base)
PY

# Seeds of the picture target: each sample map cut small at two places, as
# an 8-bit RGB PNG, a bottom-up and a top-down BMP; a small street grid with
# an evacuation place in the middle (a flood that goes on past its first
# records); and small bitmaps of other layouts the reader takes.
rm -rf "$OUT/seeds_picture" "$OUT/corpus_picture"
mkdir -p "$OUT/seeds_picture" "$OUT/corpus_picture"
python3 - "$OUT/seeds_picture" "$MAPS"/*.png <<'PY'
import struct, sys, zlib
out, maps = sys.argv[1], sys.argv[2:]

def png_rows(path, rows):
    """The first rows of an 8-bit RGB or RGBA, non-interlaced PNG, as RGB."""
    f = open(path, 'rb').read()
    at, idat, head = 8, b'', None
    while at < len(f):
        n, kind = struct.unpack_from('>I4s', f, at)
        if kind == b'IHDR': head = struct.unpack_from('>IIBBBBB', f, at + 8)
        if kind == b'IDAT': idat += f[at + 8:at + 8 + n]
        if kind == b'IEND': break
        at += 12 + n
    w, h, depth, colour, _, _, interlace = head
    if depth != 8 or colour not in (2, 6) or interlace: return None
    bpp = 3 if colour == 2 else 4
    stride = w * bpp
    z = zlib.decompressobj()
    raw, prev, result = b'', bytearray(stride), []
    for chunk in (idat[i:i + 65536] for i in range(0, len(idat), 65536)):
        raw += z.decompress(chunk)
        while len(raw) >= stride + 1 and len(result) < rows:
            kind, line = raw[0], bytearray(raw[1:stride + 1])
            raw = raw[stride + 1:]
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                if kind == 1: line[i] = (line[i] + a) & 255
                elif kind == 2: line[i] = (line[i] + b) & 255
                elif kind == 3: line[i] = (line[i] + (a + b) // 2) & 255
                elif kind == 4:
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            result.append(bytes(line) if bpp == 3 else bytes(v for j, v in enumerate(line) if j % 4 != 3))
            prev = line
        if len(result) >= rows: break
    return result

def png(w, h, rows, colour=2, depth=8):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    body = b''.join(b'\0' + r for r in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, depth, colour, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(body, 9)) + chunk(b'IEND', b''))

def bmp(w, h, rows, top_down=False):
    stride = (w * 3 + 3) // 4 * 4
    order = rows if top_down else list(reversed(rows))
    data = b''.join(bytes(v for px in range(w) for v in reversed(r[px * 3:px * 3 + 3])) + bytes(stride - w * 3) for r in order)
    return b'BM' + struct.pack('<IIIIiiHHIIiiII', 54 + len(data), 0, 54, 40, w, -h if top_down else h, 1, 24, 0,
                               len(data), 0, 0, 0, 0) + data

def save(name, b):
    open('%s/%s' % (out, name), 'wb').write(b)

W, H = 40, 32
for path in maps:
    name = path.rsplit('/', 1)[-1].rsplit('.', 1)[0]
    rows = png_rows(path, 140)
    if not rows: continue
    for x0, y0 in ((200, 100), (520, 40)):
        cut = [r[x0 * 3:(x0 + W) * 3] for r in rows[y0:y0 + H]]
        save('%s-%d-%d.png' % (name, x0, y0), png(W, H, cut))
        save('%s-%d-%d.bmp' % (name, x0, y0), bmp(W, H, cut))
        save('%s-%d-%d-top-down.bmp' % (name, x0, y0), bmp(W, H, cut, True))

# A street grid: white roads every 8 pixels between grey blocks, the
# evacuation colour on the road a few pixels right of the flood's start.
G = 48
grid = [bytearray(b'\xff\xff\xff' * G) for _ in range(G)]
for y in range(G):
    for x in range(G):
        if x % 8 > 2 and y % 8 > 2: grid[y][x * 3:x * 3 + 3] = b'\xf2\xef\xe9'
grid[G // 2][(G // 2 + 4) * 3:(G // 2 + 5) * 3] = bytes((100, 250, 100))
grid = [bytes(r) for r in grid]
save('grid-evac.png', png(G, G, grid))
save('grid-evac.bmp', bmp(G, G, grid))
save('grid-evac-grey.png', png(G, G, [bytes(r[i] for i in range(0, len(r), 3)) for r in grid], colour=0))
# Small bitmaps: one pixel, one row, one column, 32 bits, 8 bits with a palette.
save('one-pixel.bmp', bmp(1, 1, [b'\x10\x20\x30']))
save('one-row.bmp', bmp(7, 1, [bytes(range(21))]))
save('one-column.bmp', bmp(1, 5, [bytes((i, i, i)) for i in range(5)], True))
px32 = bytes(range(64))
save('rgba-32.bmp', b'BM' + struct.pack('<IIIIiiHHIIiiII', 54 + 64, 0, 54, 40, 4, 4, 1, 32, 0, 64, 0, 0, 0, 0) + px32)
palette = b''.join(bytes((i * 60, 255 - i * 60, i * 20, 0)) for i in range(4))
px8 = bytes((0, 1, 2, 3, 3, 2, 1, 0))  # two rows of four
save('palette-8.bmp', b'BM' + struct.pack('<IIIIiiHHIIiiII', 54 + 16 + 8, 0, 54 + 16, 40, 4, 2, 1, 8, 0, 8, 0, 0, 4, 4) +
     palette + px8)
PY

# The time given is shared: each target gets its part, at least one second.
share=$(( SECONDS_MAX / 3 ))
[ "$share" -ge 1 ] || share=1
status=0
run() {  # target log corpus seeds artifact-prefix
    local target_status=0
    echo "fuzz: $1: $(ls "$4" | wc -l) seeds, ${share} s"
    "$OUT/$1" -max_total_time="$share" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$5" -print_final_stats=1 "$3" "$4" >"$2" 2>&1 || target_status=$?
    grep -E '^stat::number_of_executed_units|^#[0-9]+ *DONE' "$2" || true
    if [ "$target_status" -ne 0 ]; then
        tail -40 "$2"
        echo "fuzz: $1 FOUND a problem (exit $target_status); see $2 and $OUT/artifacts"
        [ "$status" -ne 0 ] || status=$target_status
    fi
}
run fuzz_data_folder "$OUT/fuzz.log" "$OUT/corpus" "$OUT/seeds" "$OUT/artifacts/"
run fuzz_picture "$OUT/fuzz_picture.log" "$OUT/corpus_picture" "$OUT/seeds_picture" "$OUT/artifacts/picture-"
run fuzz_route "$OUT/fuzz_route.log" "$OUT/corpus_route" "$OUT/seeds_route" "$OUT/artifacts/route-"
if [ "$status" -eq 0 ]; then
    echo "fuzz: nothing found"
else
    echo "fuzz: FOUND a problem (exit $status); see $OUT/fuzz.log, $OUT/fuzz_picture.log, $OUT/fuzz_route.log and $OUT/artifacts"
fi
exit "$status"
