#!/bin/bash
# Sets up, once, the private runner of 32-bit Windows programs: Debian's 32-bit Wine of exactly
# the installed wine64 version (the 32-bit client must speak the host wineserver64's protocol)
# and a fast qemu-i386 from bookworm-backports, both unpacked under $KESTRUNE_RUNNER32. Nothing is
# installed into the system: a private apt configuration with its own state and cache folders
# downloads the packages and dpkg-deb unpacks them into a private root. Then it creates the
# 32-bit Wine prefix. Idempotent: a second run does nothing.
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/apt-steps.sh"

R="$KESTRUNE_RUNNER32"
ROOT="$R/root"
WINE_VERSION=$(dpkg-query -W -f='${Version}' wine64)
STAMP="$R/ready-$WINE_VERSION"

apt_config() {  # dir arch sources...
    local dir=$1 arch=$2; shift 2
    mkdir -p "$dir"/{state/lists/partial,cache/archives/partial,etc/sources.list.d,etc/preferences.d,etc/apt.conf.d}
    : >"$dir/state/status"
    printf '%s\n' "$@" >"$dir/etc/sources.list"
    cat >"$dir/apt.conf" <<CONF
Dir::State "$dir/state";
Dir::State::status "$dir/state/status";
Dir::Cache "$dir/cache";
Dir::Etc "$dir/etc";
Dir::Etc::SourceList "$dir/etc/sources.list";
Dir::Etc::SourceParts "$dir/etc/sources.list.d";
Dir::Etc::Preferences "$dir/etc/preferences";
Dir::Etc::PreferencesParts "$dir/etc/preferences.d";
Dir::Etc::Parts "$dir/etc/apt.conf.d";
Dir::Log "$dir/log";
Debug::NoLocking "true";
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
APT::Install-Recommends "false";
Acquire::Languages "none";
APT::Sandbox::User "root";
CONF
}

if [[ ! -f "$STAMP" ]]; then
    log "setting up the 32-bit runner in $R (Wine $WINE_VERSION, i386)"
    key=/usr/share/keyrings/debian-archive-keyring.gpg
    mirror=${KESTRUNE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
    rm -rf "$ROOT" "$R/qemu-deb"
    # The 32-bit Wine and every library it needs, for an empty i386 system.
    apt_config "$R/apt-i386" i386 \
        "deb [signed-by=$key] $mirror bookworm main" \
        "deb [signed-by=$key] $mirror bookworm-updates main" \
        "deb [signed-by=$key] ${mirror%/debian}/debian-security bookworm-security main"
    export APT_CONFIG="$R/apt-i386/apt.conf"
    apt_update
    apt_fetch install -y --download-only "wine32=$WINE_VERSION" "libwine=$WINE_VERSION" libfreetype6
    mkdir -p "$ROOT"
    for deb in "$R"/apt-i386/cache/archives/*.deb; do dpkg-deb -x "$deb" "$ROOT"; done
    # qemu-i386 of the backports' qemu-user: Debian 12's own qemu 7.2 takes ~46 s per Wine start.
    apt_config "$R/apt-bpo" amd64 "deb [signed-by=$key] $mirror bookworm-backports main"
    export APT_CONFIG="$R/apt-bpo/apt.conf"
    apt_update
    mkdir -p "$R/qemu-deb" "$R/bin"
    (cd "$R/qemu-deb" && apt_fetch download qemu-user:amd64/bookworm-backports)
    dpkg-deb --fsys-tarfile "$R"/qemu-deb/qemu-user_*.deb | tar -x -O ./usr/bin/qemu-i386 >"$R/bin/qemu-i386.tmp"
    chmod +x "$R/bin/qemu-i386.tmp" && mv "$R/bin/qemu-i386.tmp" "$R/bin/qemu-i386"
    rm -rf "$R/qemu-deb"
    unset APT_CONFIG
    # The root's own loader cache, so the host's 32-bit libraries (/lib32) stay out.
    printf '%s\n' /lib/i386-linux-gnu /usr/lib/i386-linux-gnu /usr/lib/i386-linux-gnu/wine/i386-unix \
        >"$ROOT/etc/ld.so.conf"
    ldconfig -r "$ROOT"
    # user32 needs zlib1.dll beside Wine's 32-bit DLLs (c0000135 without it).
    cp -f "$ROOT/usr/i686-w64-mingw32/lib/zlib1.dll" "$ROOT/usr/lib/i386-linux-gnu/wine/i386-windows/"
    # The real loader moves aside: qemu finds a 32-bit program's absolute paths inside the root
    # first, so a child process Wine starts as /usr/lib/wine/wine runs the wrapper below.
    mv "$ROOT/usr/lib/wine/wine" "$ROOT/usr/lib/wine/wine.elf"
    touch "$STAMP"
fi

# The wrapper, named `wine`: Wine starts child processes by running its loader by that name.
cat >"$ROOT/usr/lib/wine/wine.tmp" <<EOF2
#!/bin/sh
# 32-bit Wine under qemu's i386 emulation, served by the host's 64-bit wineserver.
export WINELOADERNOEXEC=1
export WINESERVER="$WINESERVER64"
export WINEARCH=win32
exec "$R/bin/qemu-i386" -L "$ROOT" -0 "$ROOT/usr/lib/wine/wine" "$ROOT/usr/lib/wine/wine.elf" "\$@"
EOF2
chmod +x "$ROOT/usr/lib/wine/wine.tmp"
if cmp -s "$ROOT/usr/lib/wine/wine.tmp" "$ROOT/usr/lib/wine/wine"; then
    rm -f "$ROOT/usr/lib/wine/wine.tmp"
else
    mv "$ROOT/usr/lib/wine/wine.tmp" "$ROOT/usr/lib/wine/wine"
fi
