#!/bin/bash
# Shows what a user sees: opens Kestrune.exe in a window, presses "Refresh", waits for
# " Scan Complete", saves a PNG screenshot of the window and prints "screenshot: <path>",
# then closes the program.
#   tools/show-window.sh [output.png]        (KESTRUNE_DESKTOP_SIZE=WxH: the desktop, 1280x800)
# The window opens on $DISPLAY when that display answers, otherwise on a private Xvfb.
# Wine draws it on a desktop of its own ("explorer /desktop=...,x11"), so this works
# whatever driver the prefix's running programs use. Needs the x86_64 build (tools/build.sh).
set -euo pipefail
source "$(dirname "$0")/common.sh"

SHOW_DIR="$KESTRUNE_WORK/show"
OUTPUT="${1:-$SHOW_DIR/kestrune-window.png}"
EXE="$BUILD_X64/Kestrune.exe"
HELPER_SRC="$KESTRUNE_ROOT/tests/gui/driver/kestrune_show.cpp"
HELPER="$SHOW_DIR/kestrune-show.exe"
DESKTOP="kestrune-show-$$"
DESKTOP_SIZE="${KESTRUNE_DESKTOP_SIZE:-1280x800}"  # larger for a window at a higher DPI

[[ -f "$EXE" ]] || { log "missing $EXE: run tools/build.sh first"; exit 1; }
mkdir -p "$SHOW_DIR" "$(dirname "$OUTPUT")"

# The helper that works the window from outside, built when missing or out of date.
if [[ ! -f "$HELPER" || "$HELPER_SRC" -nt "$HELPER" || "$(dirname "$HELPER_SRC")/window_driver.h" -nt "$HELPER" ]]; then
    x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -static -o "$HELPER" "$HELPER_SRC" -luser32 -lcomctl32 \
        || { log "cannot build $HELPER"; exit 1; }
fi

XVFB_PID=""
EXPLORER_PID=""
cleanup() {
    [[ -n "$EXPLORER_PID" ]] && kill "$EXPLORER_PID" 2>/dev/null || true
    [[ -n "$XVFB_PID" ]] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

display_works() { [[ -n "${1:-}" ]] && DISPLAY="$1" xwininfo -root >/dev/null 2>&1; }

if display_works "${DISPLAY:-}"; then
    SHOW_DISPLAY="$DISPLAY"
else
    for n in $(seq 90 120); do
        [[ -e "/tmp/.X$n-lock" || -e "/tmp/.X11-unix/X$n" ]] && continue
        Xvfb ":$n" -screen 0 "${DESKTOP_SIZE}x24" -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 50); do display_works ":$n" && break; sleep 0.1; done
        if display_works ":$n"; then SHOW_DISPLAY=":$n"; break; fi
        kill "$XVFB_PID" 2>/dev/null || true; XVFB_PID=""
    done
    [[ -n "${SHOW_DISPLAY:-}" ]] || { log "no display and no Xvfb could start"; exit 1; }
fi
export DISPLAY="$SHOW_DISPLAY"

bash "$KESTRUNE_ROOT/tools/prefix.sh"
# A persistent server whose helpers hold no pipe of ours (see the hang trap in the notes).
"$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
"$KESTRUNE_ROOT/tools/wine-run" cmd /c exit </dev/null >/dev/null 2>&1 || true

# A desktop of our own, drawn by the X11 driver on $DISPLAY.
"$KESTRUNE_ROOT/tools/wine-run" explorer "/desktop=$DESKTOP,$DESKTOP_SIZE,x11" </dev/null >/dev/null 2>&1 &
EXPLORER_PID=$!

cd "$SHOW_DIR"
# Output goes to files: Kestrune.exe inherits the helper's output streams and outlives it,
# so a pipe would not see its end until the program closes.
win_exe="Z:${EXE//\//\\}"
timeout 600 "$KESTRUNE_ROOT/tools/wine-run" "$HELPER" open "$win_exe" "$DESKTOP" \
    </dev/null >"$SHOW_DIR/open.out" 2>"$SHOW_DIR/helper.log" || true
opened="$(tr -d '\r' <"$SHOW_DIR/open.out" | grep '^window:' || true)"
[[ -n "$opened" ]] || { log "the window could not be worked: $(cat "$SHOW_DIR/helper.log")"; exit 1; }
read -r _ pid x y w h <<<"$opened"

# The desktop is one X window; the program's window sits inside it at (x, y).
xid="$(xwininfo -root -tree | awk -v d="$DESKTOP" 'index($0, "\"" d) { print $1; exit }')"
if [[ -n "$xid" ]]; then
    import -window "$xid" -crop "${w}x${h}+${x}+${y}" +repage "$OUTPUT"
else
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$OUTPUT"
fi

timeout 120 "$KESTRUNE_ROOT/tools/wine-run" "$HELPER" close "$pid" "$DESKTOP" \
    </dev/null >"$SHOW_DIR/close.out" 2>>"$SHOW_DIR/helper.log" || true
closed="$(tr -d '\r' <"$SHOW_DIR/close.out")"
[[ "$closed" == "exit: 0" ]] || log "closing the program gave: ${closed:-nothing} ($(cat "$SHOW_DIR/helper.log"))"
timeout 30 tail --pid="$EXPLORER_PID" -f /dev/null || true
EXPLORER_PID=""

echo "screenshot: $OUTPUT"
