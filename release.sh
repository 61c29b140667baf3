#!/bin/bash
# Builds what a Windows user installs, into dist/ (or $KESTRUNE_DIST):
#   Kestrune-<version>-win32.zip, Kestrune-<version>-win64.zip   (unpack and run)
#   Kestrune-<version>-x86.msi,   Kestrune-<version>-x64.msi     (per-machine installers)
# from the i686 and x86_64 builds of .work/ (configured here when missing). The version is the
# CMake project version.
set -euo pipefail
cd "$(dirname "$0")"
source tools/common.sh

bash tools/setup.sh
DIST="${KESTRUNE_DIST:-$KESTRUNE_ROOT/dist}"
mkdir -p "$DIST"

release() {  # cmake-arch build-dir zip-system msi-arch
    local arch=$1 dir=$2 system=$3 msiArch=$4 version
    if [[ ! -f "$dir/CMakeCache.txt" ]]; then
        cmake -S "$KESTRUNE_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
              -DCMAKE_TOOLCHAIN_FILE="$KESTRUNE_ROOT/cmake/toolchain-$arch.cmake" >/dev/null
    fi
    mkdir -p "$dir"
    cmake --build "$dir" -j"$(nproc)" --target Kestrune kestrune-scan KestruneLibrary -- --no-print-directory \
        >"$dir/release.log" 2>&1 || { log "build of $arch failed (see $dir/release.log)"; exit 1; }
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
    [[ -n $version ]] || { log "no project version in $dir/CMakeCache.txt"; exit 1; }
    rm -f "$dir/package/Kestrune-"*.zip
    (cd "$dir" && cpack -G ZIP --config CPackConfig.cmake >>"$dir/release.log" 2>&1) ||
        { log "packing $arch failed (see $dir/release.log)"; exit 1; }
    cp -f "$dir/package/Kestrune-$version-$system.zip" "$DIST/"
    bash packaging/build_msi.sh "$msiArch" "$dir" "$version" "$DIST/Kestrune-$version-$msiArch.msi"
    log "$DIST/Kestrune-$version-$system.zip, $DIST/Kestrune-$version-$msiArch.msi"
}
release i686 "$BUILD_I686" win32 x86
release x86_64 "$BUILD_X64" win64 x64
