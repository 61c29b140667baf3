#!/usr/bin/env python3
"""The 32-bit product and the 64-bit build scan the same lab layout: their console tables must
agree field by field. Each build runs in its own world (the 32-bit prefix under the emulated
Wine, the 64-bit prefix under wine64), both labs up with the same layout.

usage: compare_scans.py WINE_RUN I686_SCAN_EXE X86_64_SCAN_EXE [WORK_DIR]
With a work dir (default $KESTRUNE_WORK) both labs are brought up again with their layout first.
"""
import json
import os
import re
import subprocess
import sys

# The console scan's arguments: every record field as tab-separated text.
SCAN_ARGS = ["--tsv"]

# Fields that differ between any two runs, whatever the build: process ids and handle values
# belong to each world's own processes.
VOLATILE = {
    "ProcessId": "a Windows process id of the scanning world",
    "DupProcessID": "the scanner's own process id",
    "ObjHandle": "the owner's handle value",
    "DupObjHandle": "a handle value in the scanner",
    "DupObjAddress": "a handle value in the scanner",
    "WinHandle": "a handle value in the scanner",
    "DiscoveryIndex": "the device map's order of each lab's pseudo-terminal names",
}

# Parts of a value that name the world rather than the port: each lab has its own pseudo-
# terminals, each build its own folder.
def normalise(field, value, build_dirs):
    value = re.sub(r"\\dev\\pts\\[0-9]+", r"\\dev\\pts\\#", value)
    for d in build_dirs:
        value = value.replace(d, "<build>")
    return value


def windows_dir(unix_dir):
    return "Z:" + unix_dir.replace("/", "\\") + "\\"


def lab_layout(work, lab_dir):
    try:
        with open(os.path.join(work, lab_dir, "run.json")) as f:
            return json.load(f)["layout"]
    except (OSError, ValueError, KeyError):
        return None


def fresh_lab(arch, layout):
    """Brings a lab up again: ports keep the settings their last user left, and both scans
    must start from the same machine."""
    serlab = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "lab", "serlab.py")
    env = dict(os.environ, KESTRUNE_ARCH=arch)
    r = subprocess.run([sys.executable, serlab, "up", layout], env=env, stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=300)
    if r.returncode != 0:
        sys.exit(f"the {arch} lab did not come up again: {r.stderr.decode(errors='replace')[-2000:]}")


def tsv_unescape(cell):
    """The console's TSV escaping undone (backslash, tab, line feed, carriage return, hex)."""
    out, i = [], 0
    while i < len(cell):
        c = cell[i]
        if c == "\\" and i + 1 < len(cell):
            n = cell[i + 1]
            if n == "x" and i + 3 < len(cell):
                out.append(chr(int(cell[i + 2:i + 4], 16)))
                i += 4
                continue
            out.append({"t": "\t", "n": "\n", "r": "\r"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def scan(wine_run, exe):
    r = subprocess.run([wine_run, exe] + SCAN_ARGS, stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=600)
    if r.returncode != 0:
        sys.exit(f"{exe} ended with {r.returncode}: {r.stderr.decode(errors='replace')[-2000:]}")
    lines = [ln.rstrip("\r") for ln in r.stdout.decode("utf-8", errors="replace").split("\n") if ln.strip()]
    if not lines:
        sys.exit(f"{exe} printed nothing")
    header = lines[0].split("\t")
    # Rows are matched by port name: the device map lists ports in the order of their object
    # names, which hold each lab's own pseudo-terminal numbers.
    rows = {}
    for ln in lines[1:]:
        cells = ln.split("\t")
        if len(cells) != len(header):
            sys.exit(f"{exe}: a line with {len(cells)} cells under {len(header)} columns: {ln!r}")
        row = dict(zip(header, (tsv_unescape(c) for c in cells)))
        rows[row.get("PortName", "")] = row
    return header, rows


def compare(i686, x86_64, build_dirs):
    """Differences as text lines; empty when the tables agree."""
    (h32, rows32), (h64, rows64) = i686, x86_64
    out = []
    if h32 != h64:
        out.append(f"columns differ:\n  i686:   {h32}\n  x86_64: {h64}")
    if sorted(rows32) != sorted(rows64):
        out.append(f"ports differ: i686 {sorted(rows32)}, x86_64 {sorted(rows64)}")
    for port in sorted(set(rows32) & set(rows64)):
        for field in h64:
            if field in VOLATILE or field not in rows32[port]:
                continue
            a = normalise(field, rows32[port][field], build_dirs)
            b = normalise(field, rows64[port][field], build_dirs)
            if a != b:
                out.append(f"{port} {field}: i686 {a!r} x86_64 {b!r}")
    return out


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    wine_run, exe32, exe64 = argv[1:4]
    work = argv[4] if len(argv) > 4 else os.environ.get("KESTRUNE_WORK", "")
    if work:
        l32, l64 = lab_layout(work, "lab-i686"), lab_layout(work, "lab")
        if not l32 or l32 != l64:
            sys.exit(f"both labs must be up with one layout (i686: {l32}, x86_64: {l64})")
        fresh_lab("i686", l32)
        fresh_lab("x86_64", l64)
    build_dirs = [windows_dir(os.path.dirname(os.path.abspath(e))) for e in (exe32, exe64)]
    diffs = compare(scan(wine_run, exe32), scan(wine_run, exe64), build_dirs)
    for d in diffs:
        print(d)
    print(f"{len(diffs)} differences; skipped: " + ", ".join(f"{k} ({v})" for k, v in VOLATILE.items()))
    return 1 if diffs else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
