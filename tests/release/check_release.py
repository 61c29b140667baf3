#!/usr/bin/env python3
"""What ./release.sh wrote into dist/, read back without installing anything:
  - one version everywhere: the CMake project version of both builds, the package file names,
    the programs' and the library's version resources, the installers' ProductVersion,
    `kestrune-scan --version` and the "kestrune" field of its JSON output;
  - each ZIP holds exactly the user's files in one folder, with programs of its build's machine;
  - each installer's tables (msiinfo export): per machine, the right Program Files, 64-bit
    components in the x64 package, the class, ProgIDs, type library and interface as registry
    entries (no self-registration, no custom action runs code), the PATH entry and its actions,
    the Start-menu shortcut, a fixed upgrade code that replaces older versions.

usage: check_release.py DIST BUILD_I686 BUILD_X64 WINE_RUN
"""
import json
import os
import re
import struct
import subprocess
import sys
import zipfile

DIST, BUILD_I686, BUILD_X64, WINE_RUN = sys.argv[1:5]
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def project_version(build):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", f.read(), re.M).group(1)


def pe_machine(data):
    offset = struct.unpack_from("<I", data, 60)[0]
    return struct.unpack_from("<H", data, offset + 4)[0]


def version_resource(data):
    """(fixed file version, fixed product version, FileVersion text, ProductVersion text)."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls, pms, pls = struct.unpack_from("<IIII", data, at + 8)
    fixed = lambda hi, lo: f"{hi >> 16}.{hi & 0xFFFF}.{lo >> 16}.{lo & 0xFFFF}"

    def text(name):
        key = (name + "\0").encode("utf-16le")
        start = data.find(key, at)
        if start < 0:
            return None
        start += len(key)
        start += (-start) % 4  # values start on a 32-bit boundary
        end = data.find(b"\0\0", start)
        while end >= 0 and (end - start) % 2:
            end = data.find(b"\0\0", end + 1)
        return data[start:end].decode("utf-16le")
    return fixed(ms, ls), fixed(pms, pls), text("FileVersion"), text("ProductVersion")


def msi_table(package, table):
    out = subprocess.run(["msiinfo", "export", package, table], capture_output=True, text=True).stdout
    lines = [line.rstrip("\r") for line in out.splitlines()]
    columns = lines[0].split("\t") if lines else []
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


version = project_version(BUILD_X64)
check(project_version(BUILD_I686) == version, f"both builds have the project version {version}")
check(re.fullmatch(r"[0-9]+\.[0-9]+\.[0-9]+", version) is not None, f"{version} is major.minor.patch")
expected_dist = {f"Kestrune-{version}-{s}" for s in ("win32.zip", "win64.zip", "x86.msi", "x64.msi")}
present = {f for f in os.listdir(DIST) if f.startswith("Kestrune-")}
check(expected_dist <= present, f"dist/ holds {sorted(expected_dist)} (has {sorted(present)})")

USER_FILES = {"Kestrune.exe", "kestrune-scan.exe", "Kestrune.dll", "kestrune.h", "Kestrune.lib", "README.md",
              "LICENSE", "docs/kestrune-scan.schema.json", "docs/screenshot.png", "docs/examples/list_ports.c"}
for system, machine in (("win32", 0x14C), ("win64", 0x8664)):
    name = os.path.join(DIST, f"Kestrune-{version}-{system}.zip")
    folder = f"Kestrune-{version}-{system}/"
    with zipfile.ZipFile(name) as archive:
        files = {n for n in archive.namelist() if not n.endswith("/")}
        check(all(n.startswith(folder) for n in files), f"{system}.zip unpacks into {folder}")
        inside = {n[len(folder):] for n in files}
        check(inside == USER_FILES, f"{system}.zip holds exactly the user's files "
              f"(extra {sorted(inside - USER_FILES)}, missing {sorted(USER_FILES - inside)})")
        for program in ("Kestrune.exe", "kestrune-scan.exe", "Kestrune.dll"):
            if folder + program not in files:
                continue
            data = archive.read(folder + program)
            check(pe_machine(data) == machine, f"{system}.zip's {program} is built for machine {machine:#x}")
            resource = version_resource(data)
            check(resource == (version + ".0", version + ".0", version, version),
                  f"{system}.zip's {program} version resource says {version}: {resource}")
        check("MIT License" in archive.read(folder + "LICENSE").decode(), f"{system}.zip's LICENSE is MIT's")
        schema = json.loads(archive.read(folder + "docs/kestrune-scan.schema.json"))
        check(schema.get("$schema", "").endswith("2020-12/schema"), f"{system}.zip's schema is draft 2020-12")

CLSID = "{8B5A1D8E-9C35-4FF0-BB8A-9633847B92F2}"
LIBID = "{B0DD5ADE-F204-4520-ACB6-E27BEA911F8F}"
IID = "{3EA7887C-22B9-4371-917E-423E4507FD7A}"
# (root, key, name, value) rows each installer must write; root 0 is HKEY_CLASSES_ROOT.
def class_rows(platform):
    return [("0", f"CLSID\\{CLSID}", "", "CLASSSERIALPORT"),
            ("0", f"CLSID\\{CLSID}\\InprocServer32", "", "[#KestruneDll]"),
            ("0", f"CLSID\\{CLSID}\\InprocServer32", "ThreadingModel", "Apartment"),
            ("0", f"CLSID\\{CLSID}\\ProgID", "", "Kestrune.SerialPort.1"),
            ("0", f"CLSID\\{CLSID}\\VersionIndependentProgID", "", "Kestrune.SerialPort"),
            ("0", f"CLSID\\{CLSID}\\TypeLib", "", LIBID),
            ("0", "Kestrune.SerialPort\\CLSID", "", CLSID),
            ("0", "Kestrune.SerialPort\\CurVer", "", "Kestrune.SerialPort.1"),
            ("0", "Kestrune.SerialPort.1\\CLSID", "", CLSID),
            ("0", f"TypeLib\\{LIBID}\\1.0\\409\\{platform}", "", "[#KestruneDll]"),
            ("0", f"Interface\\{IID}\\ProxyStubClsid32", "", "{00020424-0000-0000-C000-000000000046}"),
            ("0", f"Interface\\{IID}\\TypeLib", "", LIBID)]


UPGRADE_CODES = {"x86": "{7A1E5F3B-0C2D-4E8F-9A6B-1D3C5E7F9A20}", "x64": "{C488AC40-1228-44A0-8446-7CC4A57CE2FF}"}
for arch, template, folder, platform in (("x86", "Intel;1033", "ProgramFilesFolder", "win32"),
                                         ("x64", "x64;1033", "ProgramFiles64Folder", "win64")):
    package = os.path.join(DIST, f"Kestrune-{version}-{arch}.msi")
    info = subprocess.run(["msiinfo", "suminfo", package], capture_output=True, text=True).stdout
    check(f"Template: {template}" in info, f"{arch}.msi is a {template} package")
    properties = {r["Property"]: r["Value"] for r in msi_table(package, "Property")}
    check(properties.get("ProductVersion") == version, f"{arch}.msi's ProductVersion is {version}")
    check(properties.get("ALLUSERS") == "1", f"{arch}.msi installs per machine")
    check(properties.get("UpgradeCode") == UPGRADE_CODES[arch], f"{arch}.msi's upgrade code is the fixed one")
    directories = {r["Directory"]: r for r in msi_table(package, "Directory")}
    check(directories.get("INSTALLDIR", {}).get("Directory_Parent") == folder and
          directories["INSTALLDIR"]["DefaultDir"].endswith("Kestrune"), f"{arch}.msi installs into {folder}\\Kestrune")
    components = msi_table(package, "Component")
    want64 = arch == "x64"
    check(components and all(bool(int(c["Attributes"]) & 256) == want64 for c in components),
          f"{arch}.msi's components are {'64' if want64 else '32'}-bit")
    registry = {(r["Root"], r["Key"], r["Name"], r["Value"]) for r in msi_table(package, "Registry")}
    missing = [row for row in class_rows(platform) if row not in registry]
    check(not missing, f"{arch}.msi writes the class, ProgIDs, type library and interface (missing {missing})")
    check(not msi_table(package, "SelfReg") and not msi_table(package, "CustomAction"),
          f"{arch}.msi runs no code of its own (no SelfReg, no CustomAction)")
    environment = msi_table(package, "Environment")
    check([(e["Name"], e["Value"], e["Component_"]) for e in environment] ==
          [("=-*PATH", "[~];[INSTALLDIR]", "ConsoleProgram")], f"{arch}.msi appends its folder to PATH: {environment}")
    actions = {r["Action"] for r in msi_table(package, "InstallExecuteSequence")}
    check({"WriteEnvironmentStrings", "RemoveEnvironmentStrings", "RemoveExistingProducts",
           "WriteRegistryValues", "RemoveRegistryValues"} <= actions, f"{arch}.msi's sequence has the actions")
    shortcuts = msi_table(package, "Shortcut")
    check([(s["Directory_"], s["Target"]) for s in shortcuts] == [("ProgramMenuFolder", "[#KestruneExe]")],
          f"{arch}.msi puts one shortcut to Kestrune.exe into the Start menu")
    # Started from the Start menu, the window writes its report where a user may write.
    check([s["WkDir"] for s in shortcuts] == ["PersonalFolder"], f"{arch}.msi's shortcut starts in Documents")
    upgrades = msi_table(package, "Upgrade")
    check(any(u["UpgradeCode"] == UPGRADE_CODES[arch] and u["VersionMax"] == version for u in upgrades),
          f"{arch}.msi replaces older versions of its upgrade code: {upgrades}")

scan = os.path.join(BUILD_X64, "kestrune-scan.exe")
shown = subprocess.run([WINE_RUN, scan, "--version"], stdin=subprocess.DEVNULL, capture_output=True,
                       text=True, timeout=120).stdout.strip()
check(shown == f"kestrune-scan {version}", f"kestrune-scan --version says {shown!r}")
listing = subprocess.run([WINE_RUN, scan, "--list", "--json"], stdin=subprocess.DEVNULL, capture_output=True,
                         text=True, timeout=120).stdout
check(json.loads(listing).get("kestrune") == version, f"the JSON output's kestrune field is {version}")

print(f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
