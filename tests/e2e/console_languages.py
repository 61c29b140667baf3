#!/usr/bin/env python3
"""kestrune-scan on machines in other languages, over the language layout (lab/layouts/intl.ini):
the generic USB serial driver's names in French, German, Russian and Chinese, stored in the
registry as Unicode. Wine takes a program's code pages from LC_ALL when it starts, so each run
is a Western (fr_FR: OEM 850, ANSI 1252) or Russian (ru_RU: 866, 1251) machine.

One table: every name x setting x output against the bytes that port's listing line ends with
(redirected: UTF-8, --encoding oem, --encoding ansi; a console: what Wine's terminal console
shows of the program's UTF-16 when `script` gives the run a terminal). Wine's terminal console
writes in the host locale's character set, so the settings' glibc locales are made in a private
folder (LOCPATH, by localedef); where they cannot be made the console column is left out, said
so. Then the JSON an old code page asks for is ASCII and loses nothing, and --tsv carries every
name whole in either setting.

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

NAMES = {
    "COM3": "Périphérique série USB (COM3)",
    "COM4": "Serielles USB-Gerät (COM4)",
    "COM5": "USB 串行设备 (COM5)",
    "COM6": "Последовательное устройство USB (COM6)",
}
SETTINGS = {  # name: (LC_ALL, OEM code page, ANSI code page)
    "Western": ("fr_FR.UTF-8", "cp850", "cp1252"),
    "Russian": ("ru_RU.UTF-8", "cp866", "cp1251"),
}


def expected(name, setting, output):
    """The bytes a listing line ends with: what each output gives for name on that machine."""
    _, oem, ansi = SETTINGS[setting]
    codec = {"utf8": "utf-8", "oem": oem, "ansi": ansi, "console": "utf-8"}[output]
    return name.encode(codec, errors="replace") + (b"" if output == "console" else b"\r\n")


failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)


LOCPATH = None  # the private glibc locales, when made


def make_locales(folder):
    """The settings' UTF-8 locales under folder; False when localedef or its sources are missing."""
    if not shutil.which("localedef"):
        return False
    for locale, _, _ in SETTINGS.values():
        done = subprocess.run(["localedef", "-i", locale.split(".")[0], "-f", "UTF-8", os.path.join(folder, locale)],
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        if done.returncode not in (0, 1):  # 1: made, with warnings
            print(f"note: localedef {locale}: {done.stderr.decode(errors='replace').strip()}")
            return False
    return True


def run(setting, *args, terminal=False):
    env = dict(os.environ, LC_ALL=SETTINGS[setting][0], LANG=SETTINGS[setting][0])
    if LOCPATH:
        env["LOCPATH"] = LOCPATH
    command = [WINE_RUN, SCAN, *args]
    if terminal:  # a pseudo-terminal: Wine gives the program a console on it
        command = ["script", "-qec", " ".join(command), "/dev/null"]
    done = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    return done.stdout


def terminal_text(raw):
    """What a terminal shows from Wine's console output: escape sequences out, cursor steps to the
    right as the blanks they stand for."""
    raw = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m.group(1) or b"1"), raw)
    return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", b"", raw)


def line_of(output, port):
    for line in output.split(b"\n"):
        if line.startswith(port.encode() + b" "):
            return line + b"\n"
    return b""


def main():
    try:
        with open(os.path.join(LAB_DIR, "run.json")) as f:
            lab = json.load(f).get("name")
    except (OSError, ValueError):
        lab = None
    if lab != "intl":
        print(f"skipped: the language lab (lab/layouts/intl.ini) is not up (lab: {lab})")
        return 77
    global LOCPATH
    folder = tempfile.mkdtemp(prefix="kestrune-locales.")
    try:
        if make_locales(folder):
            LOCPATH = folder
        return check_all()
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def check_all():
    console = bool(LOCPATH and shutil.which("script"))
    if not console:
        print("note: no terminal console column (needs `script` and localedef with the locale sources)")
    outputs = ["utf8", "oem", "ansi"] + (["console"] if console else [])
    for setting in SETTINGS:
        for output in outputs:
            args = ["--list"] + ([] if output in ("utf8", "console") else ["--encoding", output])
            text = run(setting, *args, terminal=output == "console")
            if output == "console":
                text = terminal_text(text).replace(b"\r", b"")
            for port, name in NAMES.items():
                line = line_of(text, port)
                want = expected(name, setting, output)
                ok = line.rstrip(b" \r\n").endswith(want.rstrip(b"\r\n")) and (output == "console" or
                                                                              line.endswith(want))
                check(ok, f"{setting:8} {output:7} {port}: {want!r} ends {line!r}")

        try:
            document = json.loads(run(setting, "--list", "--json", "--encoding", "oem"))
            shown = {p["PortName"]: p["Identity"].get("FriendlyName") for p in document["ports"]}
        except (ValueError, KeyError, TypeError) as e:
            shown = f"no JSON document: {e}"
        check(shown == NAMES, f"{setting}: --json --encoding oem carries every name whole: {shown}")
        raw = run(setting, "--list", "--json", "--encoding", "ansi")
        check(all(b < 0x80 for b in raw), f"{setting}: --json for an old code page is ASCII")
        rows = run(setting, "--list", "--tsv").decode("utf-8").splitlines()
        header = rows[0].split("\t")
        tsv = {r.split("\t")[0]: r.split("\t")[header.index("FriendlyName")] for r in rows[1:]}
        check(tsv == NAMES, f"{setting}: --tsv reads every name whole: {tsv}")
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


sys.exit(main())
