#!/bin/bash
# Creates the project's private Wine prefix when it is missing; with KESTRUNE_ARCH=i686 the
# 32-bit prefix of the 32-bit runner (which it sets up first).
# Wine's first program starts the service processes, which inherit its stdio:
# keep every stream on /dev/null so no pipe reader waits for them.
set -euo pipefail
source "$(dirname "$0")/common.sh"

mkdir -p "$KESTRUNE_WORK"
if [[ "${KESTRUNE_ARCH:-x86_64}" == i686 ]]; then
    bash "$KESTRUNE_ROOT/tools/runner-i686.sh"
    export WINEPREFIX="$PREFIX32" WINEARCH=win32
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        log "creating 32-bit Wine prefix $WINEPREFIX"
        # The 32-bit wineboot ends with status 53 here although the prefix is complete.
        "$WINE32" wineboot -i </dev/null >/dev/null 2>&1 || true
        "$WINESERVER64" -w </dev/null >/dev/null 2>&1 || true
        [[ -f "$WINEPREFIX/system.reg" ]] || { log "creating $WINEPREFIX failed"; exit 1; }
    fi
    # user32 needs zlib1.dll in system32 as well.
    zlib="$KESTRUNE_RUNNER32/root/usr/i686-w64-mingw32/lib/zlib1.dll"
    cmp -s "$zlib" "$WINEPREFIX/drive_c/windows/system32/zlib1.dll" ||
        cp -f "$zlib" "$WINEPREFIX/drive_c/windows/system32/zlib1.dll"
    exit 0
fi
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    log "creating Wine prefix $WINEPREFIX"
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1
    "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
fi
