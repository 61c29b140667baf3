#!/usr/bin/env python3
"""What ./release.sh wrote into dist/, read back without installing anything:
  - one version everywhere: the CMake project version of both builds, the package file names,
    the programs' and the library's version resources, the installers' ProductVersion,
    `kestrune-scan --version` and the "kestrune" field of its JSON output;
  - each ZIP holds exactly the user's files in one folder, with programs of its build's machine;
    both programs carry the icon at every size and the manifest (wrestool, icotool);
  - each installer's tables (msiinfo export): per machine, the right Program Files, 64-bit
    components in the x64 package, the class, ProgIDs, type library and interface as registry
    entries (no self-registration, no custom action runs code), the PATH entry and its actions,
    the Start-menu shortcut, a fixed upgrade code that replaces older versions and the same
    version, the icon and the Apps & features properties, File.Version from the programs'
    version resources; the keys both builds share in one component, the same in both packages.

usage: check_release.py DIST BUILD_I686 BUILD_X64 WINE_RUN
"""
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zipfile

from release_checks import CLSID, IID, LIBID, check, finish

DIST, BUILD_I686, BUILD_X64, WINE_RUN = sys.argv[1:5]


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
    # A table with binary columns (Icon) is written with its streams into the current folder.
    with tempfile.TemporaryDirectory() as streams:
        out = subprocess.run(["msiinfo", "export", os.path.abspath(package), table], capture_output=True, text=True,
                             cwd=streams).stdout
    lines = [line.rstrip("\r") for line in out.splitlines()]
    columns = lines[0].split("\t") if lines else []
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def program_resources(data):
    """(icon sizes, manifest root or None) of a PE file, read with wrestool and icotool."""
    with tempfile.TemporaryDirectory() as folder:
        program = os.path.join(folder, "program")
        with open(program, "wb") as f:
            f.write(data)
        icon = os.path.join(folder, "icon.ico")
        subprocess.run(["wrestool", "-x", "-t14", "-n1", "-o", icon, program], capture_output=True)
        listing = subprocess.run(["icotool", "-l", icon], capture_output=True, text=True).stdout \
            if os.path.isfile(icon) else ""
        manifest = subprocess.run(["wrestool", "-x", "--raw", "-t24", program], capture_output=True).stdout
    sizes = {int(w) for w in re.findall(r"--width=(\d+)", listing)}
    return sizes, ElementTree.fromstring(manifest) if manifest.strip() else None


V1, V3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
# (what, element path, attribute or None for the text, expected value)
MANIFEST_ENTRIES = [
    ("asInvoker", f".//{V3}requestedExecutionLevel", "level", "asInvoker"),
    ("Common Controls 6", f".//{V1}dependentAssembly/{V1}assemblyIdentity", "name", "Microsoft.Windows.Common-Controls"),
    ("Common Controls 6", f".//{V1}dependentAssembly/{V1}assemblyIdentity", "version", "6.0.0.0"),
    ("per-monitor DPI v2", f".//{V3}windowsSettings/{SETTINGS_2016}dpiAwareness", None, "PerMonitorV2, PerMonitor"),
    ("the older DPI fallback", f".//{V3}windowsSettings/{SETTINGS_2005}dpiAware", None, "true/pm"),
]
SUPPORTED_OS = {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


def check_program_resources(where, data):
    sizes, manifest = program_resources(data)
    check({16, 32, 48, 256} <= sizes, f"{where} carries the icon at 16, 32, 48 and 256 px: {sorted(sizes)}")
    check(manifest is not None, f"{where} carries a manifest")
    if manifest is None:
        return
    for what, path, attribute, expected in MANIFEST_ENTRIES:
        found = [(e.get(attribute) if attribute else (e.text or "").strip()) for e in manifest.findall(path)]
        check(expected in found, f"{where}'s manifest declares {what}: {found}")
    listed = {e.get("Id") for e in manifest.findall(f".//{COMPATIBILITY}supportedOS")}
    check(SUPPORTED_OS <= listed, f"{where}'s manifest lists Windows 7 to 11: {sorted(listed)}")


version = project_version(BUILD_X64)
check(project_version(BUILD_I686) == version, f"both builds have the project version {version}")
check(re.fullmatch(r"[0-9]+\.[0-9]+\.[0-9]+", version) is not None, f"{version} is major.minor.patch")
expected_dist = {f"Kestrune-{version}-{s}" for s in ("win32.zip", "win64.zip", "x86.msi", "x64.msi")}
present = {f for f in os.listdir(DIST) if f.startswith("Kestrune-")}
check(expected_dist <= present, f"dist/ holds {sorted(expected_dist)} (has {sorted(present)})")

USER_FILES = {"Kestrune.exe", "kestrune-scan.exe", "Kestrune.dll", "kestrune.h", "Kestrune.lib", "README.txt",
              "LICENSE.txt", "docs/kestrune-scan.schema.json", "docs/screenshot.png", "docs/examples/list_ports.c"}
PROGRAMS = ("Kestrune.exe", "kestrune-scan.exe", "Kestrune.dll")
file_versions = {}  # (zip system, program): its fixed file version
for system, machine in (("win32", 0x14C), ("win64", 0x8664)):
    name = os.path.join(DIST, f"Kestrune-{version}-{system}.zip")
    folder = f"Kestrune-{version}-{system}/"
    with zipfile.ZipFile(name) as archive:
        files = {n for n in archive.namelist() if not n.endswith("/")}
        check(all(n.startswith(folder) for n in files), f"{system}.zip unpacks into {folder}")
        inside = {n[len(folder):] for n in files}
        check(inside == USER_FILES, f"{system}.zip holds exactly the user's files "
              f"(extra {sorted(inside - USER_FILES)}, missing {sorted(USER_FILES - inside)})")
        for program in PROGRAMS:
            if folder + program not in files:
                continue
            data = archive.read(folder + program)
            check(pe_machine(data) == machine, f"{system}.zip's {program} is built for machine {machine:#x}")
            resource = version_resource(data)
            check(resource == (version + ".0", version + ".0", version, version),
                  f"{system}.zip's {program} version resource says {version}: {resource}")
            file_versions[(system, program)] = resource and resource[0]
            if program.endswith(".exe"):
                check_program_resources(f"{system}.zip's {program}", data)
        for text, opening in (("LICENSE.txt", "MIT License"), ("README.txt", "# Kestrune")):
            content = archive.read(folder + text) if folder + text in files else b""
            check(content.decode().startswith(opening) and b"\r\n" in content and b"\n" not in content.replace(b"\r\n", b""),
                  f"{system}.zip's {text} opens with {opening!r} and has Windows line ends")
        schema = json.loads(archive.read(folder + "docs/kestrune-scan.schema.json"))
        check(schema.get("$schema", "").endswith("2020-12/schema"), f"{system}.zip's schema is draft 2020-12")

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
VERSION_MAX_INCLUSIVE = 0x200
PROPERTY_SET_ACTION = 51  # a custom action that sets a property from a formatted text, no code
SHARED_KEY = ("0", "Kestrune.SerialPort\\CLSID")
SHARED_KEYS = {"Kestrune.SerialPort", "Kestrune.SerialPort\\CLSID", "Kestrune.SerialPort\\CurVer",
               "Kestrune.SerialPort.1", "Kestrune.SerialPort.1\\CLSID", f"TypeLib\\{LIBID}\\1.0",
               f"TypeLib\\{LIBID}\\1.0\\FLAGS", f"TypeLib\\{LIBID}\\1.0\\HELPDIR"}
shared = {}  # arch: (component GUID, its registry rows)
guids = {}   # arch: every other component's GUID
for arch, template, folder, platform, system in (("x86", "Intel;1033", "ProgramFilesFolder", "win32", "win32"),
                                                 ("x64", "x64;1033", "ProgramFiles64Folder", "win64", "win64")):
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
    actions = {a["Action"]: a for a in msi_table(package, "CustomAction")}
    check(not msi_table(package, "SelfReg") and
          all(int(a["Type"]) & 0x3F == PROPERTY_SET_ACTION for a in actions.values()),
          f"{arch}.msi runs no code of its own (no SelfReg; custom actions only set properties): {actions}")
    assigned = {a["Source"]: a["Target"] for a in actions.values()}
    check(assigned == {"ARPINSTALLLOCATION": "[INSTALLDIR]", "ARPHELPLINK": "[INSTALLDIR]README.txt"},
          f"{arch}.msi gives Apps & features the folder and the guide: {assigned}")
    title = f"Kestrune ({'64' if arch == 'x64' else '32'}-bit)"
    check(properties.get("ProductName") == title, f"{arch}.msi is named {title!r}: {properties.get('ProductName')}")
    icons = {r["Name"] for r in msi_table(package, "Icon")}
    check(properties.get("ARPPRODUCTICON") in icons and properties.get("ARPNOMODIFY") == "1",
          f"{arch}.msi shows its icon and no Modify: {icons}, {properties.get('ARPPRODUCTICON')}, "
          f"{properties.get('ARPNOMODIFY')}")
    files = {r["File"]: r for r in msi_table(package, "File")}
    recorded = {r["FileName"].split("|")[-1]: (r["Version"], r["Language"]) for r in files.values()}
    for program in PROGRAMS:
        expected = (file_versions.get((system, program)), "1033")
        check(recorded.get(program) == expected,
              f"{arch}.msi's File.Version of {program} is its version resource's: {recorded.get(program)}")
    registry_rows = msi_table(package, "Registry")
    owner = next((r["Component_"] for r in registry_rows if (r["Root"], r["Key"]) == SHARED_KEY), None)
    owned = {(r["Root"], r["Key"], r["Name"], r["Value"]) for r in registry_rows if r["Component_"] == owner}
    component_ids = {c["Component"]: c["ComponentId"] for c in components}
    shared[arch] = (component_ids.get(owner), owned)
    guids[arch] = {guid for name, guid in component_ids.items() if name != owner}
    check({key for _, key, _, _ in owned} == SHARED_KEYS and
          not any(r["Key"] in SHARED_KEYS for r in registry_rows if r["Component_"] != owner),
          f"{arch}.msi keeps the ProgIDs and the type library's own key in one component: {sorted(owned)}")
    environment = msi_table(package, "Environment")
    check([(e["Name"], e["Value"], e["Component_"]) for e in environment] ==
          [("=-*PATH", "[~];[INSTALLDIR]", "ConsoleProgram")], f"{arch}.msi appends its folder to PATH: {environment}")
    actions = {r["Action"] for r in msi_table(package, "InstallExecuteSequence")}
    check({"WriteEnvironmentStrings", "RemoveEnvironmentStrings", "RemoveExistingProducts",
           "WriteRegistryValues", "RemoveRegistryValues"} <= actions, f"{arch}.msi's sequence has the actions")
    shortcuts = msi_table(package, "Shortcut")
    check([(s["Directory_"], s["Target"], s["Name"].split("|")[-1], s["WkDir"], s["Icon_"]) for s in shortcuts] ==
          [("ProgramMenuFolder", "[#KestruneExe]", title, "PersonalFolder", properties.get("ARPPRODUCTICON"))],
          f"{arch}.msi puts one shortcut {title!r} to Kestrune.exe, started in Documents, into the Start menu")
    upgrades = msi_table(package, "Upgrade")
    check(any(u["UpgradeCode"] == UPGRADE_CODES[arch] and u["VersionMax"] == version and
              int(u["Attributes"]) & VERSION_MAX_INCLUSIVE for u in upgrades),
          f"{arch}.msi replaces older versions of its upgrade code and the same version: {upgrades}")

check(shared["x86"][0] and shared["x86"] == shared["x64"],
      f"the shared component has the same GUID and rows in both packages: {shared}")
check(not guids["x86"] & guids["x64"], f"no other component GUID is in both packages: {guids['x86'] & guids['x64']}")

scan = os.path.join(BUILD_X64, "kestrune-scan.exe")
shown = subprocess.run([WINE_RUN, scan, "--version"], stdin=subprocess.DEVNULL, capture_output=True,
                       text=True, timeout=120).stdout.strip()
check(shown == f"kestrune-scan {version}", f"kestrune-scan --version says {shown!r}")
listing = subprocess.run([WINE_RUN, scan, "--list", "--json"], stdin=subprocess.DEVNULL, capture_output=True,
                         text=True, timeout=120).stdout
check(json.loads(listing).get("kestrune") == version, f"the JSON output's kestrune field is {version}")

finish()
