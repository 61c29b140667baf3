#!/usr/bin/env python3
"""kestrune-scan on machines in other languages, over the language layout (lab/layouts/intl.ini):
the generic USB serial driver's names in French, German, Russian and Chinese, stored in the
registry as Unicode. Wine takes a program's code pages from LC_ALL when it starts, so each run
is a Western (fr_FR: OEM 850, ANSI 1252) or Russian (ru_RU: 866, 1251) machine.

One table: every name x setting x output against the bytes that port's listing line ends with
(redirected: UTF-8, --encoding oem, --encoding ansi; a console: what Wine's terminal console shows
of the program's UTF-16 when `script` gives the run a terminal; Wine writes a terminal in the host
locale's character set, so the settings' glibc locales are made in a private folder, LOCPATH).
Then the JSON an old code page asks for is ASCII and whole, and --tsv reads every name whole.

usage: console_languages.py WINE_RUN SCAN_EXE    exit 77 (skipped) when the language lab is not up
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

WINE_RUN, SCAN = sys.argv[1:3]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORK = os.environ.get("KESTRUNE_WORK") or os.path.join(ROOT, ".work")
LAB_DIR = os.path.join(WORK, "lab-i686" if os.environ.get("KESTRUNE_ARCH") == "i686" else "lab")

NAMES = {"COM3": "Périphérique série USB (COM3)", "COM4": "Serielles USB-Gerät (COM4)",
         "COM5": "USB 串行设备 (COM5)", "COM6": "Последовательное устройство USB (COM6)"}
SETTINGS = {"Western": ("fr_FR.UTF-8", "cp850", "cp1252"), "Russian": ("ru_RU.UTF-8", "cp866", "cp1251")}


def expected(name, setting, output):
    """The bytes a listing line ends with: what each output gives for name on that machine."""
    _, oem, ansi = SETTINGS[setting]
    codec = {"utf8": "utf-8", "oem": oem, "ansi": ansi, "console": "utf-8"}[output]
    return name.encode(codec, errors="replace") + (b"\n" if output == "console" else b"\r\n")


failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)


def run(setting, *args, locales=None, terminal=False):
    env = dict(os.environ, LC_ALL=SETTINGS[setting][0], LANG=SETTINGS[setting][0])
    if locales:
        env["LOCPATH"] = locales
    command = [WINE_RUN, SCAN, *args]
    if terminal:  # a pseudo-terminal: Wine gives the program a console on it
        command = ["script", "-qec", " ".join(command), "/dev/null"]
    out = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=300).stdout
    if terminal:  # what the terminal shows: escape sequences out, cursor steps right as blanks
        out = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m.group(1) or b"1"), out)
        out = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", b"", out).replace(b"\r", b"")
    return out


def make_locales(folder):
    """The settings' UTF-8 glibc locales under folder; False when localedef cannot make them."""
    return bool(shutil.which("localedef")) and all(
        subprocess.run(["localedef", "-i", loc.split(".")[0], "-f", "UTF-8", os.path.join(folder, loc)],
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=120).returncode in (0, 1)
        for loc, _, _ in SETTINGS.values())


def check_all(locales):
    console = bool(locales and shutil.which("script"))
    if not console:
        print("note: no console column (needs `script`, and localedef with the locale sources)")
    for setting in SETTINGS:
        for output in ["utf8", "oem", "ansi"] + (["console"] if console else []):
            args = ["--list"] + ([] if output in ("utf8", "console") else ["--encoding", output])
            lines = run(setting, *args, locales=locales, terminal=output == "console").split(b"\n")
            for port, name in NAMES.items():
                line = next((ln + b"\n" for ln in lines if ln.startswith(port.encode() + b" ")), b"")
                want = expected(name, setting, output)
                check(line.endswith(want), f"{setting:8} {output:7} {port}: {want!r} ends {line!r}")
        try:
            document = json.loads(run(setting, "--list", "--json", "--encoding", "oem"))
            shown = {p["PortName"]: p["Identity"].get("FriendlyName") for p in document["ports"]}
        except (ValueError, KeyError, TypeError) as e:
            shown = f"no JSON document: {e}"
        check(shown == NAMES, f"{setting}: --json --encoding oem carries every name whole: {shown}")
        raw = run(setting, "--list", "--json", "--encoding", "ansi")
        check(all(b < 0x80 for b in raw), f"{setting}: --json for an old code page is ASCII")
        rows = [r.split("\t") for r in run(setting, "--list", "--tsv").decode("utf-8", "replace").splitlines()]
        tsv = {r[0]: r[rows[0].index("FriendlyName")] for r in rows[1:]} if rows else {}
        check(tsv == NAMES, f"{setting}: --tsv reads every name whole: {tsv}")
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


def main():
    try:
        with open(os.path.join(LAB_DIR, "run.json")) as f:
            lab = json.load(f).get("name")
    except (OSError, ValueError):
        lab = None
    if lab != "intl":
        print(f"skipped: the language lab (lab/layouts/intl.ini) is not up (lab: {lab})")
        return 77
    folder = tempfile.mkdtemp(prefix="kestrune-locales.")
    try:
        return check_all(folder if make_locales(folder) else None)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


sys.exit(main())
