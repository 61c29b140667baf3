#!/bin/bash
# Runs every benchmark program under bench/ and prints one "name: value" line per figure.
# Sets up what it needs in a work dir of its own (default .work-bench at the top of the
# repository, or $KESTRUNE_BENCH_WORK): packages, Wine prefix, an x86_64 build of the
# benchmark programs, and the demo serial lab, which it takes down again when done.
# Progress goes to standard error; standard output carries only the figures.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
export KESTRUNE_WORK="${KESTRUNE_BENCH_WORK:-$ROOT/.work-bench}"
source "$ROOT/tools/common.sh"

bash "$ROOT/tools/setup.sh" >&2 || { log "package setup failed"; exit 1; }
bash "$ROOT/tools/prefix.sh" >&2 || { log "prefix setup failed"; exit 1; }

# Build only what the benchmarks need: the product's core and each bench program.
mkdir -p "$BUILD_X64"
if [[ ! -f "$BUILD_X64/CMakeCache.txt" ]]; then
    cmake -S "$ROOT" -B "$BUILD_X64" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64.cmake" -DKESTRUNE_TESTS=OFF >/dev/null \
        || { log "configure failed"; exit 1; }
fi
cmake -S "$ROOT" -B "$BUILD_X64" >/dev/null 2>&1
programs=()
for src in "$ROOT"/bench/*.cpp; do
    [[ -e $src ]] || continue
    name=$(basename "$src" .cpp)
    if cmake --build "$BUILD_X64" -j2 --target "$name" >"$BUILD_X64/bench-$name.log" 2>&1; then
        [[ $name == helper_* ]] || programs+=("$name")
    else
        log "build of $name failed (see $BUILD_X64/bench-$name.log)"
    fi
done

# A persistent server first, with stdio away from any pipe (Wine's services inherit it).
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$ROOT/tools/wine-run" cmd /c exit </dev/null >/dev/null 2>&1

# The demo lab, unless it is up already in this work dir.
started_lab=0
if [[ -f "$ROOT/lab/serlab.py" ]]; then
    if ! python3 "$ROOT/lab/serlab.py" status 2>/dev/null | head -1 | grep -q '^lab: demo '; then
        log "bringing up the demo lab"
        if python3 "$ROOT/lab/serlab.py" up demo </dev/null >&2 2>&1; then
            started_lab=1
        else
            log "the demo lab did not come up; benchmarks run without it"
        fi
    fi
fi

status=0
for name in "${programs[@]}"; do
    log "running $name"
    out=$(timeout 900 "$ROOT/tools/wine-run" "$BUILD_X64/$name.exe" </dev/null 2>/dev/null) || {
        log "$name ended with status $?"; status=1; }
    printf '%s\n' "$out" | grep -E '^[A-Za-z0-9_.-]+: ' || true
done

if ((started_lab)); then
    python3 "$ROOT/lab/serlab.py" down </dev/null >/dev/null 2>&1 || true
fi
exit $status
