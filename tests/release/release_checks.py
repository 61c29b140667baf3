"""What the release checks share: the class's identifiers, check() that prints each result and
keeps the failures, and finish() that prints their count and ends with the exit status."""
import sys
import time

CLSID = "{8B5A1D8E-9C35-4FF0-BB8A-9633847B92F2}"
LIBID = "{B0DD5ADE-F204-4520-ACB6-E27BEA911F8F}"
IID = "{3EA7887C-22B9-4371-917E-423E4507FD7A}"

failures = []
_started = []


def time_checks():
    """From now on each result line shows the seconds since this call."""
    _started[:] = [time.time()]


def _stamp():
    return f"[{time.time() - _started[0]:5.1f} s] " if _started else ""


def note(what):
    print(_stamp() + what, flush=True)


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + _stamp() + what, flush=True)
    if not ok:
        failures.append(what)


def finish():
    print(f"{len(failures)} failure(s)")
    sys.exit(1 if failures else 0)
