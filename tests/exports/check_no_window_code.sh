#!/bin/bash
# The class library carries no window code: no common-controls or drawing import, and none of
# the calls that make dialogs and windows. Usage: check_no_window_code.sh Kestrune.dll
set -euo pipefail
imports=$(x86_64-w64-mingw32-objdump -p "$1")
found=$(grep -Eio 'DLL Name: (COMCTL32|GDI32)[.A-Z]*|\b(CreateDialog[A-Za-z]*|CreateWindowEx[AW]|DialogBox[A-Za-z]*|GetDC)\b' <<<"$imports" | sort -u || true)
if [[ -n $found ]]; then
    echo "window code in $1:"; echo "$found"; exit 1
fi
echo "ok    $1 imports no window code"
