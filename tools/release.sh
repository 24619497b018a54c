#!/bin/bash
# Packs a built Windows release into OUT/tovi-<version>.zip: tovi.exe,
# tovi-cli.exe, README.md, docs/guide-ja.md when there is one, and the
# licences of what the programs carry inside them, all under tovi-<version>/.
# The same files give the same zip: fixed times (SOURCE_DATE_EPOCH, else the
# last commit's), fixed modes, names in order. Prints the SHA-256 figures and
# writes them beside the zip as tovi-<version>.sha256.
#   tools/release.sh [BUILD_DIR [OUT]]    (defaults: build/win, out/release)
# tools/build.sh release builds and then runs this.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/win}
OUT=${2:-$ROOT/out/release}

# The version number lives in resources/version.rc alone.
part() { sed -n "s/^#define TOVI_VERSION_$1 \([0-9][0-9]*\)\s*$/\1/p" "$ROOT/resources/version.rc"; }
version="$(part MAJOR).$(part MINOR).$(part PATCH)"
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    echo "release: no version number in resources/version.rc" >&2
    exit 1
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=""
    [ -n "$SOURCE_DATE_EPOCH" ] || SOURCE_DATE_EPOCH=1704067200
fi

# What goes in: "name in the zip<TAB>file".
list=$(mktemp)
trap 'rm -f "$list"' EXIT
add() {
    if [ ! -f "$2" ]; then
        echo "release: $2 is missing" >&2
        exit 1
    fi
    printf '%s\t%s\n' "$1" "$2" >>"$list"
}
add tovi.exe "$BUILD/tovi.exe"
add tovi-cli.exe "$BUILD/tovi-cli.exe"
add README.md "$ROOT/README.md"
[ -f "$ROOT/docs/guide-ja.md" ] && add docs/guide-ja.md "$ROOT/docs/guide-ja.md"
# The licences, as the Debian packages the parts were built from give them.
DOC=/usr/share/doc
add licenses/mingw-w64.txt "$DOC/mingw-w64-x86-64-dev/copyright"
add licenses/gcc-runtime.txt "$DOC/gcc-mingw-w64-x86-64-posix/copyright"
add licenses/stb.txt "$DOC/libstb-dev/copyright"
add licenses/xxhash.txt "$DOC/libxxhash-dev/copyright"

mkdir -p "$OUT"
zip="$OUT/tovi-$version.zip"
python3 - "$list" "$zip" "tovi-$version" "$SOURCE_DATE_EPOCH" <<'EOF'
import os, sys, time, zipfile

listing, target, top, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
files = sorted(line.rstrip('\n').split('\t') for line in open(listing, encoding='utf-8') if line.strip())
# Zip times are local-free calendar fields from 1980 on, two-second steps.
stamp = time.gmtime(max(epoch, 315532800))
date_time = stamp[:5] + (stamp[5] - stamp[5] % 2,)

index = f"""The licences of the parts inside tovi.exe and tovi-cli.exe
============================================================

The programs are linked statically. Besides Tovi's own code they contain:

mingw-w64.txt    The MinGW-w64 runtime (start-up code, the C runtime's glue
                 to msvcrt.dll) and winpthreads, the threads under std::thread
                 and std::mutex. See the parts for mingw-w64-crt and
                 mingw-w64-libraries/winpthreads.
gcc-runtime.txt  libstdc++ and libgcc of GCC: GPL version 3 with the GCC
                 Runtime Library Exception, both included in the file. The
                 exception covers programs compiled with GCC, such as these.
stb.txt          stb_image, stb_image_write and stb_truetype of stb: public
                 domain or MIT (Expat), at your choice.
xxhash.txt       xxHash (xxhash.h): BSD 2-clause. The GPL in the file is
                 xxhsum's, a separate tool that is not in these programs.

Each file is the copyright file of the Debian package the part was built from.
"""

def entry(name):
    info = zipfile.ZipInfo(f"{top}/{name}", date_time)
    info.create_system = 3
    info.external_attr = 0o100644 << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    return info

entries = [(name, open(path, 'rb').read()) for name, path in files]
entries.append(('licenses/README.txt', index.encode('utf-8')))
entries.sort()
part = target + '.part'
with zipfile.ZipFile(part, 'w') as z:
    for name, data in entries:
        z.writestr(entry(name), data, compresslevel=9)
os.replace(part, target)
EOF

(cd "$BUILD" && sha256sum tovi.exe tovi-cli.exe) >"$OUT/tovi-$version.sha256"
(cd "$OUT" && sha256sum "tovi-$version.zip") >>"$OUT/tovi-$version.sha256"
sed 's/^/SHA-256 /' "$OUT/tovi-$version.sha256"
echo "release: $zip"
