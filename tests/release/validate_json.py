#!/usr/bin/env python3
"""Every --json output of kestrune-scan over the running lab validates against
docs/kestrune-scan.schema.json (JSON Schema 2020-12, python3-jsonschema): the scan, the listing,
a watch's first listing and its events while the lab removes and replugs a port, a release, a
dry run and restores (none of which changes the database). The documents' header says this
machine and this moment; and the schema is no blank cheque: each broken copy of a real document
below must fail it, with the message a user's validator shows.

usage: validate_json.py WINE_RUN SCAN_EXE SCHEMA SERLAB
"""
import copy
import datetime
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
import zlib

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
    """None, or the most relevant error as a validator shows it: where, then what."""
    error = jsonschema.exceptions.best_match(validator.iter_errors(document))
    return None if error is None else f"{error.json_path}: {error.message}"


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


# The changing modes, on a database value nothing here changes: a release of a number nobody
# reserved (refused), a dry run, and restores of a backup holding the value as it is.
def document_of(args, expected_status, what):
    status, out = run(*args)
    check(status == expected_status, f"{what} exits {expected_status} (got {status})")
    document = json.loads(out)
    validate(document, f"the {what} document")
    return document


documents["release"] = document_of(["--release", "COM77", "--json"], 1, "release of an unreserved number")
check(documents["release"]["refused"] == [{"port": "COM77", "reason": "not reserved", "device": None}],
      f"COM77 is refused as not reserved: {documents['release']['refused']}")
document_of(["--release-stale", "--dry-run", "--json"], 0, "dry run")
value = bytes.fromhex(documents["release"]["before"].replace(" ", ""))
folder = tempfile.mkdtemp(prefix="kestrune-json-")


def backup_file(name, machine):
    path = os.path.join(folder, name)
    lines = ["Kestrune COM number database backup 1",
             "key: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter", "value: ComDB"]
    lines += [f"machine: {machine}"] if machine is not None else []
    lines += ["saved: 2026-12-09 02:40:11", f"bytes: {len(value)}", "data: " + value.hex().upper(),
              f"check: {zlib.crc32(value):08X}"]
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")
    return "Z:" + path.replace("/", "\\")


try:
    here = backup_file("here.txt", computer)
    documents["restore"] = document_of(["--restore", here, "--dry-run", "--json"], 0, "restore dry run")
    restored = document_of(["--restore", here, "--json"], 0, "restore of the value as it is")
    check(restored["restored"] and restored["backup"] is None and restored["kept"] == [],
          "a restore that changes nothing writes no backup and keeps nothing back")
    for name, machine in (("elsewhere.txt", "OTHER-PC"), ("older.txt", None)):
        refused = document_of(["--restore", backup_file(name, machine), "--json"], 1, f"restore of {name}")
        check("--force" in (refused["error"] or ""), f"the refusal of {name} names --force: {refused['error']}")
finally:
    shutil.rmtree(folder, ignore_errors=True)


# Broken copies of real documents, each of which the schema must refuse with this message.
def without(key):
    return lambda d: d.pop(key)


def setting(key, value):
    return lambda d: d.__setitem__(key, value)


def port_set(key, value):
    return lambda d: d["ports"][0].__setitem__(key, value)


BROKEN = [
    ("scan", "no host", without("host"), "$: 'host' is a required property"),
    ("scan", "no schema version", without("schema"), "$: 'schema' is a required property"),
    ("scan", "a local time", setting("time", "2026-12-09 02:40:12.345"),
     "$.time: '2026-12-09 02:40:12.345' is not a 'date-time'"),
    ("scan", "a version of two numbers", setting("kestrune", "1.0"),
     "$.kestrune: '1.0' does not match '^[0-9]+\\\\.[0-9]+\\\\.[0-9]+$'"),
    ("scan", "an unknown mode", setting("mode", "scans"), "$.mode: 'scans' is not one of ['scan', 'list', 'release', 'restore']"),
    ("scan", "a field of its own", setting("colour", "red"), "$: Additional properties are not allowed ('colour' was unexpected)"),
    ("scan", "Status Banana", port_set("Status", "Banana"),
     "$.ports[0].Status: 'Banana' is not one of ['Available', 'In-Use', 'Disconnected']"),
    ("scan", "an empty PortName", port_set("PortName", ""), "$.ports[0].PortName: '' should be non-empty"),
    ("scan", "Baud -5", port_set("Baud", -5), "$.ports[0].Baud: -5 is less than the minimum of 0"),
    ("scan", "Baud as text", port_set("Baud", "9600"), "$.ports[0].Baud: '9600' is not of type 'integer'"),
    ("scan", "DataBits 42", port_set("DataBits", 42), "$.ports[0].DataBits: 42 is not one of [0, 4, 5, 6, 7, 8]"),
    ("scan", "Parity 7", port_set("Parity", 7), "$.ports[0].Parity: 7 is greater than the maximum of 4"),
    ("scan", "ParityName Odds", port_set("ParityName", "Odds"),
     "$.ports[0].ParityName: 'Odds' is not one of ['None', 'Odd', 'Even', 'Mark', 'Space', '']"),
    ("scan", "StopBits 3", port_set("StopBits", 3), "$.ports[0].StopBits: 3 is not one of [0, 1, 1.5, 2]"),
    ("scan", "a cable verdict 2", port_set("CableKind", 2), "$.ports[0].CableKind: 2 is not one of [-1, 0, 1]"),
    ("scan", "a misspelt field", lambda d: d["ports"][0].__setitem__("Bauds", d["ports"][0].pop("Baud")),
     "$.ports[0]: 'Baud' is a required property"),
    ("scan", "a flow flag missing", lambda d: d["ports"][0]["FlowControlBits"].pop("OutX"),
     "$.ports[0].FlowControlBits: 'OutX' is a required property"),
    ("scan", "DtrControl unknown", port_set("DtrControl", "always"),
     "$.ports[0].DtrControl: 'always' is not one of ['disable', 'enable', 'handshake', 'toggle', None]"),
    ("scan", "DiscoveryIndex negative", port_set("DiscoveryIndex", -1),
     "$.ports[0].DiscoveryIndex: -1 is less than the minimum of 0"),
    ("scan", "CabledTo empty", port_set("CabledTo", ""), "$.ports[0].CabledTo: '' should be non-empty"),
    ("list", "a scan field in a listing", port_set("Baud", 9600),
     "$.ports[0]: Additional properties are not allowed ('Baud' was unexpected)"),
    ("list", "Present as a number", port_set("Present", 1), "$.ports[0].Present: 1 is not of type 'boolean'"),
    ("list", "an identity field unknown", lambda d: d["ports"][0]["Identity"].__setitem__("Colour", "red"),
     "$.ports[0].Identity: Additional properties are not allowed ('Colour' was unexpected)"),
    ("release", "no header", lambda d: [d.pop(k) for k in ("schema", "kestrune", "host", "time")],
     "$: 'schema' is a required property"),
    ("release", "a reason of its own", lambda d: d["refused"][0].__setitem__("reason", "busy"),
     "$.refused[0].reason: 'busy' is not one of ['a device that is present uses it', 'the device map names it now', "
     "'the port list names it now', 'not reserved', 'outside the COM number range']"),
    ("release", "a port not a COM number", lambda d: d["refused"][0].__setitem__("port", "LPT1"),
     "$.refused[0].port: 'LPT1' does not match '^COM[1-9][0-9]{0,3}$'"),
    ("release", "before as lower-case hex", setting("before", "7c 02"),
     "$.before: '7c 02' does not match '^([0-9A-F]{2}( [0-9A-F]{2})*)?$'"),
    ("restore", "only its mode", lambda d: [d.pop(k) for k in list(d) if k != "mode"],
     "$: 'schema' is a required property"),
    ("restore", "no kept list", without("kept"), "$: 'kept' is a required property"),
    ("restore", "a release's field", setting("released", []),
     "$: Additional properties are not allowed ('released' was unexpected)"),
]
for mode, what, breaking, message in BROKEN:
    broken = copy.deepcopy(documents[mode])
    breaking(broken)
    problem = valid(broken)
    check(problem == message, f"a {mode} document with {what} fails with: {message}" +
          ("" if problem == message else f" (got: {problem})"))

finish()
