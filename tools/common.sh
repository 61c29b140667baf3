# Shared settings of the project's scripts. Source it; do not run it.
KESTRUNE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KESTRUNE_WORK="${KESTRUNE_WORK:-$KESTRUNE_ROOT/.work}"
export KESTRUNE_ROOT KESTRUNE_WORK
export WINEPREFIX="$KESTRUNE_WORK/prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
BUILD_X64="$KESTRUNE_WORK/build-x86_64"
BUILD_I686="$KESTRUNE_WORK/build-i686"
# The 32-bit world: Wine for i386 under qemu (tools/runner-i686.sh), its own prefix, the host's server.
KESTRUNE_RUNNER32="${KESTRUNE_RUNNER32:-$KESTRUNE_WORK/runner-i686}"
export KESTRUNE_RUNNER32
WINE32="$KESTRUNE_RUNNER32/root/usr/lib/wine/wine"
WINESERVER64=/usr/lib/wine/wineserver64
PREFIX32="$KESTRUNE_WORK/prefix-i686"

log() { printf '[kestrune] %s\n' "$*" >&2; }
