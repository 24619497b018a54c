#!/bin/bash
# Checks that the Windows release is the same bytes wherever it is built: the
# tree is copied into two folders of different names, tovi.exe and
# tovi-cli.exe are built in each (-j2) and packed, and the programs and the
# zips are compared byte for byte. Also checks what a PE file carries that
# could differ from one build to the next: the link time in the header and in
# the resource directories (none, 0), and the header's checksum (right).
# Prints the SHA-256 figures; exits 0 when everything matches.
#   tools/repro_check.sh     (TMPDIR chooses where the folders go)
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
JOBS=${JOBS:-2}
[ "$JOBS" -gt 2 ] && JOBS=2
start=$(date +%s)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=""
    [ -n "$SOURCE_DATE_EPOCH" ] || SOURCE_DATE_EPOCH=1704067200
fi
export SOURCE_DATE_EPOCH
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tovi-repro.XXXXXX") || exit 1
trap 'rm -rf "$WORK"' EXIT

# One copy of the tree, taken once, so that both builds see the same files;
# the second folder's path is longer and differently named.
one="$WORK/one/tovi"
two="$WORK/second-folder/elsewhere/src"
mkdir -p "$one" "$two"
tar -C "$ROOT" --exclude=./.git --exclude='./build*' --exclude=./out -cf - . | tar -C "$one" -xf - || exit 1
cp -a "$one/." "$two/" || exit 1

build() {  # tree build-folder
    cmake -S "$1" -B "$2/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-w64.cmake" >"$2/build.log" 2>&1 &&
        ninja -C "$2/build" -j "$JOBS" tovi tovi-cli >>"$2/build.log" 2>&1 &&
        bash "$1/tools/release.sh" "$2/build" "$2/release" >>"$2/build.log" 2>&1 || {
        tail -30 "$2/build.log"
        echo "repro: the build in $2 failed"
        exit 1
    }
}
build "$one" "$WORK/one"
build "$two" "$WORK/second-folder"

failed=0
a="$WORK/one"
b="$WORK/second-folder"
zip=$(cd "$a/release" && ls tovi-*.zip)
for f in build/tovi.exe build/tovi-cli.exe "release/$zip"; do
    ha=$(sha256sum <"$a/$f" | cut -d' ' -f1)
    hb=$(sha256sum <"$b/$f" | cut -d' ' -f1)
    if [ "$ha" = "$hb" ]; then
        echo "same:    $ha  $(basename "$f")"
    else
        echo "DIFFER:  $ha / $hb  $(basename "$f")"
        cmp -l "$a/$f" "$b/$f" | head -5
        failed=1
    fi
done

python3 - "$a/build/tovi.exe" "$a/build/tovi-cli.exe" <<'EOF' || failed=1
import struct, sys

def check(path):
    d = open(path, 'rb').read()
    pe = struct.unpack_from('<I', d, 0x3c)[0]
    if d[pe:pe + 4] != b'PE\0\0':
        return ['not a PE file']
    sections, stamp = struct.unpack_from('<HI', d, pe + 6)
    opt_size = struct.unpack_from('<H', d, pe + 20)[0]
    opt = pe + 24
    wanted = struct.unpack_from('<I', d, opt + 64)[0]
    # The PE checksum: 16-bit one's-complement sum without the field, plus the length.
    b = bytearray(d)
    b[opt + 64:opt + 68] = bytes(4)
    if len(b) % 2:
        b += b'\0'
    s = 0
    for (w,) in struct.iter_unpack('<H', b):
        s += w
        s = (s & 0xffff) + (s >> 16)
    s = ((s & 0xffff) + (s >> 16) + len(d)) & 0xffffffff
    faults = []
    if stamp:
        faults.append(f'link time {stamp} in the header')
    if wanted != s:
        faults.append(f'checksum {wanted:#x}, should be {s:#x}')
    rsrc = None
    for i in range(sections):
        at = opt + opt_size + 40 * i
        if d[at:at + 8].rstrip(b'\0') == b'.rsrc':
            rsrc = struct.unpack_from('<I', d, at + 20)[0]
    if rsrc is None:
        faults.append('no resources')
        return faults
    stamps = []
    def walk(at):
        stamps.append(struct.unpack_from('<I', d, rsrc + at + 4)[0])
        named, ids = struct.unpack_from('<HH', d, rsrc + at + 12)
        for k in range(named + ids):
            entry = struct.unpack_from('<I', d, rsrc + at + 16 + 8 * k + 4)[0]
            if entry & 0x80000000:
                walk(entry & 0x7fffffff)
    walk(0)
    if any(stamps):
        faults.append('times in the resource directories')
    if b'V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0' not in d:
        faults.append('no version resource')
    print(f'{path.rsplit("/", 1)[1]}: header time {stamp}, checksum {wanted:#x}'
          f' ({"right" if wanted == s else "wrong"}), times of the {len(stamps)} resource'
          f' directories {sorted(set(stamps))}')
    return faults

bad = 0
for path in sys.argv[1:]:
    for fault in check(path):
        print(f'{path.rsplit("/", 1)[1]}: {fault}')
        bad = 1
sys.exit(bad)
EOF

echo "repro: $(( $(date +%s) - start )) s"
if [ "$failed" -eq 0 ]; then
    echo "repro: the same bytes from two folders"
else
    echo "repro: the builds differ"
fi
exit "$failed"
