#!/bin/bash
# Creates the project's private Wine prefix when it is missing.
# Wine's first program starts the service processes, which inherit its stdio:
# keep every stream on /dev/null so no pipe reader waits for them.
set -euo pipefail
source "$(dirname "$0")/common.sh"

mkdir -p "$KESTRUNE_WORK"
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    log "creating Wine prefix $WINEPREFIX"
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1
    "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
fi
