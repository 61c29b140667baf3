#!/bin/bash
# Creates the project's private Wine prefix when it is missing; with KESTRUNE_ARCH=i686 the
# 32-bit prefix of the 32-bit runner (which it sets up first).
# Wine's first program starts the service processes, which inherit its stdio:
# keep every stream on /dev/null so no pipe reader waits for them.
set -euo pipefail
source "$(dirname "$0")/common.sh"

# wineboot, bounded: it takes 15 s under the 32-bit emulation and a few seconds natively. One
# that hangs is killed with its server, its half-made prefix removed, and it is tried once more.
create_prefix() {  # WINE WINESERVER
    local try
    for try in 1 2; do
        timeout -k 5 300 "$1" wineboot -i </dev/null >/dev/null 2>&1 || true
        if ! timeout 120 "$2" -w </dev/null >/dev/null 2>&1; then
            "$2" -k </dev/null >/dev/null 2>&1 || true
            log "wineboot in $WINEPREFIX did not finish in 7 minutes (try $try)"
            rm -rf "$WINEPREFIX"
            continue
        fi
        [[ -f "$WINEPREFIX/system.reg" ]] && return 0
        log "wineboot left no registry in $WINEPREFIX (try $try)"
        rm -rf "$WINEPREFIX"
    done
    log "creating $WINEPREFIX failed"
    exit 1
}

mkdir -p "$KESTRUNE_WORK"
if [[ "${KESTRUNE_ARCH:-x86_64}" == i686 ]]; then
    bash "$KESTRUNE_ROOT/tools/runner-i686.sh"
    export WINEPREFIX="$PREFIX32" WINEARCH=win32
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        log "creating 32-bit Wine prefix $WINEPREFIX"
        # The 32-bit wineboot ends with status 53 here although the prefix is complete.
        create_prefix "$WINE32" "$WINESERVER64"
    fi
    # user32 needs zlib1.dll in system32 as well.
    zlib="$KESTRUNE_RUNNER32/root/usr/i686-w64-mingw32/lib/zlib1.dll"
    cmp -s "$zlib" "$WINEPREFIX/drive_c/windows/system32/zlib1.dll" ||
        cp -f "$zlib" "$WINEPREFIX/drive_c/windows/system32/zlib1.dll"
    exit 0
fi
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    log "creating Wine prefix $WINEPREFIX"
    create_prefix "$WINE" "$WINESERVER"
fi
