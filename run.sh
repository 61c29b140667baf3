#!/bin/bash
# Sets up what is missing, builds, brings up the demo lab (a Wine machine with virtual
# serial ports) and runs Kestrune's scan over it.
set -euo pipefail
cd "$(dirname "$0")"
source tools/common.sh

bash tools/setup.sh
bash tools/prefix.sh
KESTRUNE_ARCH=i686 bash tools/prefix.sh
bash tools/build.sh

python3 lab/serlab.py up lab/layouts/demo.ini >&2
KESTRUNE_ARCH=i686 python3 lab/serlab.py up lab/layouts/demo.ini >&2
trap 'python3 lab/serlab.py down >/dev/null 2>&1 || true
      KESTRUNE_ARCH=i686 python3 lab/serlab.py down >/dev/null 2>&1 || true' EXIT

echo "== kestrune-scan.exe, x86_64 build (wine64), demo lab =="
tools/wine-run "$BUILD_X64/kestrune-scan.exe" </dev/null
# The product as shipped: the 32-bit build, in the 32-bit world (emulated) over the same layout.
echo "== kestrune-scan.exe, i686 build (the product; 32-bit Wine under qemu), demo lab =="
tools/wine-run "$BUILD_I686/kestrune-scan.exe" </dev/null
# The window: press "Refresh", take a screenshot. Its refresh writes the diagnostic report
# into the program's current folder.
tools/show-window.sh
report="$KESTRUNE_WORK/show/SerialPort.Kestrune"
[[ -f "$report" ]] && echo "report: $report"
