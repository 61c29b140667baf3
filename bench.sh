#!/bin/bash
# Runs every benchmark program under bench/ and prints one "name: value" line per figure.
# Sets up what it needs in a work dir of its own (default .work-bench at the top of the
# repository, or $KESTRUNE_BENCH_WORK): packages, Wine prefix, an x86_64 build of the
# benchmark programs, and the demo serial lab, which it takes down again when done.
# Progress goes to standard error; standard output carries only the figures.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
export KESTRUNE_WORK="${KESTRUNE_BENCH_WORK:-$ROOT/.work-bench}"
# The 32-bit runner (1.4 GB) is shared with the repository's work dir.
export KESTRUNE_RUNNER32="${KESTRUNE_RUNNER32:-$ROOT/.work/runner-i686}"
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

# The product (i686, emulated 32-bit Wine) against the x86_64 build: one console scan of the
# demo layout each, median of five runs after two warm-up runs, in the same lab layout.
scan_seconds() {  # exe -> median wall seconds of five scans
    local t times=() TIMEFORMAT=%R
    "$ROOT/tools/wine-run" "$1" </dev/null >/dev/null 2>&1
    "$ROOT/tools/wine-run" "$1" </dev/null >/dev/null 2>&1
    for _ in 1 2 3 4 5; do
        t=$( { time "$ROOT/tools/wine-run" "$1" </dev/null >/dev/null 2>/dev/null; } 2>&1 )
        times+=("$t")
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}
if python3 "$ROOT/lab/serlab.py" status 2>/dev/null | head -1 | grep -q '^lab: demo ' &&
   KESTRUNE_ARCH=i686 bash "$ROOT/tools/prefix.sh" >&2; then
    mkdir -p "$BUILD_I686"
    [[ -f "$BUILD_I686/CMakeCache.txt" ]] ||
        cmake -S "$ROOT" -B "$BUILD_I686" -DCMAKE_BUILD_TYPE=Release \
              -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686.cmake" -DKESTRUNE_TESTS=OFF >/dev/null
    if cmake --build "$BUILD_I686" -j2 --target kestrune-scan >"$BUILD_I686/bench-scan.log" 2>&1 &&
       cmake --build "$BUILD_X64" -j2 --target kestrune-scan >"$BUILD_X64/bench-scan.log" 2>&1 &&
       KESTRUNE_ARCH=i686 python3 "$ROOT/lab/serlab.py" up demo </dev/null >&2 2>&1; then
        log "timing the console scan in both worlds"
        s64=$(scan_seconds "$BUILD_X64/kestrune-scan.exe")
        s32=$(scan_seconds "$BUILD_I686/kestrune-scan.exe")
        KESTRUNE_ARCH=i686 python3 "$ROOT/lab/serlab.py" down </dev/null >/dev/null 2>&1 || true
        echo "scan_seconds_x86_64: $s64"
        echo "scan_seconds_i686: $s32"
        awk -v a="$s32" -v b="$s64" 'BEGIN { if (b > 0) printf "i686_scan_over_x86_64: %.2f\n", a / b }'
    else
        log "the i686 scan could not be timed"; status=1
    fi
fi

# The fuzz run in the 32-bit world: the emulated i686 Kestrune.dll, 10,000 records (the
# x86_64 run above takes 100,000).
if KESTRUNE_ARCH=i686 bash "$ROOT/tools/prefix.sh" >&2; then
    mkdir -p "$BUILD_I686"
    [[ -f "$BUILD_I686/CMakeCache.txt" ]] ||
        cmake -S "$ROOT" -B "$BUILD_I686" -DCMAKE_BUILD_TYPE=Release \
              -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686.cmake" -DKESTRUNE_TESTS=OFF >/dev/null
    if cmake --build "$BUILD_I686" -j2 --target fuzz_exports >"$BUILD_I686/bench-fuzz.log" 2>&1; then
        log "running fuzz_exports (i686)"
        out=$(timeout 3600 "$ROOT/tools/wine-run" "$BUILD_I686/fuzz_exports.exe" </dev/null 2>/dev/null) || {
            log "fuzz_exports (i686) ended with status $?"; status=1; }
        printf '%s\n' "$out" | grep -E '^[A-Za-z0-9_.-]+: ' || true
    else
        log "build of fuzz_exports (i686) failed (see $BUILD_I686/bench-fuzz.log)"; status=1
    fi
fi

# Slow adapters and a stalled port, over 64 ports (bench/scan_drivers.cpp); the demo lab
# comes back afterwards when it was up before.
if [[ -f "$BUILD_X64/scan_drivers.exe" ]] &&
   python3 "$ROOT/lab/serlab.py" up bench64 </dev/null >&2 2>&1; then
    log "running scan_drivers over 64 ports"
    timeout 900 "$ROOT/tools/wine-run" "$BUILD_X64/scan_drivers.exe" </dev/null 2>/dev/null |
        grep -E '^[A-Za-z0-9_.-]+: ' || status=1
    if ((started_lab)); then
        python3 "$ROOT/lab/serlab.py" down </dev/null >/dev/null 2>&1 || true
    else
        python3 "$ROOT/lab/serlab.py" up demo </dev/null >/dev/null 2>&1 || true
    fi
    started_lab=0
fi

# The x64 installer under wine64: a silent install and uninstall in the bench's prefix, median
# of three rounds (seconds of wall time, msiexec's start included).
msi_rounds() {  # package -> "install-median uninstall-median"
    local i t ins=() uns=() TIMEFORMAT=%R win
    win="Z:$(echo "$1" | tr / '\\')"
    for i in 1 2 3; do
        t=$( { time "$ROOT/tools/wine-run" msiexec /i "$win" /qn </dev/null >/dev/null 2>&1; } 2>&1 ) || return 1
        ins+=("$t")
        t=$( { time "$ROOT/tools/wine-run" msiexec /x "$win" /qn </dev/null >/dev/null 2>&1; } 2>&1 ) || return 1
        uns+=("$t")
    done
    echo "$(printf '%s\n' "${ins[@]}" | sort -n | sed -n 2p) $(printf '%s\n' "${uns[@]}" | sort -n | sed -n 2p)"
}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_X64/CMakeCache.txt")
package="$BUILD_X64/bench-Kestrune-$version-x64.msi"
if cmake --build "$BUILD_X64" -j2 --target Kestrune kestrune-scan KestruneLibrary >"$BUILD_X64/bench-msi.log" 2>&1 &&
   bash "$ROOT/packaging/build_msi.sh" x64 "$BUILD_X64" "$version" "$package" >>"$BUILD_X64/bench-msi.log" 2>&1 &&
   times=$(msi_rounds "$package"); then
    echo "msi_install_s: ${times% *}"
    echo "msi_uninstall_s: ${times#* }"
else
    log "the installer could not be timed (see $BUILD_X64/bench-msi.log)"; status=1
fi

if ((started_lab)); then
    python3 "$ROOT/lab/serlab.py" down </dev/null >/dev/null 2>&1 || true
fi
exit $status
