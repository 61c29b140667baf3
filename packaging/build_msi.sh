#!/bin/bash
# Builds one Windows installer package from a build folder with wixl (msitools), then adds
# what wixl cannot express with msibuild: the Environment table that puts the installation
# folder on the system PATH, and its two standard actions in the execute sequence; the program
# files' versions from their version resources; the upgrade row that lets a package of the same
# version replace an installed one (packaging/msi_tables.py).
#   packaging/build_msi.sh x64|x86 <build folder> <version> <output.msi>
set -euo pipefail
arch=$1 bindir=$2 version=$3 out=$4
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
case $arch in x64|x86) ;; *) echo "build_msi.sh: arch must be x64 or x86, not '$arch'" >&2; exit 2 ;; esac

tables=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-msi.XXXXXXXX")
trap 'rm -rf "$tables"' EXIT
# wixl looks files up by relative names only: links to both folders.
ln -s "$(cd "$bindir" && pwd)" "$tables/bin"
ln -s "$root" "$tables/source"
(cd "$tables" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D BinDir=bin -D SourceDir=source \
                      -o package.msi "$here/kestrune.wxs")

# PATH, system-wide: '=' set on install, '-' removed on uninstall, '*' the machine's variable;
# "[~];" appends to the value already there.
printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\n%s\t%s\t%s\t%s\n' \
       KestrunePath '=-*PATH' '[~];[INSTALLDIR]' ConsoleProgram >"$tables/Environment.idt"
# The two actions at their standard places (the sequence wixl writes has neither).
msiinfo export "$tables/package.msi" InstallExecuteSequence >"$tables/InstallExecuteSequence.idt"
grep -q '^WriteEnvironmentStrings' "$tables/InstallExecuteSequence.idt" ||
    printf 'RemoveEnvironmentStrings\t\t3300\r\nWriteEnvironmentStrings\t\t5200\r\n' >>"$tables/InstallExecuteSequence.idt"
msiinfo export "$tables/package.msi" File >"$tables/File.idt"
python3 "$here/msi_tables.py" file-versions "$tables/File.idt" "$tables/bin"
msiinfo export "$tables/package.msi" Upgrade >"$tables/Upgrade.idt"
python3 "$here/msi_tables.py" same-version "$tables/Upgrade.idt"
(cd "$tables" && for table in Environment InstallExecuteSequence File Upgrade; do
     msibuild package.msi -i "$table.idt"
 done)
mv -f "$tables/package.msi" "$out"
