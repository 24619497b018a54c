#!/bin/bash
# Builds both configurations: native (core, tests, benches, tovi-cli) into
# build/native and Windows (tovi.exe, tovi-cli.exe, helpers) into build/win.
#   tools/build.sh [native|win|all]
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-all}
JOBS=${JOBS:-$(nproc)}
if [ "$what" = native ] || [ "$what" = all ]; then
    cmake -S "$ROOT" -B "$ROOT/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    ninja -C "$ROOT/build/native" -j "$JOBS"
fi
if [ "$what" = win ] || [ "$what" = all ]; then
    cmake -S "$ROOT" -B "$ROOT/build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" >/dev/null
    ninja -C "$ROOT/build/win" -j "$JOBS"
fi
