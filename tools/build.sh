#!/bin/bash
# Builds both configurations: native (core, tests, benches, tovi-cli) into
# build/native and Windows (tovi.exe, tovi-cli.exe, helpers) into build/win;
# 'release' builds the Windows one and packs out/release/tovi-<version>.zip.
#   tools/build.sh [native|win|all|release]
# The Windows build gives the same bytes from the same tree wherever it is
# built (tools/repro_check.sh checks it); it prints the programs' SHA-256.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-all}
case $what in
    native | win | all | release) ;;
    *) echo "usage: tools/build.sh [native|win|all|release]" >&2; exit 2 ;;
esac
JOBS=${JOBS:-$(nproc)}
# The time the build stands for: the last commit's, or a fixed one outside git.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=""
    [ -n "$SOURCE_DATE_EPOCH" ] || SOURCE_DATE_EPOCH=1704067200
fi
export SOURCE_DATE_EPOCH
if [ "$what" = native ] || [ "$what" = all ]; then
    cmake -S "$ROOT" -B "$ROOT/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    ninja -C "$ROOT/build/native" -j "$JOBS"
fi
if [ "$what" = win ] || [ "$what" = all ] || [ "$what" = release ]; then
    cmake -S "$ROOT" -B "$ROOT/build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" >/dev/null
    ninja -C "$ROOT/build/win" -j "$JOBS"
    if [ "$what" = release ]; then
        bash "$ROOT/tools/release.sh" "$ROOT/build/win" "$ROOT/out/release"
    else
        (cd "$ROOT/build/win" && sha256sum tovi.exe tovi-cli.exe | sed 's/^/SHA-256 /')
    fi
fi
