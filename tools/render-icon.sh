#!/bin/bash
# Renders the programs' icon, app/icon/kestrune.ico, from its two drawings: kestrune-16.svg
# (drawn on a 16-pixel grid) for 16 px, kestrune.svg for 20, 24, 32, 48 and 256 px (20 and 24:
# the caption's small icon at 125 % and 150 %). The small sizes are
# stored as 32-bit bitmaps with alpha, 256 px as PNG, the way Windows Vista and later read them.
# Run it after changing a drawing and commit the .ico: the build takes the .ico as it is, so
# building needs neither tool (rsvg-convert from librsvg2-bin, icotool from icoutils).
set -euo pipefail
source "$(dirname "$0")/common.sh"

ICON_DIR="$KESTRUNE_ROOT/app/icon"
for tool in rsvg-convert icotool; do
    command -v "$tool" >/dev/null || { log "$tool is missing: run tools/setup.sh"; exit 1; }
done
frames=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-icon.XXXXXXXX")
trap 'rm -rf "$frames"' EXIT

rsvg-convert -w 16 -h 16 "$ICON_DIR/kestrune-16.svg" -o "$frames/16.png"
for size in 20 24 32 48 256; do
    rsvg-convert -w "$size" -h "$size" "$ICON_DIR/kestrune.svg" -o "$frames/$size.png"
done
icotool -c -o "$frames/kestrune.ico" "$frames/16.png" "$frames/20.png" "$frames/24.png" "$frames/32.png" \
    "$frames/48.png" --raw="$frames/256.png"
mv -f "$frames/kestrune.ico" "$ICON_DIR/kestrune.ico"
icotool -l "$ICON_DIR/kestrune.ico"
