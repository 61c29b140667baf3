#!/usr/bin/env python3
"""The Windows installer package under Wine's own installer, in a copy of the test prefix (the
suite's registrations stay untouched) with the test lab brought up there:
  msiexec /i PACKAGE /qn exits 0, the files and the Start-menu shortcut are where the package
  says, the installation folder is on the machine's PATH, a VBScript run by cscript creates
  Kestrune.SerialPort and lists the lab's ports through the installed library, the installed
  kestrune-scan.exe prints the table; the registry entries the package wrote are exactly what
  the library's own registration (regsvr32) writes; a package of the next version installed over
  it leaves one installation, and so does a rebuild of the same version; msiexec /x /qn exits 0
  and leaves no file, class, ProgID, type library, interface key or PATH entry behind.
Given the other build's package (x64 runs only), both side by side: two entries and two
  shortcuts; with the 32-bit one removed the 64-bit class still lists the lab's ports through
  its ProgID; with the 64-bit one removed the 32-bit one keeps its shortcut, class and ProgID
  keys (its class cannot be created here: the 64-bit prefix runs no 32-bit program).

usage: installer_wine.py ARCH(x64|x86) PACKAGE BUILD_DIR [OTHER_PACKAGE]
The prefix copied is the work dir's ($KESTRUNE_WORK, default .work): prefix, or prefix-i686.
ARCH x86 runs in the 32-bit world (the emulated 32-bit Wine, a 32-bit prefix).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from release_checks import CLSID, IID, LIBID, check, finish, note, time_checks

ARCH, PACKAGE, BUILD = sys.argv[1:4]
OTHER_PACKAGE = sys.argv[4] if len(sys.argv) > 4 and ARCH == "x64" else None
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(ROOT, "tools", "wine-run")
SERLAB = os.path.join(ROOT, "lab", "serlab.py")
WORLD = "i686" if ARCH == "x86" else "x86_64"

CLASS_KEYS = [f"HKCR\\CLSID\\{CLSID}", "HKCR\\Kestrune.SerialPort", "HKCR\\Kestrune.SerialPort.1",
              f"HKCR\\TypeLib\\{LIBID}", f"HKCR\\Interface\\{IID}"]
PRODUCT_KEYS = CLASS_KEYS + ["HKLM\\Software\\Kestrune"]
ENVIRONMENT = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
UNINSTALL = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
UNINSTALL32 = "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
TITLE = {"x64": "Kestrune (64-bit)", "x86": "Kestrune (32-bit)"}
INSTALLED_FILES = ["Kestrune.exe", "kestrune-scan.exe", "Kestrune.dll", "kestrune.h", "Kestrune.lib", "README.txt",
                   "LICENSE.txt", "docs/kestrune-scan.schema.json", "docs/screenshot.png", "docs/examples/list_ports.c"]

time_checks()


work = tempfile.mkdtemp(prefix="kestrune-install.")
env = dict(os.environ, KESTRUNE_WORK=work, KESTRUNE_ARCH=WORLD)
env.pop("WINEPREFIX", None)
prefix_name = "prefix-i686" if WORLD == "i686" else "prefix"
PREFIX = os.path.join(os.environ.get("KESTRUNE_WORK") or os.path.join(ROOT, ".work"), prefix_name)
prefix = os.path.join(work, prefix_name)
drive_c = os.path.join(prefix, "drive_c")


def run(*args, timeout=300):
    """A Windows program in the copy; output through a file, never a pipe (Wine's services
    inherit the first program's stdio)."""
    with tempfile.TemporaryFile(dir=work) as out:
        status = subprocess.run([WINE_RUN, *args], stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                env=env, timeout=timeout).returncode
        out.seek(0)
        return status, out.read().decode("utf-8", "replace").replace("\r\n", "\n")


def windows_path(unix):
    return "Z:" + os.path.abspath(unix).replace("/", "\\")


ROOT_NAMES = {"HKCR": "HKEY_CLASSES_ROOT", "HKLM": "HKEY_LOCAL_MACHINE"}


def registry_trees(keys, view="64"):
    """{key: {subkey: {value name: data}}} under each key, read by one cmd running reg query /s
    for each (one Windows program start for all) in the 64-bit or the 32-bit registry view; {}
    for a missing key."""
    command = ["cmd", "/c"]
    views = [f"/reg:{view}"] if WORLD == "x86_64" else []  # the 32-bit world has one view
    for key in keys:
        command += (["&"] if len(command) > 2 else []) + ["reg", "query", key, "/s", *views]
    _, out = run(*command)
    everything, current = {}, None
    for line in out.splitlines():
        if line.startswith("HKEY_"):
            current = line.strip()
            everything[current] = {}
        elif current and line.startswith("    ") and line.strip():
            parts = re.split(r"\s{4}", line.strip(), maxsplit=2)
            everything[current][parts[0]] = parts[2] if len(parts) > 2 else ""
    trees = {}
    for key in keys:
        root, _, rest = key.partition("\\")
        full = (ROOT_NAMES.get(root, root) + "\\" + rest).lower()
        trees[key] = {sub: values for sub, values in everything.items()
                      if sub.lower() == full or sub.lower().startswith(full + "\\")}
    return trees


def registry_tree(key):
    return registry_trees([key])[key]


def product_registry(view="64"):
    return {key: tree for key, tree in registry_trees(PRODUCT_KEYS, view).items() if tree}


def comparable(registry):
    """The class's keys as regsvr32 and the package both write them. One difference is let
    through: the type library's HELPDIR, which regsvr32 writes without the trailing backslash
    an installer's folder property always has."""
    registry = {key: {sub: dict(values) for sub, values in tree.items()} for key, tree in registry.items()
                if key != "HKLM\\Software\\Kestrune"}
    for tree in registry.values():
        for sub, values in tree.items():
            if sub.endswith("\\HELPDIR") and "(Default)" in values:
                values["(Default)"] = values["(Default)"].rstrip("\\")
    return registry


def machine_path(trees=None):
    trees = trees or registry_trees([ENVIRONMENT])
    values = next(iter(trees[ENVIRONMENT].values()), {})
    path = next((data for name, data in values.items() if name.upper() == "PATH"), "")
    return re.sub(r"^REG_\w+\s+", "", path).strip()


def program_list(trees=None):
    """The values of every Kestrune entry in the machine's program list (both views: a 32-bit
    package's entry is in the 32-bit one), without their types."""
    trees = trees or registry_trees([UNINSTALL, UNINSTALL32])
    entries = [{name: re.sub(r"^REG_\w+\s+", "", data) for name, data in values.items()}
               for values in [*trees[UNINSTALL].values(), *trees.get(UNINSTALL32, {}).values()]]
    return [entry for entry in entries if entry.get("DisplayName", "").startswith("Kestrune")]


def installations(trees=None):
    """DisplayName/DisplayVersion of every Kestrune entry in the machine's program list."""
    return [(entry["DisplayName"], entry.get("DisplayVersion", "")) for entry in program_list(trees)]


def leftovers():
    """What an installation could leave behind, by name; empty after a clean uninstall."""
    left = []
    folder = os.path.join(drive_c, "Program Files", "Kestrune")
    if os.path.exists(folder):
        for base, _, files in os.walk(folder):
            left += [os.path.join(base, f) for f in files] or [base]
    folder32 = os.path.join(drive_c, "Program Files (x86)", "Kestrune")
    if os.path.exists(folder32):
        left.append(folder32)
    left += shortcuts()
    trees = registry_trees(PRODUCT_KEYS + [ENVIRONMENT, UNINSTALL, UNINSTALL32])
    left += [f"registry {key}" for key in PRODUCT_KEYS if trees[key]]
    if WORLD == "x86_64":
        left += [f"32-bit registry {key}" for key in product_registry("32")]
    path = machine_path(trees)
    if "Kestrune" in path:
        left.append(f"PATH {path}")
    left += [f"program list {name} {version}" for name, version in installations(trees)]
    return left


def shortcuts():
    """Kestrune's shortcuts in the machine's Start menu, or in a user's: Wine's installer resolves
    ProgramMenuFolder to the user's Programs folder even for a per-machine package (Windows
    gives the all-users one)."""
    found = []
    for base, _, files in os.walk(drive_c):
        if "Start Menu" in base:
            found += [os.path.join(base, f) for f in files if f.startswith("Kestrune") and f.endswith(".lnk")]
    return sorted(found)


def shortcut_names():
    return [os.path.basename(path) for path in shortcuts()]


def package_of(arch, version, name):
    """A package built now from this build folder: a new product code, as every build has."""
    built = os.path.join(work, name)
    subprocess.run(["bash", os.path.join(ROOT, "packaging", "build_msi.sh"), arch, BUILD, version, built],
                   check=True, stdin=subprocess.DEVNULL, timeout=300)
    return built


def class_lists_lab_ports(what):
    status, out = run("cscript.exe", "//nologo", windows_path(os.path.join(ROOT, "tests/release/installed_ports.vbs")))
    listed = dict(line.split(" ", 1) for line in out.splitlines() if line.startswith("COM"))
    check(status == 0 and listed == LAB_PORTS and "Enum: 0 true" in out and out.rstrip().endswith("Done"),
          f"{what}: cscript lists the lab's ports through the installed class: {out!r}")


# The lab's ports and what opening each gives (0 free, 5 held by another program).
LAB_PORTS = {"COM2": "0", "COM3": "5", "COM6": "0", "COM7": "0", "COM8": "0", "COM9": "0", "COM10": "0"}


def install(package):
    return run("msiexec", "/i", windows_path(package), "/qn", timeout=600)[0]


def uninstall(package):
    return run("msiexec", "/x", windows_path(package), "/qn", timeout=600)[0]


try:
    # The copy, its lab (the lab's Windows helpers come from the build), no registration of the
    # suite's own builds.
    subprocess.run(["cp", "-a", PREFIX, prefix], check=True)
    note(f"copied {PREFIX}")
    os.symlink(BUILD, os.path.join(work, "build-i686" if WORLD == "i686" else "build-x86_64"))
    subprocess.run([sys.executable, SERLAB, "up", "test"], check=True, env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    note("the test lab is up in the copy")
    before = product_registry()
    for key in before:
        run("reg", "delete", key, "/f")
    print(f"removed the copied prefix's own registrations first: {sorted(before) or 'none'}")
    check(not leftovers(), f"the copy starts clean: {leftovers()}")
    path_before = machine_path()

    status = install(PACKAGE)
    check(status == 0, f"msiexec /i {os.path.basename(PACKAGE)} /qn exits 0 (got {status})")
    folder = os.path.join(drive_c, "Program Files", "Kestrune")
    missing = [f for f in INSTALLED_FILES if not os.path.isfile(os.path.join(folder, f))]
    check(not missing, f"every file is in C:\\Program Files\\Kestrune (missing: {missing})")
    for name in ("Kestrune.exe", "kestrune-scan.exe", "Kestrune.dll"):
        same = os.path.isfile(os.path.join(folder, name)) and \
            open(os.path.join(folder, name), "rb").read() == open(os.path.join(BUILD, name), "rb").read()
        check(same, f"{name} is the build's")
    check(len(shortcuts()) == 1 and shortcuts()[0].endswith(os.path.join("Programs", TITLE[ARCH] + ".lnk")),
          f"the Start menu holds the shortcut {TITLE[ARCH]!r}: {shortcuts()}")
    check("C:\\Program Files\\Kestrune" in machine_path(), f"PATH holds the folder: {machine_path()}")
    server = registry_tree(f"HKCR\\CLSID\\{CLSID}\\InprocServer32")
    inproc = next(iter(server.values()), {}).get("(Default)", "")
    check(inproc.lower() == "c:\\program files\\kestrune\\kestrune.dll", f"the class is served by {inproc}")

    class_lists_lab_ports("installed")
    entry = next(iter(program_list()), {})
    shown = {name: entry.get(name) for name in ("InstallLocation", "HelpLink", "NoModify")}
    check(shown == {"InstallLocation": "C:\\Program Files\\Kestrune\\",
                    "HelpLink": "C:\\Program Files\\Kestrune\\README.txt", "NoModify": "0x1"},
          f"the program list shows the folder, the guide as help and no Modify: {shown}")

    status, out = run("C:\\Program Files\\Kestrune\\kestrune-scan.exe")
    table = out.split("\n\n")[0]  # the reservations follow after an empty line
    rows = [line.split()[0] for line in table.splitlines() if line.startswith("COM")]
    check(status == 0 and out.startswith("Port ") and sorted(rows) == sorted(LAB_PORTS | {"COM4": "", "COM5": ""}),
          f"the installed kestrune-scan.exe prints the table: {out!r}")

    # What the package wrote is what the library's own registration writes.
    written = comparable(product_registry())
    run("regsvr32", "/s", "/u", "C:\\Program Files\\Kestrune\\Kestrune.dll")
    check(not product_registry().get(CLASS_KEYS[0]), "regsvr32 /u removes the package's class entries")
    run("regsvr32", "/s", "C:\\Program Files\\Kestrune\\Kestrune.dll")
    registered = comparable(product_registry())
    check(written == registered, "the package writes the keys and values regsvr32 writes:\n"
          f"  package:  {written}\n  regsvr32: {registered}")
    # Wine's RegisterTypeLib writes the interface into the 32-bit view as well; no package of
    # this build does, so that key goes before the uninstall checks look at both views.
    if WORLD == "x86_64":
        run("reg", "delete", f"HKCR\\Interface\\{IID}", "/reg:32", "/f")

    # The same version built again (a new product code) over it: still one installation.
    version = subprocess.run(["msiinfo", "export", PACKAGE, "Property"], capture_output=True, text=True,
                             check=True).stdout
    current = re.search(r"^ProductVersion\t(\S+)", version, re.M).group(1)
    rebuilt = package_of(ARCH, current, f"Kestrune-{current}-{ARCH}-rebuilt.msi")
    status = install(rebuilt)
    check(status == 0, f"msiexec /i of {current} rebuilt over {current} exits 0 (got {status})")
    found = installations()
    check(found == [(TITLE[ARCH], current)], f"one installation, of {current}: {found}")

    # Version N+1 over N: one installation, of N+1.
    major, minor, patch = (int(p) for p in current.split("."))
    following = f"{major}.{minor}.{patch + 1}"
    newer = package_of(ARCH, following, f"Kestrune-{following}-{ARCH}.msi")
    status = install(newer)
    check(status == 0, f"msiexec /i of {following} over {current} exits 0 (got {status})")
    found = installations()
    check(len(found) == 1 and found[0][1] == following, f"one installation, of {following}: {found}")
    check(os.path.isfile(os.path.join(folder, "kestrune-scan.exe")), "the upgraded installation has its files")
    check(machine_path().count("Kestrune") == 1, f"PATH holds the folder once: {machine_path()}")

    status = uninstall(newer)
    check(status == 0, f"msiexec /x /qn exits 0 (got {status})")
    left = leftovers()
    print("left behind after uninstall:", left or "nothing")
    check(not left, "uninstall leaves nothing behind")
    # Wine's installer takes the folder out of PATH but keeps the separator before it.
    check(machine_path().rstrip(";") == path_before.rstrip(";"),
          f"PATH is what it was: {path_before!r} -> {machine_path()!r}")

    if OTHER_PACKAGE:
        # Both builds on one machine, then each removed while the other stays.
        for package in (OTHER_PACKAGE, PACKAGE):
            status = install(package)
            check(status == 0, f"side by side: msiexec /i {os.path.basename(package)} exits 0 (got {status})")
        names = sorted(name for name, _ in installations())
        check(names == sorted(TITLE.values()), f"side by side: two entries in the program list: {names}")
        both = sorted(title + ".lnk" for title in TITLE.values())
        check(shortcut_names() == both, f"side by side: two shortcuts: {shortcut_names()}")

        status = uninstall(OTHER_PACKAGE)
        check(status == 0, f"the 32-bit package removed (got {status})")
        check(shortcut_names() == [TITLE["x64"] + ".lnk"], f"the 64-bit shortcut stays: {shortcut_names()}")
        class_lists_lab_ports("with the 32-bit package removed")

        statuses = install(OTHER_PACKAGE), uninstall(PACKAGE)
        check(statuses == (0, 0), f"the 32-bit package installed again, the 64-bit one removed (got {statuses})")
        check(shortcut_names() == [TITLE["x86"] + ".lnk"], f"the 32-bit shortcut stays: {shortcut_names()}")
        kept = product_registry("32")
        server = next(iter(registry_trees([f"HKCR\\CLSID\\{CLSID}\\InprocServer32"], "32")
                           [f"HKCR\\CLSID\\{CLSID}\\InprocServer32"].values()), {}).get("(Default)", "")
        check(server.lower() == "c:\\program files (x86)\\kestrune\\kestrune.dll" and
              all(key in kept for key in CLASS_KEYS), f"the 32-bit class and its ProgIDs stay: {server}, {sorted(kept)}")
        status = uninstall(OTHER_PACKAGE)
        check(status == 0, f"the 32-bit package removed too (got {status})")
        # Wine keeps the two views of HKCR\<ProgID> apart where Windows has one key: the 64-bit
        # view's ProgIDs, kept while the 32-bit package held their component, have no package
        # left to remove them here. On Windows they are the keys the last removal deleted.
        left = leftovers()
        print("left behind after both were removed:", left or "nothing")
        wine_views = ["registry HKCR\\Kestrune.SerialPort", "registry HKCR\\Kestrune.SerialPort.1"]
        check(not left or left == wine_views, "removing both leaves nothing behind (but Wine's second ProgID view)")
finally:
    subprocess.run([sys.executable, SERLAB, "down"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    shutil.rmtree(work, ignore_errors=True)

finish()
