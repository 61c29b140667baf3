#!/usr/bin/env python3
"""The package steps against a fake apt-get on PATH: each row is how apt behaves, the exit the
set-up must give and the one line it must print. Run by ctest as tools.apt_steps."""
import os
import subprocess
import sys
import tempfile

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
SIZE = ("E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/"
        "binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
        " [IP: 203.0.113.80 80]\nE: Some index files failed to download.")
# The fake: $1 is the step (update, install, download); behaviour per step from the row.
FAKE = r"""#!/bin/bash
for a; do case $a in update|install|download) step=$a;; esac; done
n=$(cat "$STATE/$step" 2>/dev/null || echo 0); echo $((n + 1)) >"$STATE/$step"
var="FAKE_${step^^}"; rule=${!var:-ok}
case $rule in
  ok) exit 0 ;;
  fail:*) k=${rule#fail:}; ((n < k)) || exit 0; echo "$FAKE_OUT" >&2; exit 100 ;;
  always) echo "$FAKE_OUT" >&2; exit 100 ;;
  missing) echo "E: Unable to locate package libnothing" >&2; exit 100 ;;
esac
"""
DOWNLOAD = "E: Failed to fetch http://deb.debian.org/debian/pool/main/w/wine/wine32.deb  Connection failed"

# name, update rule, install rule, output of a failure, exit, line expected (or None), lines forbidden
CASES = [
    ("everything downloads", "ok", "ok", "", 0, None, ["skipped", "cannot"]),
    ("an index fails twice, then works", "fail:2", "ok", SIZE, 0, "trying again in 0 s", ["skipped"]),
    ("one suite fails for good: skipped, the install goes on", "always", "ok", SIZE, 0,
     "skipped suite bookworm-security: File has unexpected size (374820 != 376004). Mirror sync in progress?",
     ["cannot"]),
    ("a download fails once, then works", "ok", "fail:1", DOWNLOAD, 0, "apt-get install: failed", ["skipped"]),
    ("a package nowhere to be had, a suite skipped", "always", "missing", SIZE, 1,
     "package libnothing cannot be had (suite bookworm-security was skipped)", []),
    ("a package nowhere to be had, every suite read", "ok", "missing", "", 1,
     "package libnothing cannot be had", ["skipped"]),
    ("downloads that never work stop with their error", "ok", "always", DOWNLOAD, 1,
     "apt-get install failed (status 100): E: Failed to fetch", []),
    ("no index at all and no suite named", "always", "ok", "E: something else", 1,
     "package index: apt-get update failed (status 100)", []),
]


def run(update, install, out):
    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "apt-get"), "w") as f:
            f.write(FAKE)
        os.chmod(os.path.join(tmp, "apt-get"), 0o755)
        env = dict(os.environ, PATH=tmp + ":" + os.environ["PATH"], STATE=tmp, FAKE_UPDATE=update,
                   FAKE_INSTALL=install, FAKE_OUT=out, KESTRUNE_APT_WAITS="0 0 0")
        script = (f'source "{TOOLS}/common.sh"; source "{TOOLS}/apt-steps.sh"; '
                  'apt_update && apt_fetch install -y libnothing')
        p = subprocess.run(["bash", "-c", script], env=env, capture_output=True, text=True, timeout=60)
        return p.returncode, p.stderr


def main():
    failures = 0
    for name, update, install, out, want_exit, want_line, forbidden in CASES:
        code, err = run(update, install, out)
        faults = []
        if code != want_exit:
            faults.append(f"exit {code}, want {want_exit}")
        if want_line and want_line not in err:
            faults.append(f"no line {want_line!r}")
        faults += [f"printed {word!r}" for word in forbidden if word in err]
        print(("FAIL " if faults else "ok   ") + name + ("".join("\n     " + f for f in faults)))
        if faults:
            print("     stderr:\n" + err)
        failures += bool(faults)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
