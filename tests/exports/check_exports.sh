#!/bin/bash
# Checks the export table of the 32-bit product: every function the 64-bit build exports,
# and every name in the expected list, must be exported under its plain name (no @N).
# Further modules: their exports are wanted too. Further headers (.h): every export of the
# 32-bit module must be declared there with the standard calling convention.
# usage: check_exports.sh <i686 module> <x86_64 module> <expected list> [module|header ...]
set -uo pipefail
i686_exe=$1 x64_exe=$2 expected=$3
shift 3
extra_modules=() headers=()
for extra in "$@"; do
    if [[ $extra == *.h ]]; then headers+=("$extra"); else extra_modules+=("$extra"); fi
done

exports_of() {  # objdump prints "[ n] Name" lines in the name pointer table
    objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
        | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\(.*\)$/\1/p' | sort -u
}

[[ -f $i686_exe ]] || { echo "missing $i686_exe"; exit 1; }
objdump -f "$i686_exe" | grep -q 'file format pei-i386' || { echo "$i686_exe is not a 32-bit image"; exit 1; }
mapfile -t have < <(exports_of "$i686_exe")
mapfile -t want < <( { grep -v '^#' "$expected" | sed '/^[[:space:]]*$/d'; exports_of "$x64_exe"
                       for m in "${extra_modules[@]}"; do exports_of "$m"; done; } | sort -u)

status=0
for name in "${have[@]}"; do
    [[ $name == *@* ]] && { echo "decorated export: $name"; status=1; }
done
for name in "${want[@]}"; do
    printf '%s\n' "${have[@]}" | grep -qxF "$name" || { echo "missing export: $name"; status=1; }
done
for header in "${headers[@]}"; do
    for name in "${have[@]}"; do
        grep -qE "WINAPI $name\(" "$header" || { echo "not declared in $header: $name"; status=1; }
    done
done
echo "${#have[@]} exports checked"
exit $status
