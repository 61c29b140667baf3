#!/bin/bash
# Installs the Debian packages the project needs, once. Idempotent and quiet when all are present.
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/apt-steps.sh"

PACKAGES=(wine64 xvfb g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 libwine-dev cmake googletest socat
          gcc make python3 imagemagick x11-utils gcc-i686-linux-gnu
          nlohmann-json3-dev libcli11-dev
          wixl msitools python3-jsonschema zip unzip
          icoutils librsvg2-bin)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    log "installing: ${missing[*]}"
    [[ $(id -u) -eq 0 ]] || APT_CMD=(sudo DEBIAN_FRONTEND=noninteractive apt-get)
    apt_update
    apt_fetch install -y "${missing[@]}"
fi
