#!/usr/bin/env python3
"""Every --json output of kestrune-scan over the running lab validates against
docs/kestrune-scan.schema.json (JSON Schema 2020-12, python3-jsonschema): the scan, the listing,
and a watch's first listing and its events while the lab removes and replugs a port. The
documents' header says this machine and this moment; and the schema is no blank cheque: each
broken copy of a real document below must fail it.

usage: validate_json.py WINE_RUN SCAN_EXE SCHEMA SERLAB
"""
import copy
import datetime
import json
import os
import select
import subprocess
import sys
import time

import jsonschema

from release_checks import check, finish

WINE_RUN, SCAN_EXE, SCHEMA_FILE, SERLAB = sys.argv[1:5]


def run(*args):
    done = subprocess.run([WINE_RUN, SCAN_EXE, *args], stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=300)
    return done.returncode, done.stdout.decode("utf-8")


with open(SCHEMA_FILE) as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema, format_checker=jsonschema.FormatChecker())


def valid(document):
    errors = sorted(validator.iter_errors(document), key=lambda e: e.path)
    return errors[0].message if errors else None


def validate(document, what):
    problem = valid(document)
    check(problem is None, f"{what} validates" + (f": {problem}" if problem else ""))


computer = subprocess.run([WINE_RUN, "cmd", "/c", "echo %COMPUTERNAME%"], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=120).stdout.decode().strip()
documents = {}
for mode, args in (("scan", ["--json"]), ("list", ["--list", "--json"])):
    status, out = run(*args)
    check(status == 0, f"--json {mode} exits 0 (got {status})")
    document = json.loads(out)
    documents[mode] = document
    validate(document, f"the {mode} document")
    check(list(document)[:5] == ["mode", "schema", "kestrune", "host", "time"],
          f"the {mode} document starts with mode and the header fields: {list(document)[:5]}")
    check(document["host"].upper() == computer.upper(), f"host {document['host']!r} is the computer {computer!r}")
    made = datetime.datetime.strptime(document["time"], "%Y-%m-%dT%H:%M:%S.%fZ")
    age = abs((datetime.datetime.utcnow() - made).total_seconds())
    check(age < 600, f"time {document['time']} is now, UTC (off by {age:.0f} s)")
    check(len(document["ports"]) >= 5, f"the {mode} document lists the lab's ports ({len(document['ports'])})")

# A watch: its first line is a listing document, then one event a line.
watch = subprocess.Popen([WINE_RUN, SCAN_EXE, "--watch", "--json"], stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
lines = []


def read_line(deadline):
    buffer = b""
    while time.time() < deadline:
        ready, _, _ = select.select([watch.stdout], [], [], 0.5)
        if ready:
            byte = os.read(watch.stdout.fileno(), 1)
            if not byte:
                return None
            if byte == b"\n":
                return buffer.decode("utf-8")
            buffer += byte
    return None


try:
    first = read_line(time.time() + 60)
    check(first is not None, "the watch prints its first listing")
    if first is not None:
        validate(json.loads(first), "the watch's first listing")
        check(json.loads(first)["mode"] == "list", "the watch's first line is a list document")
        device = next(p["PortName"] for p in json.loads(first)["ports"] if p["PortName"] == "COM9")
        for action, event in (("remove", "removed"), ("replug", "arrived")):
            subprocess.run([sys.executable, SERLAB, action, device], check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, timeout=120)
            seen = None
            deadline = time.time() + 30
            while seen is None and time.time() < deadline:
                line = read_line(deadline)
                if line is None:
                    break
                lines.append(json.loads(line))
                if lines[-1].get("event") == event and lines[-1].get("PortName") == device:
                    seen = lines[-1]
            check(seen is not None, f"the watch says {event} {device}")
        for line in lines:
            validate(line, f"the watch event {line.get('event')} {line.get('PortName')}")
finally:
    watch.kill()
    watch.wait()


# Broken copies of real documents, each of which the schema must refuse.
def without(key):
    return lambda d: d.pop(key)


def port_set(key, value):
    return lambda d: d["ports"][0].__setitem__(key, value)


BROKEN = [
    ("scan", "no host", without("host")),
    ("scan", "no schema version", without("schema")),
    ("scan", "a local time", lambda d: d.__setitem__("time", "2026-12-09 02:40:12.345")),
    ("scan", "a version of two numbers", lambda d: d.__setitem__("kestrune", "1.0")),
    ("scan", "an unknown mode", lambda d: d.__setitem__("mode", "scans")),
    ("scan", "Baud as text", port_set("Baud", "9600")),
    ("scan", "StopBits 3", port_set("StopBits", 3)),
    ("scan", "a misspelt field", lambda d: d["ports"][0].__setitem__("Bauds", d["ports"][0].pop("Baud"))),
    ("scan", "a flow flag missing", lambda d: d["ports"][0]["FlowControlBits"].pop("OutX")),
    ("scan", "DtrControl unknown", port_set("DtrControl", "always")),
    ("scan", "DiscoveryIndex negative", port_set("DiscoveryIndex", -1)),
    ("scan", "CabledTo no port name", port_set("CabledTo", "the far end")),
    ("list", "a scan field in a listing", port_set("Baud", 9600)),
    ("list", "Present as a number", port_set("Present", 1)),
    ("list", "an identity field unknown", lambda d: d["ports"][0]["Identity"].__setitem__("Colour", "red")),
]
for mode, what, breaking in BROKEN:
    broken = copy.deepcopy(documents[mode])
    breaking(broken)
    check(valid(broken) is not None, f"a {mode} document with {what} fails")

# Fields added in this schema version are optional: documents with them validate too.
extended = copy.deepcopy(documents["scan"])
for index, port in enumerate(extended["ports"]):
    port["DiscoveryIndex"] = index
    port["CabledTo"] = "COM8" if index == 0 else None
validate(extended, "a scan document with DiscoveryIndex and CabledTo")
release = {"mode": "release", "dry_run": True, "backup": None,
           "released": [{"port": "COM9", "reason": "stale"}], "refused": [{"port": "COM3", "reason": "in use"}]}
validate(release, "a release document")

finish()
