#!/usr/bin/env python3
"""A release ZIP unpacked into a fresh folder, nothing installed: its kestrune-scan.exe scans the
running lab (the table lists every port of the test layout, exit 0) and says the archive's
version.

usage: unpacked_scan.py WINE_RUN ARCHIVE
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

from release_checks import check, finish

WINE_RUN, ARCHIVE = sys.argv[1:3]
LAB_PORTS = {"COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10"}


version = re.search(r"Kestrune-([0-9.]+)-win(32|64)\.zip$", ARCHIVE).group(1)
place = tempfile.mkdtemp(prefix="kestrune-unpacked.")
try:
    with zipfile.ZipFile(ARCHIVE) as archive:
        archive.extractall(place)
    folders = os.listdir(place)
    check(folders == [os.path.basename(ARCHIVE)[:-4]], f"the archive unpacks into one folder: {folders}")
    scan = os.path.join(place, folders[0], "kestrune-scan.exe")
    done = subprocess.run([WINE_RUN, scan], stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
    out = done.stdout.decode("utf-8", "replace")
    rows = {line.split()[0] for line in out.splitlines() if line.startswith("COM")}
    check(done.returncode == 0, f"the unpacked kestrune-scan.exe exits 0 (got {done.returncode})")
    check(out.startswith("Port ") and LAB_PORTS <= rows, f"its table lists the lab's ports: {out!r}")
    shown = subprocess.run([WINE_RUN, scan, "--version"], stdin=subprocess.DEVNULL, capture_output=True,
                           text=True, timeout=120).stdout.strip()
    check(shown == f"kestrune-scan {version}", f"it says the archive's version: {shown!r}")
finally:
    shutil.rmtree(place, ignore_errors=True)

finish()
