#!/bin/bash
# Configures and builds both Windows targets: i686 (the product) and x86_64 (what runs here).
set -euo pipefail
source "$(dirname "$0")/common.sh"

build() {  # arch dir extra-args...
    local arch=$1 dir=$2; shift 2
    local want
    for want in "$@"; do  # a cache made with other options is configured again
        [[ $want == -D*=* ]] || continue
        want=${want#-D}
        grep -q "^${want%%=*}:[A-Z]*=${want#*=}\$" "$dir/CMakeCache.txt" 2>/dev/null || rm -f "$dir/CMakeCache.txt"
    done
    if [[ ! -f "$dir/CMakeCache.txt" ]]; then
        cmake -S "$KESTRUNE_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
              -DCMAKE_TOOLCHAIN_FILE="$KESTRUNE_ROOT/cmake/toolchain-$arch.cmake" "$@" >/dev/null
    fi
    cmake --build "$dir" -j"$(nproc)" -- --no-print-directory >"$dir/build.log" 2>&1 || {
        grep -E 'error|Error' -A3 "$dir/build.log" | head -60 >&2; log "build of $arch failed (see $dir/build.log)"; exit 1; }
}
mkdir -p "$BUILD_I686" "$BUILD_X64"
# The product's build runs its windowless tests too, in the 32-bit world (tests/CMakeLists.txt).
build i686 "$BUILD_I686" -DKESTRUNE_TESTS=ON
build x86_64 "$BUILD_X64" -DKESTRUNE_TESTS=ON -DKESTRUNE_I686_DIR="$BUILD_I686"
