#!/bin/bash
# Sets up what is missing (packages, Wine prefix), builds both Windows targets, brings up
# the serial lab's test layout and runs every test. Extra arguments go to ctest, e.g.
#   ./test.sh -R Discovery
set -euo pipefail
cd "$(dirname "$0")"
source tools/common.sh

bash tools/setup.sh
bash tools/prefix.sh
bash tools/build.sh

python3 lab/serlab.py up lab/layouts/test.ini
trap 'python3 lab/serlab.py down >/dev/null 2>&1 || true' EXIT

ctest --test-dir "$BUILD_X64" --output-on-failure --timeout 600 "$@"

# The hardware-identity tests once more over the identity layout: an on-board port, a USB
# adapter, a phantom adapter still reserving COM7 and a stale reservation of COM9.
python3 lab/serlab.py up lab/layouts/ident.ini
ctest --test-dir "$BUILD_X64" --output-on-failure --timeout 600 -L '^ident$' "$@"
