#!/usr/bin/env python3
"""The floors check on small made-up trees: each row is a tree and the faults it must report
(none for a tree that keeps its floors). Run by ctest as tools.check_floors."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import check_floors  # noqa: E402

CASES = [
    ("includes down and within a folder", {
        "support/a.h": '',
        "scan/b.h": '#include "support/a.h"\n#include "c.h"\n',
        "scan/c.h": '',
        "app/entry.cpp": '#include "scan/b.h"\n#include "com/serial_port_typelib.h"\n',
    }, []),
    ("an include up a floor", {
        "port/a.h": '#include "scan/b.h"\n',
        "scan/b.h": '',
    }, ["port/a.h: includes scan/b.h (up a floor"]),
    ("an include across a floor", {
        "app/console/a.cpp": '#include "app/window/b.h"\n',
        "app/window/b.h": '',
    }, ["app/console/a.cpp: includes app/window/b.h (across a floor"]),
    ("two files that include each other", {
        "com/a.h": '#include "com/b.h"\n',
        "com/b.cpp": '#include "com/a.h"\n',
        "com/b.h": '',
    }, ["round a circle: com/a com/b"]),
    ("a circle of three through a header and its source", {
        "app/window/a.cpp": '#include "app/window/b.h"\n',
        "app/window/b.h": '#include "c.h"\n',
        "app/window/c.h": '',
        "app/window/c.cpp": '#include "app/window/a.h"\n',
        "app/window/a.h": '',
    }, ["round a circle: app/window/a app/window/b app/window/c"]),
]


def run():
    failures = 0
    for name, files, expected in CASES:
        with tempfile.TemporaryDirectory() as root:
            for rel, text in files.items():
                os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
                with open(os.path.join(root, rel), "w") as f:
                    f.write(text)
            faults = check_floors.check(root)
        ok = len(faults) == len(expected) and all(any(e in f for f in faults) for e in expected)
        print(("ok    " if ok else "FAIL  ") + name + ("" if ok else f": {faults}"))
        failures += not ok
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(run())
