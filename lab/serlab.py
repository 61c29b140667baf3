#!/usr/bin/env python3
"""serlab - the serial lab: a Wine prefix that looks like a Windows machine with serial hardware.

Commands:
  up LAYOUT               bring the lab up with LAYOUT (a file, or a name under lab/layouts/)
  down                    tear down what `up` started (by process id) and stop the Wine server
  status                  show the ports and the processes of the lab
  wire COMn KIND [PEER]   rewire a port: none, loopback, null-modem PEER, device, dsr-only
  far COMn [--dtr on|off] [--rts on|off] [--ri on|off]
                          set the lines a far-end device drives (device wiring)
  driver COMn uart|ftdi|usbser|nolines [--latency MS] [--stall MS] [--open-lines high|low]
                          change a port's driver personality (see lab/README.md)
  remove COMn             unplug a port: its socat ends and its pseudo-terminal disappears
  replug COMn             plug a removed port in again (new pseudo-terminal, device map rewritten)
  hold COMn [--baud N] [--data N] [--parity P] [--stop S] [--dtr on|off] [--rts on|off]
                          start a lab holder on a port
  release COMn            stop the lab holder of a port

Paths: repository R = parent of this file's folder; work dir W = $KESTRUNE_WORK or R/.work;
Wine prefix W/prefix; lab files under W/lab. With KESTRUNE_ARCH=i686 the same lab in the 32-bit
world: prefix W/prefix-i686, lab files under W/lab-i686.
"""
import argparse
import configparser
import fcntl
import glob
import json
import mmap
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time

R = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
W = os.path.abspath(os.environ.get("KESTRUNE_WORK") or os.path.join(R, ".work"))
# KESTRUNE_ARCH=i686: the same lab in the 32-bit world (its own prefix and lab files, the 32-bit
# Wine under qemu, served by the host's 64-bit wineserver).
ARCH = os.environ.get("KESTRUNE_ARCH", "x86_64")
if ARCH not in ("x86_64", "i686"):
    sys.exit(f"[serlab] KESTRUNE_ARCH must be x86_64 or i686, not {ARCH!r}")
I686 = ARCH == "i686"
PREFIX = os.path.join(W, "prefix-i686" if I686 else "prefix")
LAB = os.path.join(W, "lab-i686" if I686 else "lab")
PORTS_DIR = os.path.join(LAB, "ports")
STATE_FILE = os.path.join(LAB, "state.bin")
RUN_FILE = os.path.join(LAB, "run.json")
ENV_FILE = os.path.join(LAB, "env")
# The preload library goes into 64-bit processes (wineserver) and, in the 32-bit world, into the
# emulated 32-bit Wine processes too: the loader of each picks its own build through $LIB.
PRELOAD_SO = os.path.join(LAB, "serlab_preload.so")
PRELOAD_LIB_DIRS = {"x86_64": "lib/x86_64-linux-gnu", "i686": "lib/i386-linux-gnu"}
PRELOAD_CC = {"x86_64": "gcc", "i686": "i686-linux-gnu-gcc"}
LAB_SRC = os.path.join(R, "lab")
RUNNER32 = os.path.abspath(os.environ.get("KESTRUNE_RUNNER32") or os.path.join(W, "runner-i686"))
WINE = os.path.join(RUNNER32, "root/usr/lib/wine/wine") if I686 else "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64" if I686 else "/usr/lib/wine/wineserver"
CXX = "i686-w64-mingw32-g++-posix" if I686 else "x86_64-w64-mingw32-g++-posix"
BUILD_DIR = os.path.join(W, "build-i686" if I686 else "build-x86_64")
PREFIX_LAB_DIR = os.path.join(PREFIX, "drive_c", "lab")
HOLDER_WIN = "C:\\lab\\holder.exe"

# ---- shared state file (lab/include/lab_state.h) ----------------------------------------------
STATE_MAGIC = 0x42414C53
STATE_VERSION = 2
MAX_PORTS = 64
HEADER_SIZE = 64
SLOT_SIZE = 128
STATE_SIZE = HEADER_SIZE + SLOT_SIZE * MAX_PORTS
OFF_IN_USE, OFF_PTY, OFF_COM, OFF_WIRING, OFF_PEER, OFF_OUT, OFF_FAR, OFF_CFLAG, OFF_CFLAG_SET, OFF_OPENS = (
    0, 4, 8, 12, 16, 20, 24, 28, 32, 36)
OFF_DRIVER, OFF_LATENCY, OFF_STALL, OFF_REQ, OFF_OPEN_LINES = 44, 46, 48, 52, 64
WIRINGS = {"none": 0, "loopback": 1, "null-modem": 2, "device": 3, "dsr-only": 4}
# Driver personalities (lab_state.h, enum lab_driver) and their default latency in ms.
DRIVERS = {"uart": 0, "ftdi": 1, "usbser": 2, "nolines": 3}
DEFAULT_LATENCY = {"uart": 0, "ftdi": 16, "usbser": 2, "nolines": 0}
# Lines at open: Windows' serial drivers apply the default control block at open, which raises
# DTR and RTS; the lab's old behaviour (both low) stays the default of nolines.
DEFAULT_OPEN_LINES = {"uart": "high", "ftdi": "high", "usbser": "high", "nolines": "low"}
OPEN_LINES = {"high": 0x002 | 0x004, "low": 0}
# The highest COM number this Wine can create a port for.
MAX_WINE_COM = 255
LINE_DTR, LINE_RTS, LINE_RI = 0x002, 0x004, 0x080

# ---- layout kinds -------------------------------------------------------------------------------
DEVICE_KINDS = {"free", "held", "loopback", "null-modem", "device", "dsr-only"}
KINDS = DEVICE_KINDS | {"portlist-only", "devicemap-unopenable"}
DEFAULT_WIRING = {"free": "none", "held": "none", "loopback": "loopback", "null-modem": "null-modem",
                  "device": "device", "dsr-only": "dsr-only"}
HOLDER_KEYS = ("baud", "data", "parity", "stop", "dtr", "rts")
PORTLIST_DEFAULT = "9600,n,8,1"


class LabError(Exception):
    pass


class LabStartHung(LabError):
    """A Wine program of the lab's start did not finish within its bound. Seen once in a whole
    test run, under the emulated 32-bit Wine: `up` names what was running and starts over once."""


def log(msg):
    print(f"[serlab] {msg}", file=sys.stderr, flush=True)


# ---- environments -------------------------------------------------------------------------------

def plain_env():
    """Environment for non-Wine helpers (socat, compilers): no preload library."""
    env = dict(os.environ)
    env.pop("LD_PRELOAD", None)
    return env


# The language of the lab's machine ([lab] locale = ru_RU.UTF-8), set by `up` and kept in the
# run file. Wine takes its code pages from LC_ALL/LANG when a process starts (ru_RU: ANSI 1251,
# OEM 866; fr_FR: 1252 and 850; zh_CN: 936), whether or not the host has that locale.
LAB_LOCALE = None


def lab_env_vars():
    preload = os.path.join(LAB, "$LIB", "serlab_preload.so") if I686 else PRELOAD_SO
    env = {"LD_PRELOAD": preload, "KESTRUNE_LAB_STATE": STATE_FILE, "KESTRUNE_WORK": W}
    if LAB_LOCALE:
        env.update({"LC_ALL": LAB_LOCALE, "LANG": LAB_LOCALE})
    if I686:
        env.update({"KESTRUNE_ARCH": ARCH, "KESTRUNE_RUNNER32": RUNNER32})
    return env


def wine_env(with_lab=True):
    env = plain_env()
    env.update({"WINEPREFIX": PREFIX, "WINEDEBUG": "-all", "WINEARCH": "win32" if I686 else "win64",
                "KESTRUNE_WORK": W})
    if with_lab:
        env.update(lab_env_vars())
    return env


DEVNULL = subprocess.DEVNULL


# ---- layout -------------------------------------------------------------------------------------

def com_number(name):
    m = re.fullmatch(r"COM([1-9][0-9]{0,3})", name.strip().upper())
    if not m or int(m.group(1)) > 4096:  # the COM number database's range
        raise LabError(f"not a COM name: {name!r}")
    return int(m.group(1))


def find_layout(arg):
    for cand in (arg, os.path.join(LAB_SRC, "layouts", arg), os.path.join(LAB_SRC, "layouts", arg + ".ini")):
        if os.path.isfile(cand):
            return os.path.abspath(cand)
    raise LabError(f"layout not found: {arg}")


def on_off(value, what):
    v = str(value).strip().lower()
    if v in ("on", "1", "yes", "true"):
        return True
    if v in ("off", "0", "no", "false"):
        return False
    raise LabError(f"{what}: expected on or off, got {value!r}")


def load_driver(com, o):
    """A port's driver personality: driver, latency_ms, stall_ms, open_lines."""
    driver = o.get("driver", "uart").lower()
    if driver not in DRIVERS:
        raise LabError(f"{com}: unknown driver {driver!r} (one of {', '.join(DRIVERS)})")
    try:
        latency = int(o.get("latency_ms", DEFAULT_LATENCY[driver]))
        stall = int(o.get("stall_ms", 0))
    except ValueError:
        raise LabError(f"{com}: latency_ms and stall_ms are whole milliseconds")
    if not 0 <= latency <= 65535 or stall < 0:
        raise LabError(f"{com}: latency_ms 0..65535, stall_ms 0 or more")
    open_lines = o.get("open_lines", DEFAULT_OPEN_LINES[driver]).lower()
    if open_lines not in OPEN_LINES:
        raise LabError(f"{com}: open_lines is high or low, got {open_lines!r}")
    return {"driver": driver, "latency_ms": latency, "stall_ms": stall, "open_lines": open_lines}


def load_layout(path):
    cp = configparser.ConfigParser(interpolation=None, inline_comment_prefixes=(";", "#"))
    cp.optionxform = str.lower
    try:
        with open(path, encoding="utf-8") as f:
            cp.read_file(f)
    except (OSError, configparser.Error) as e:
        raise LabError(f"cannot read layout {path}: {e}")
    name = cp.get("lab", "name", fallback=os.path.splitext(os.path.basename(path))[0])
    ports = []
    seen = set()
    for sec in cp.sections():
        if sec.lower() == "lab":
            continue
        com = f"COM{com_number(sec)}"
        if com in seen:
            raise LabError(f"{com} declared twice")
        seen.add(com)
        o = {k: v.strip() for k, v in cp.items(sec)}
        kind = o.get("kind", "").lower()
        if kind not in KINDS:
            raise LabError(f"{com}: unknown kind {kind!r} (one of {', '.join(sorted(KINDS))})")
        p = {"com": com, "num": com_number(com), "kind": kind, "peer": "", "holder": {}}
        if kind in DEVICE_KINDS:
            p["wiring"] = o.get("wiring", DEFAULT_WIRING[kind]).lower()
            if p["wiring"] not in WIRINGS:
                raise LabError(f"{com}: unknown wiring {p['wiring']!r}")
            if p["wiring"] == "null-modem":
                if not o.get("peer"):
                    raise LabError(f"{com}: null-modem needs peer = COMn")
                p["peer"] = f"COM{com_number(o['peer'])}"
            far = 0
            if on_off(o.get("far_dtr", "on"), f"{com} far_dtr"):
                far |= LINE_DTR
            if on_off(o.get("far_rts", "on"), f"{com} far_rts"):
                far |= LINE_RTS
            if on_off(o.get("far_ri", "off"), f"{com} far_ri"):
                far |= LINE_RI
            p["far_lines"] = far if p["wiring"] == "device" else 0
            p["device_name"] = ""  # measured when the pty exists
            p.update(load_driver(com, o))
            if p["num"] > MAX_WINE_COM:
                raise LabError(f"{com}: a port with a device must be COM1..COM{MAX_WINE_COM} (this Wine creates no higher one)")
        else:
            p["wiring"] = ""
            p["far_lines"] = 0
            p["device_name"] = o.get("device", f"\\Device\\Serial{p['num'] - 1}") \
                if kind == "devicemap-unopenable" else ""
        in_pl_default = "no" if kind == "devicemap-unopenable" else "yes"
        pl = o.get("portlist", PORTLIST_DEFAULT if on_off(o.get("in_portlist", in_pl_default), "in_portlist")
                   else "")
        if pl.lower() in ("no", "off"):
            pl = ""
        p["portlist"] = pl
        if kind == "held":
            h = {}
            for k in HOLDER_KEYS:
                if k in o and o[k] != "":
                    h[k] = o[k]
            p["holder"] = h
        elif any(k in o for k in HOLDER_KEYS):
            raise LabError(f"{com}: holder settings only for kind = held")
        p["identity"] = load_identity(com, p["num"], kind, o, p.get("driver", ""), p.get("latency_ms", 0))
        ports.append(p)
    by = {p["com"]: p for p in ports}
    for p in ports:
        if p["peer"]:
            q = by.get(p["peer"])
            if not q or q["kind"] not in DEVICE_KINDS or q["com"] == p["com"]:
                raise LabError(f"{p['com']}: peer {p['peer']} is not a port with a device")
            if q["wiring"] != "null-modem":
                raise LabError(f"{p['com']}: peer {q['com']} must be wired null-modem too")
            if q["peer"] and q["peer"] != p["com"]:
                raise LabError(f"{p['com']}: peer {q['com']} is wired to {q['peer']}")
            q["peer"] = p["com"]
    if sum(1 for p in ports if p["kind"] in DEVICE_KINDS) > MAX_PORTS:
        raise LabError("too many ports")
    reserve = []
    for item in re.split(r"[,\s]+", cp.get("lab", "reserve", fallback="").strip()):
        if item:
            com = f"COM{com_number(item)}"
            if com in seen:
                raise LabError(f"reserve = {com}: a port of the layout; reserve only numbers with no device")
            reserve.append(com)
    locale = cp.get("lab", "locale", fallback="").strip()
    if locale and not re.fullmatch(r"[a-z]{2,3}_[A-Z]{2}(\.[A-Za-z0-9-]+)?(@[a-z]+)?", locale):
        raise LabError(f"locale = {locale}: a name like ru_RU.UTF-8")
    return {"name": name, "path": path, "ports": ports, "reserve": reserve, "locale": locale}


# ---- hardware identity: device entries, ports class, COM number database ---------------------

PORTS_CLASS = "{4d36e978-e325-11ce-bfc1-08002be10318}"
COMPORT_INTERFACE = "{86e0d1e0-8089-11d0-9ce4-08003e301f73}"
CCS = "System\\CurrentControlSet"
IDENTITY_KEYS = ("vid", "pid", "serial", "friendly", "description", "mfg", "phantom")


def load_identity(com, num, kind, o, driver="", latency_ms=0):
    """The device entry a layout port declares (vid, pid, serial, friendly, ...), or None."""
    if not any(k in o for k in IDENTITY_KEYS):
        return None
    phantom = on_off(o.get("phantom", "no"), f"{com} phantom")
    if phantom and kind != "portlist-only":
        raise LabError(f"{com}: phantom = yes needs kind = portlist-only (the device is gone)")
    vid, pid, serial = o.get("vid", "").upper(), o.get("pid", "").upper(), o.get("serial", "")
    if bool(vid) != bool(pid) or any(x and not re.fullmatch(r"[0-9A-F]{4}", x) for x in (vid, pid)):
        raise LabError(f"{com}: vid and pid are four hexadecimal digits each, both or neither")
    if serial and (not vid or not re.fullmatch(r"[A-Za-z0-9_.-]{1,64}", serial)):
        raise LabError(f"{com}: serial needs vid and pid and is letters, digits, '_', '.' or '-'")
    if vid and driver == "ftdi":  # an FTDI adapter: its own bus, and its latency timer
        description = o.get("description", "USB Serial Port")
        ident = {"instance": f"FTDIBUS\\VID_{vid}+PID_{pid}+{serial or f'FT{num:06d}'}A\\0000",
                 "hardware_ids": [f"FTDIBUS\\COMPORT&VID_{vid}&PID_{pid}"],
                 "mfg": o.get("mfg", "FTDI"), "service": "FTSER2K", "location": "",
                 "parameters": [("LatencyTimer", "dword", max(1, min(255, latency_ms)))]}
    elif vid:
        description = o.get("description", "USB Serial Device")
        ident = {"instance": f"USB\\VID_{vid}&PID_{pid}\\" + (serial or f"5&1A2B3C4D&0&{num}"),
                 "hardware_ids": [f"USB\\VID_{vid}&PID_{pid}&REV_0100", f"USB\\VID_{vid}&PID_{pid}"],
                 "mfg": o.get("mfg", "Microsoft"), "service": "usbser", "location": f"Port_#{num:04d}.Hub_#0001"}
    else:  # an on-board port: no USB identity
        description = o.get("description", "Communications Port")
        ident = {"instance": f"ACPI\\PNP0501\\{num}", "hardware_ids": ["ACPI\\PNP0501", "*PNP0501"],
                 "mfg": o.get("mfg", "(Standard port types)"), "service": "Serial", "location": ""}
    ident.update({"vid": vid, "pid": pid, "serial": serial, "description": description,
                  "friendly": o.get("friendly", f"{description} ({com})"), "phantom": phantom})
    return ident


def comdb_bitmap(layout):
    """Bit n-1 (byte (n-1)/8, bit (n-1)%8) reserves COMn: every port with a device entry and every
    number the layout reserves with no device."""
    numbers = [p["num"] for p in layout["ports"] if p.get("identity")]
    numbers += [com_number(c) for c in layout.get("reserve", [])]
    bits = bytearray(32 * ((max(numbers, default=1) + 255) // 256))  # grows by 256 numbers
    for n in numbers:
        bits[(n - 1) // 8] |= 1 << ((n - 1) % 8)
    return bytes(bits)


def identity_keys(layout):
    """(key, [(name, type, data)]) for the Enum tree, the ports class, the COM-port interface and ComDB."""
    keys = []
    devices = [p for p in layout["ports"] if p.get("identity")]
    for index, p in enumerate(devices):
        d = p["identity"]
        driver = f"{PORTS_CLASS}\\{index:04d}"
        keys.append((f"{CCS}\\Enum\\{d['instance']}", [
            ("ClassGUID", "sz", PORTS_CLASS.upper()), ("Class", "sz", "Ports"),
            ("HardwareID", "multi", d["hardware_ids"]), ("DeviceDesc", "sz", d["description"]),
            ("FriendlyName", "sz", d["friendly"]), ("Mfg", "sz", d["mfg"]), ("Service", "sz", d["service"]),
            ("Driver", "sz", driver), ("ConfigFlags", "dword", 0)] +
            ([("LocationInformation", "sz", d["location"])] if d["location"] else [])))
        keys.append((f"{CCS}\\Enum\\{d['instance']}\\Device Parameters",
                     [("PortName", "sz", p["com"])] + d.get("parameters", [])))
        keys.append((f"{CCS}\\Control\\Class\\{driver}", [
            ("DriverDesc", "sz", d["description"]), ("ProviderName", "sz", d["mfg"]),
            ("MatchingDeviceId", "sz", d["hardware_ids"][-1].lower())]))
        link = "##?#" + d["instance"].replace("\\", "#") + "#" + COMPORT_INTERFACE
        keys.append((f"{CCS}\\Control\\DeviceClasses\\{COMPORT_INTERFACE}\\{link}",
                     [("DeviceInstance", "sz", d["instance"])]))
        keys.append((f"{CCS}\\Control\\DeviceClasses\\{COMPORT_INTERFACE}\\{link}\\#",
                     [("SymbolicLink", "sz", "\\\\?\\" + link[4:])]))
    keys.append((f"{CCS}\\Control\\COM Name Arbiter", [("ComDB", "hex", comdb_bitmap(layout))]))
    return keys


def reg_value_line(name, kind, data):
    head = f'"{reg_escape(name)}"='
    if kind == "multi":
        return head + 'str(7):"' + "".join(reg_escape(x) + "\\0" for x in data) + '"'
    if kind == "hex":
        return head + "hex:" + ",".join(f"{b:02x}" for b in data)
    if kind == "dword":
        return head + f"dword:{data:08x}"
    return head + f'"{reg_escape(data)}"'


def reg_remove_identity(lines):
    """Removes the keys a previous run wrote: ports-class devices of the Enum tree (with their
    subkeys), the ports class's driver keys, the COM-port interfaces and the COM Name Arbiter."""
    blocks, start = [], None
    for i, ln in enumerate(lines):
        if ln.startswith("["):
            if start is not None:
                blocks.append((start, i))
            start = i
    if start is not None:
        blocks.append((start, len(lines)))

    def path_of(header):
        return header[1:header.rfind("]")].replace("\\\\", "\\").lower()

    ccs = CCS.lower() + "\\"
    roots = [ccs + f"control\\deviceclasses\\{COMPORT_INTERFACE}\\", ccs + f"control\\class\\{PORTS_CLASS}\\"]
    exact = {ccs + "control\\com name arbiter"}
    owned = []
    for a, b in blocks:
        path = path_of(lines[a])
        if path.startswith(ccs + "enum\\") and any(
                ln.lower().startswith(f'"classguid"="{PORTS_CLASS}"') for ln in lines[a + 1:b]):
            owned.append(path + "\\")
            exact.add(path)

    def is_owned(path):
        return path in exact or any(path.startswith(r) for r in roots + owned)

    drop = [(a, b) for a, b in blocks if is_owned(path_of(lines[a]))]
    for a, b in reversed(drop):
        del lines[a:b]


def reg_write_identity(lines, layout):
    reg_remove_identity(lines)
    now = int(time.time())
    filetime = (now + 11644473600) * 10000000
    if lines and lines[-1].strip():
        lines.append("")
    for key, values in identity_keys(layout):
        lines.extend([f"[{reg_escape(key)}] {now}", f"#time={filetime:x}"] +
                     [reg_value_line(*v) for v in values] + [""])


# ---- unix <-> Windows paths --------------------------------------------------------------------

def drives():
    out = []
    dd = os.path.join(PREFIX, "dosdevices")
    try:
        names = os.listdir(dd)
    except OSError:
        return [("Z:", "/")]
    for n in names:
        if re.fullmatch(r"[a-z]:", n):
            t = os.path.realpath(os.path.join(dd, n))
            if os.path.isdir(t):
                out.append((n.upper(), t))
    return out or [("Z:", "/")]


def windows_path(unix_path):
    """Windows (DOS) path of a unix path, as Wine names it: the drive with the longest matching root."""
    p = os.path.realpath(unix_path)
    best = None
    for letter, root in drives():
        r = root.rstrip("/")
        if p == r or p.startswith(r + "/") or r == "":
            if best is None or len(r) > len(best[1]):
                best = (letter, r)
    if best is None:
        best = ("Z:", "")
    rest = p[len(best[1]):]
    return best[0] + (rest.replace("/", "\\") or "\\")


def nt_object_name(unix_path):
    """Object name Wine gives an open handle of the file: NT form of the resolved unix path."""
    return "\\??\\" + windows_path(unix_path)


# ---- processes --------------------------------------------------------------------------------

def pid_cmdline(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return None


def pid_state(pid):
    """The process's state letter (R, S, D, Z, ...), or None when there is no such process."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0]
    except (OSError, IndexError):
        return None


def pid_alive(pid):
    return bool(pid) and pid_state(pid) not in (None, "Z")


def prefix_pids():
    """The Wine processes of this lab's prefix: a wine or qemu executable whose environment
    names the prefix (scripts and test drivers with the same environment are not counted)."""
    want = f"WINEPREFIX={PREFIX}".encode()
    pids = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            exe = os.path.basename(os.readlink(f"/proc/{name}/exe"))
            if not exe.startswith(("wine", "qemu-")):
                continue
            with open(f"/proc/{name}/environ", "rb") as f:
                if want in f.read().split(b"\0"):
                    pids.append(int(name))
        except OSError:
            pass
    return sorted(pids)


def describe_pid(pid):
    """'1234 S futex_wait_queue wine labreg.exe ...': enough to see where a start hangs."""
    try:
        with open(f"/proc/{pid}/wchan") as f:
            wait = f.read() or "-"
    except OSError:
        wait = "-"
    cmd = " ".join(a.rsplit("/", 1)[-1] for a in (pid_cmdline(pid) or "").split())
    return f"{pid} {pid_state(pid) or '?'} {wait} {cmd[:160]}"


def kill_prefix_processes():
    """What a stopped server leaves of its clients: a client hung inside the emulator never
    notices that its server is gone."""
    for pid in prefix_pids():
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


def kill_pid(pid, marker, sig=signal.SIGTERM, wait=2.0):
    """Kill pid if it is still the process we started (its command line contains marker)."""
    cl = pid_cmdline(pid)
    if not cl or marker not in cl:
        return False
    try:
        os.kill(pid, sig)
    except OSError:
        return False
    end = time.time() + wait
    while time.time() < end and pid_alive(pid):
        time.sleep(0.01)
    if pid_alive(pid):
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
    return True


def lab_socat_pids():
    """socat processes serving this work dir's ports (also those of a crashed run)."""
    out = []
    marker = f"{PORTS_DIR}/"
    for d in os.listdir("/proc"):
        if d.isdigit():
            cl = pid_cmdline(int(d))
            if cl and cl.startswith("socat ") and marker in cl:
                out.append(int(d))
    return out


# ---- builds ------------------------------------------------------------------------------------

def newer(target, sources):
    try:
        t = os.path.getmtime(target)
    except OSError:
        return False
    return all(os.path.getmtime(s) <= t for s in sources)


def build_preload_for(arch, out):
    srcs = [os.path.join(LAB_SRC, "preload", "serlab_preload.c"), os.path.join(LAB_SRC, "include", "lab_state.h")]
    if newer(out, srcs):
        return out
    os.makedirs(os.path.dirname(out), exist_ok=True)
    tmp = out + ".tmp"
    cmd = [PRELOAD_CC[arch], "-O2", "-Wall", "-shared", "-fPIC", "-fvisibility=hidden", "-o", tmp, srcs[0],
           "-ldl", "-lpthread"]
    r = subprocess.run(cmd, env=plain_env(), stdin=DEVNULL, capture_output=True, text=True)
    if r.returncode != 0:
        raise LabError(f"building the {arch} preload library failed:\n" + r.stderr)
    os.replace(tmp, out)
    return out


def build_preload():
    if not I686:
        return build_preload_for("x86_64", PRELOAD_SO)
    for arch, libdir in PRELOAD_LIB_DIRS.items():
        build_preload_for(arch, os.path.join(LAB, libdir, "serlab_preload.so"))


def windows_tool(name):
    """holder.exe / labreg.exe: the x86_64 build's copy when current, else built here into W/lab."""
    src = os.path.join(LAB_SRC, "holder", name + ".cpp")
    sources = [src, os.path.join(R, "support", "handles.h")]
    built = os.path.join(BUILD_DIR, "lab", name + ".exe")
    if newer(built, sources):
        return built
    own = os.path.join(LAB, name + ".exe")
    if newer(own, sources):
        return own
    tmp = own + ".tmp.exe"
    cmd = [CXX, "-std=c++17", "-O2", "-s", "-static", "-I", R, "-o", tmp, src]
    r = subprocess.run(cmd, env=plain_env(), stdin=DEVNULL, capture_output=True, text=True)
    if r.returncode != 0:
        raise LabError(f"building {name}.exe failed:\n" + r.stderr)
    os.replace(tmp, own)
    return own


def ensure_prefix():
    if os.path.isfile(os.path.join(PREFIX, "system.reg")):
        return
    script = os.path.join(R, "tools", "prefix.sh")
    env = wine_env(with_lab=False)
    if os.path.isfile(script):
        env["KESTRUNE_ARCH"] = ARCH
        subprocess.run(["bash", script], env=env, stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL, check=False)
    if not os.path.isfile(os.path.join(PREFIX, "system.reg")) and not I686:
        log(f"creating Wine prefix {PREFIX}")
        os.makedirs(W, exist_ok=True)
        subprocess.run([WINE, "wineboot", "-i"], env=env, stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=env, stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL)
    if not os.path.isfile(os.path.join(PREFIX, "system.reg")):
        raise LabError(f"no Wine prefix at {PREFIX}")


# ---- Wine registry file (system.reg) ---------------------------------------------------------

def reg_escape(s):
    out = []
    for ch in s:
        if ch == "\\":
            out.append("\\\\")
        elif ch == '"':
            out.append('\\"')
        elif 32 <= ord(ch) < 127:
            out.append(ch)
        else:
            out.append(f"\\x{ord(ch):04x}")
    return "".join(out)


def reg_value_name(line):
    """Unescaped value name of a `"name"=...` line, or None."""
    if not line.startswith('"'):
        return None
    out, i = [], 1
    while i < len(line):
        c = line[i]
        if c == "\\" and i + 1 < len(line):
            out.append(line[i + 1])
            i += 2
            continue
        if c == '"':
            return "".join(out)
        out.append(c)
        i += 1
    return None


def reg_set_values(lines, key, values, keep=lambda name: False):
    """Replace the values of key (relative to HKLM) in system.reg lines.

    values: list of (name, data) REG_SZ values; existing values for which keep(name) is true stay.
    """
    header = "[" + reg_escape(key) + "]"
    start = None
    for i, ln in enumerate(lines):
        low = ln.rstrip().lower()
        if low == header.lower() or low.startswith(header.lower() + " "):
            start = i
            break
    now = int(time.time())
    filetime = (now + 11644473600) * 10000000
    new_values = [f'"{reg_escape(n)}"="{reg_escape(d)}"' for n, d in values]
    if start is None:
        if lines and lines[-1].strip():
            lines.append("")
        lines.extend([f"{header} {now}", f"#time={filetime:x}"] + new_values + [""])
        return
    end = start + 1
    while end < len(lines) and lines[end].strip():
        end += 1
    body = lines[start + 1:end]
    meta, kept, cur_keep = [], [], False
    for ln in body:
        if ln.startswith("#"):
            meta.append(ln)
            cur_keep = False
        elif ln.startswith('"') or ln.startswith("@"):
            name = reg_value_name(ln)
            cur_keep = name is not None and keep(name)
            if cur_keep:
                kept.append(ln)
        elif ln.startswith(" ") and cur_keep:  # continuation of a kept value
            kept.append(ln)
    meta = [m for m in meta if not m.startswith("#time=")] + [f"#time={filetime:x}"]
    lines[start:end] = [f"{header} {now}"] + meta + kept + new_values


def write_registry(layout):
    path = os.path.join(PREFIX, "system.reg")
    with open(path, encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    wine_ports = [(p["com"], os.path.join(PORTS_DIR, p["com"])) for p in layout["ports"] if p["kind"] in DEVICE_KINDS]
    reg_set_values(lines, "Software\\Wine\\Ports", wine_ports)
    port_list = [(p["com"] + ":", p["portlist"]) for p in layout["ports"] if p["portlist"]]
    reg_set_values(lines, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports", port_list,
                   keep=lambda name: "COM" not in name.upper())
    reg_write_identity(lines, layout)
    tmp = path + ".serlab.tmp"
    with open(tmp, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, path)


def clean_dosdevices():
    """Remove every COM/LPT link: the mount manager recreates those of the lab's ports."""
    dd = os.path.join(PREFIX, "dosdevices")
    for n in os.listdir(dd):
        if re.fullmatch(r"(com|lpt)[0-9]+", n, re.I):
            try:
                os.unlink(os.path.join(dd, n))
            except OSError:
                pass


# ---- state file -------------------------------------------------------------------------------

def new_state(slots):
    buf = bytearray(STATE_SIZE)
    struct.pack_into("<5I", buf, 0, STATE_MAGIC, STATE_VERSION, STATE_SIZE, MAX_PORTS, 1)
    for i, s in enumerate(slots):
        struct.pack_into("<IIIIiIIIIIIHHIIIII", buf, HEADER_SIZE + i * SLOT_SIZE, 1, s["pty"], s["num"],
                         WIRINGS[s["wiring"]], s["peer_slot"], 0, s["far_lines"], 0, 0, 0, 0,
                         DRIVERS[s["driver"]], s["latency_ms"], s["stall_ms"], 0, 0, 0,
                         OPEN_LINES[s["open_lines"]])
    tmp = STATE_FILE + ".tmp"
    with open(tmp, "wb") as f:
        f.write(buf)
    os.replace(tmp, STATE_FILE)


class State:
    """The live state file, mapped: changes are seen at once by every Wine process."""

    def __init__(self):
        self.f = open(STATE_FILE, "r+b")
        self.m = mmap.mmap(self.f.fileno(), STATE_SIZE)
        magic, version = struct.unpack_from("<2I", self.m, 0)
        if magic != STATE_MAGIC or version != STATE_VERSION:
            raise LabError("state file has a foreign layout")

    def close(self):
        self.m.close()
        self.f.close()

    def get(self, slot, off):
        return struct.unpack_from("<I", self.m, HEADER_SIZE + slot * SLOT_SIZE + off)[0]

    def set(self, slot, off, value, signed=False):
        struct.pack_into("<i" if signed else "<I", self.m, HEADER_SIZE + slot * SLOT_SIZE + off, value)

    def bump(self):
        g = struct.unpack_from("<I", self.m, 16)[0]
        struct.pack_into("<I", self.m, 16, (g + 1) & 0xFFFFFFFF)


# ---- socat ------------------------------------------------------------------------------------

def start_socat(com):
    a = os.path.join(PORTS_DIR, com)
    b = os.path.join(PORTS_DIR, com + ".far")
    for x in (a, b):
        if os.path.lexists(x):
            os.unlink(x)
    logf = open(os.path.join(LAB, f"socat-{com}.log"), "ab")
    p = subprocess.Popen(["socat", "-d", "-d", f"pty,raw,echo=0,link={a}", f"pty,raw,echo=0,link={b}"],
                         stdin=DEVNULL, stdout=DEVNULL, stderr=logf, env=plain_env(), start_new_session=True)
    logf.close()
    return p, a, b


def wait_links(procs, timeout=5.0):
    end = time.time() + timeout
    for com, (p, a, b) in procs.items():
        while not (os.path.exists(a) and os.path.exists(b)):
            if p.poll() is not None:
                raise LabError(f"socat for {com} exited (see {LAB}/socat-{com}.log)")
            if time.time() > end:
                raise LabError(f"socat for {com} did not create its ptys")
            time.sleep(0.005)


def pty_number(path):
    m = re.fullmatch(r"/dev/pts/([0-9]+)", os.path.realpath(path))
    if not m:
        raise LabError(f"{path} is not a pty")
    return int(m.group(1))


def start_bridge(far_a, far_b=None):
    """Data path behind the far ends: an echo (loopback plug) or a cross-link (null-modem pair)."""
    b = ["PIPE"] if far_b is None else [f"FILE:{far_b},raw,echo=0"]
    logf = open(os.path.join(LAB, "bridges.log"), "ab")
    p = subprocess.Popen(["socat", "-d", f"FILE:{far_a},raw,echo=0"] + b, stdin=DEVNULL, stdout=DEVNULL,
                         stderr=logf, env=plain_env(), start_new_session=True)
    logf.close()
    return p.pid


def wanted_bridges(run):
    out = {}
    by = {p["com"]: p for p in run["ports"]}
    for p in run["ports"]:
        if not p.get("present"):
            continue
        if p.get("wiring") == "loopback":
            out[f"loop:{p['com']}"] = [p["far_link"]]
        elif p.get("wiring") == "null-modem" and p.get("peer"):
            q = by.get(p["peer"])
            if q and q.get("present") and q.get("wiring") == "null-modem" and q.get("peer") == p["com"]:
                a, b = sorted([p, q], key=lambda x: x["num"])
                out[f"nm:{a['com']}:{b['com']}"] = [a["far_link"], b["far_link"]]
    return out


def sync_bridges(run):
    """Start and stop bridge processes so that the data paths follow the wiring."""
    have = run.setdefault("bridges", {})
    want = wanted_bridges(run)
    for key in list(have):
        if key not in want or not pid_alive(have[key]["pid"]) or have[key]["links"] != want[key]:
            kill_pid(have[key]["pid"], f"{PORTS_DIR}/")
            del have[key]
    for key, links in want.items():
        if key not in have:
            have[key] = {"pid": start_bridge(*links), "links": links}


# ---- server ------------------------------------------------------------------------------------

def stop_server():
    env = wine_env(with_lab=False)
    subprocess.run([WINESERVER, "-k"], env=env, stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL)
    try:
        subprocess.run([WINESERVER, "-w"], env=env, stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL, timeout=15)
    except subprocess.TimeoutExpired:
        log("wineserver did not stop in time")


def server_running():
    """A wineserver of this prefix listens on /tmp/wine-*/server-DEV-INO/socket (or /tmp/.wine-UID/...)."""
    try:
        st = os.stat(PREFIX)
    except OSError:
        return False
    name = f"server-{st.st_dev:x}-{st.st_ino:x}"
    return bool(glob.glob(f"/tmp/wine-*/{name}/socket") + glob.glob(f"/tmp/.wine-{os.getuid()}/{name}/socket"))


def start_server():
    r = subprocess.run([WINESERVER, "-p"], env=wine_env(), stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL)
    if r.returncode != 0:
        raise LabError("wineserver -p failed")


# labreg.exe ends within about 21 s of its own start (its wait for the mount manager is bounded).
LAB_START_BOUND_S = 60


def hung_text(what):
    return what + "; the prefix's processes then (pid state wait command): " + \
        ("; ".join(describe_pid(pid) for pid in prefix_pids()) or "none")


def run_labreg(labreg, entries, expect):
    entry_file = os.path.join(LAB, "devicemap.txt")
    with open(entry_file, "w", encoding="ascii", newline="\r\n") as f:
        f.write(f"expect {expect}\n")
        for name, com in entries:
            f.write(f"{name}\t{com}\n")
    try:
        r = subprocess.run([WINE, labreg, windows_path(entry_file)], env=wine_env(), stdin=DEVNULL,
                           stdout=DEVNULL, stderr=DEVNULL, timeout=LAB_START_BOUND_S)
    except subprocess.TimeoutExpired:
        raise LabStartHung(hung_text(f"labreg.exe did not end in {LAB_START_BOUND_S} s"))
    if r.returncode == 4:
        log("the mount manager did not publish its device map in time; the lab's entries were written anyway")
    elif r.returncode != 0:
        raise LabError(f"writing the device map failed (labreg exit {r.returncode})")


# ---- holders -----------------------------------------------------------------------------------

def holder_args(settings):
    args = []
    for k in HOLDER_KEYS:
        if k in settings and settings[k] != "":
            args += [f"--{k}", str(settings[k])]
    return args


def start_holder(com, settings, timeout=20.0):
    os.makedirs(PREFIX_LAB_DIR, exist_ok=True)
    ready = os.path.join(PREFIX_LAB_DIR, f"ready-{com}.txt")
    for x in (ready, ready + ".tmp"):
        if os.path.exists(x):
            os.unlink(x)
    cmd = [WINE, HOLDER_WIN, com] + holder_args(settings) + ["--ready-file", f"C:\\lab\\ready-{com}.txt"]
    p = subprocess.Popen(cmd, env=wine_env(), stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL,
                         start_new_session=True)
    end = time.time() + timeout
    while not os.path.exists(ready):
        if p.poll() is not None and not os.path.exists(ready):
            raise LabError(f"holder for {com} exited with {p.returncode}")
        if time.time() > end:
            text = hung_text(f"the holder for {com} did not get ready in {timeout:.0f} s")
            kill_pid(p.pid, "holder", signal.SIGKILL)
            raise LabStartHung(text)
        time.sleep(0.005)
    with open(ready, encoding="ascii", errors="replace") as f:
        text = f.read()
    m = re.search(r"pid=([0-9]+)", text)
    if not m:
        raise LabError(f"holder for {com} could not hold the port: {text.strip()}")
    return {"unix_pid": p.pid, "pid": int(m.group(1)), "settings": settings}


def stop_holder(h):
    if h and h.get("unix_pid"):
        kill_pid(h["unix_pid"], "holder", signal.SIGKILL)


# ---- run record, layout.ini, env ---------------------------------------------------------------

def load_run():
    global LAB_LOCALE
    try:
        with open(RUN_FILE) as f:
            run = json.load(f)
    except (OSError, ValueError):
        return None
    LAB_LOCALE = run.get("locale") or None
    return run


def save_run(run):
    tmp = RUN_FILE + ".tmp"
    with open(tmp, "w") as f:
        json.dump(run, f, indent=1)
    os.replace(tmp, RUN_FILE)


def python_for_windows():
    exe = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else (shutil.which("python3") or sys.executable)
    return windows_path(exe)


def write_layout_ini(run):
    lines = ["[lab]", f"name={run['name']}", f"layout={run['layout']}",
             "ports=" + ",".join(p["com"] for p in run["ports"]),
             f"state_file={windows_path(STATE_FILE)}", f"state_file_unix={STATE_FILE}",
             f"workdir_unix={W}", f"serlab_unix={os.path.abspath(__file__)}",
             f"python={python_for_windows()}", f"holder={HOLDER_WIN}", f"prefix_unix={PREFIX}",
             "reserve=" + ",".join(run.get("reserve", [])),
             "comdb=" + ",".join(f"COM{n}" for n in range(1, 8 * len(comdb_bitmap(run)) + 1)
                                 if comdb_bitmap(run)[(n - 1) // 8] & (1 << ((n - 1) % 8))), ""]
    for p in run["ports"]:
        h = p.get("holder_proc") or {}
        s = p.get("holder", {})
        lines += [f"[{p['com']}]", f"kind={p['kind']}", f"wiring={p.get('wiring', '')}", f"peer={p.get('peer', '')}",
                  f"present={1 if p.get('present') else 0}", f"slot={p.get('slot', -1)}",
                  f"devicemap={p.get('device_name', '')}", f"portlist={p.get('portlist', '')}",
                  f"pty={p.get('pty_path', '')}", f"link={p.get('link', '')}",
                  f"far={p.get('far_path', '')}",
                  f"far_windows={windows_path(p['far_path']) if p.get('far_path') else ''}",
                  f"far_lines={p.get('far_lines', 0)}",
                  f"driver={p.get('driver', '')}", f"latency_ms={p.get('latency_ms', 0)}",
                  f"stall_ms={p.get('stall_ms', 0)}", f"open_lines={p.get('open_lines', '')}",
                  f"holder_pid={h.get('pid', 0)}"]
        for k in HOLDER_KEYS:
            lines.append(f"{k}={s.get(k, '')}")
        d = p.get("identity") or {}
        lines += [f"instance={d.get('instance', '')}", f"vid={d.get('vid', '')}", f"pid={d.get('pid', '')}",
                  f"serial={d.get('serial', '')}", f"friendly={d.get('friendly', '')}",
                  f"description={d.get('description', '')}", f"mfg={d.get('mfg', '')}",
                  f"location={d.get('location', '')}", f"service={d.get('service', '')}",
                  f"phantom={1 if d.get('phantom') else 0}"]
        lines.append("")
    os.makedirs(PREFIX_LAB_DIR, exist_ok=True)
    path = os.path.join(PREFIX_LAB_DIR, "layout.ini")
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="ascii", errors="replace", newline="\r\n") as f:
        f.write("\n".join(lines))
    os.replace(tmp, path)


def write_env_file():
    with open(ENV_FILE + ".tmp", "w") as f:
        for k, v in lab_env_vars().items():
            f.write(f"{k}={v}\n")
    os.replace(ENV_FILE + ".tmp", ENV_FILE)


def devicemap_entries(run):
    return [(p["device_name"], p["com"]) for p in run["ports"]
            if p.get("device_name") and (p["kind"] == "devicemap-unopenable" or p.get("present"))]


def find_port(run, com):
    com = f"COM{com_number(com)}"
    for p in run["ports"]:
        if p["com"] == com:
            return p
    raise LabError(f"{com} is not a port of the lab")


# ---- commands -------------------------------------------------------------------------------------

def teardown():
    run = load_run()
    if run:
        for p in run["ports"]:
            stop_holder(p.get("holder_proc"))
    stop_server()
    kill_prefix_processes()
    pids = set(lab_socat_pids())
    if run:
        pids |= {p["socat_pid"] for p in run["ports"] if p.get("socat_pid")}
        pids |= {b["pid"] for b in run.get("bridges", {}).values()}
    for pid in pids:
        kill_pid(pid, f"{PORTS_DIR}/")
    if os.path.exists(STATE_FILE):
        try:
            st = State()
            for i in range(MAX_PORTS):
                st.set(i, OFF_IN_USE, 0)
            st.bump()
            st.close()
        except (OSError, ValueError, LabError):
            os.unlink(STATE_FILE)
    if os.path.isdir(PORTS_DIR):
        for n in os.listdir(PORTS_DIR):
            try:
                os.unlink(os.path.join(PORTS_DIR, n))
            except OSError:
                pass
    if os.path.exists(RUN_FILE):
        os.unlink(RUN_FILE)


def cmd_up(args):
    t0 = time.time()
    layout = load_layout(find_layout(args.layout))
    os.makedirs(PORTS_DIR, exist_ok=True)
    build_preload()
    holder = windows_tool("holder")
    labreg = windows_tool("labreg")
    ensure_prefix()
    try:
        return bring_up(layout, holder, labreg, t0)
    except LabStartHung as e:
        log(f"{e}; starting the lab over, once")
    return bring_up(layout, holder, labreg, t0)


def bring_up(layout, holder, labreg, t0):
    global LAB_LOCALE
    teardown()
    LAB_LOCALE = layout["locale"] or None
    clean_dosdevices()

    ports = [dict(p) for p in layout["ports"]]
    procs = {p["com"]: start_socat(p["com"]) for p in ports if p["kind"] in DEVICE_KINDS}
    try:
        wait_links(procs)
    except LabError:
        for pr, _, _ in procs.values():
            pr.kill()
        raise
    slot_of = {}
    for p in ports:
        if p["com"] in procs:
            pr, a, b = procs[p["com"]]
            slot_of[p["com"]] = len(slot_of)
            p.update({"slot": slot_of[p["com"]], "socat_pid": pr.pid, "link": a, "far_link": b,
                      "pty_path": os.path.realpath(a), "far_path": os.path.realpath(b), "present": True})
            p["pty"] = pty_number(a)
            p["device_name"] = nt_object_name(a)
        else:
            p.update({"slot": -1, "present": False})
    new_state([{"pty": p["pty"], "num": p["num"], "wiring": p["wiring"], "far_lines": p["far_lines"],
                "peer_slot": slot_of.get(p["peer"], -1), "driver": p["driver"], "latency_ms": p["latency_ms"],
                "stall_ms": p["stall_ms"], "open_lines": p["open_lines"]} for p in ports if p["com"] in procs])
    write_registry(layout)
    write_env_file()

    start_server()
    run = {"name": layout["name"], "layout": layout["path"], "ports": ports, "started": time.time(), "bridges": {},
           "reserve": layout["reserve"], "locale": layout["locale"]}
    sync_bridges(run)
    save_run(run)
    run_labreg(labreg, devicemap_entries(run), expect=len(procs))

    os.makedirs(PREFIX_LAB_DIR, exist_ok=True)
    dst = os.path.join(PREFIX_LAB_DIR, "holder.exe")
    if not (os.path.exists(dst) and open(dst, "rb").read() == open(holder, "rb").read()):
        shutil.copyfile(holder, dst + ".tmp")
        os.replace(dst + ".tmp", dst)
    for p in ports:
        if p["kind"] == "held":
            p["holder_proc"] = start_holder(p["com"], p["holder"])
            save_run(run)
    write_layout_ini(run)
    save_run(run)
    log(f"lab '{layout['name']}' up in {time.time() - t0:.2f} s: " +
        ", ".join(f"{p['com']}={p['kind']}" for p in ports))
    return 0


def clear_wine_ports():
    """With the server stopped: no COM name keeps a device mapping once the lab is down."""
    path = os.path.join(PREFIX, "system.reg")
    if not os.path.isfile(path):
        return
    with open(path, encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    reg_set_values(lines, "Software\\Wine\\Ports", [])
    reg_remove_identity(lines)
    tmp = path + ".serlab.tmp"
    with open(tmp, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, path)
    clean_dosdevices()


def cmd_down(args):
    teardown()
    if not server_running():
        clear_wine_ports()
    log("lab down")
    return 0


def cmd_status(args):
    run = load_run()
    if not run:
        print("lab: down")
        return 1
    print(f"lab: {run['name']} ({run['layout']}), server {'running' if server_running() else 'NOT running'}")
    st = State() if os.path.exists(STATE_FILE) else None
    for p in run["ports"]:
        extra = ""
        if st and p.get("slot", -1) >= 0:
            s = p["slot"]
            extra = (f" out=0x{st.get(s, OFF_OUT):x} opens={st.get(s, OFF_OPENS)} "
                     f"wiring={[k for k, v in WIRINGS.items() if v == st.get(s, OFF_WIRING)]}"
                     f" driver={p.get('driver', 'uart')}/{p.get('latency_ms', 0)}ms stall={p.get('stall_ms', 0)}")
        socat = p.get("socat_pid")
        h = p.get("holder_proc") or {}
        print(f"{p['com']:6} {p['kind']:22} dev={p.get('device_name', '')!s:24} pty={p.get('pty_path', '')!s:12}"
              f" socat={socat if socat and pid_alive(socat) else '-'}"
              f" holder={h.get('pid', '-') if h and pid_alive(h.get('unix_pid')) else '-'}"
              f" peer={p.get('peer') or '-'}{extra}")
    if st:
        st.close()
    return 0


def require_run():
    run = load_run()
    if not run:
        raise LabError("the lab is down")
    return run


def cmd_wire(args):
    run = require_run()
    p = find_port(run, args.port)
    kind = args.kind.lower()
    if kind not in WIRINGS:
        raise LabError(f"unknown wiring {kind!r}")
    if p.get("slot", -1) < 0:
        raise LabError(f"{p['com']} has no device to wire")
    st = State()
    try:
        by = {q["com"]: q for q in run["ports"]}
        # undo an old null-modem link
        old = by.get(p.get("peer") or "")
        if old and old.get("peer") == p["com"]:
            old["peer"], old["wiring"] = "", "none"
            st.set(old["slot"], OFF_WIRING, WIRINGS["none"])
            st.set(old["slot"], OFF_PEER, -1, signed=True)
        p["peer"] = ""
        if kind == "null-modem":
            if not args.peer:
                raise LabError("null-modem needs a peer")
            q = find_port(run, args.peer)
            if q.get("slot", -1) < 0 or q is p:
                raise LabError(f"{q['com']} cannot be the peer")
            qold = by.get(q.get("peer") or "")
            if qold and qold is not p:
                qold["peer"], qold["wiring"] = "", "none"
                st.set(qold["slot"], OFF_WIRING, WIRINGS["none"])
                st.set(qold["slot"], OFF_PEER, -1, signed=True)
            q["peer"], q["wiring"] = p["com"], "null-modem"
            p["peer"] = q["com"]
            st.set(q["slot"], OFF_PEER, p["slot"], signed=True)
            st.set(q["slot"], OFF_WIRING, WIRINGS["null-modem"])
            st.set(p["slot"], OFF_PEER, q["slot"], signed=True)
        else:
            st.set(p["slot"], OFF_PEER, -1, signed=True)
        if kind == "device" and p.get("wiring") != "device":
            p["far_lines"] = LINE_DTR | LINE_RTS
            st.set(p["slot"], OFF_FAR, p["far_lines"])
        p["wiring"] = kind
        st.set(p["slot"], OFF_WIRING, WIRINGS[kind])
        st.bump()
    finally:
        st.close()
    sync_bridges(run)
    save_run(run)
    write_layout_ini(run)
    return 0


def cmd_far(args):
    run = require_run()
    p = find_port(run, args.port)
    if p.get("slot", -1) < 0:
        raise LabError(f"{p['com']} has no device")
    far = p.get("far_lines", 0)
    for flag, bit in (("dtr", LINE_DTR), ("rts", LINE_RTS), ("ri", LINE_RI)):
        v = getattr(args, flag)
        if v is not None:
            far = (far | bit) if on_off(v, flag) else (far & ~bit)
    p["far_lines"] = far
    st = State()
    st.set(p["slot"], OFF_FAR, far)
    st.bump()
    st.close()
    save_run(run)
    write_layout_ini(run)
    return 0


def cmd_driver(args):
    run = require_run()
    p = find_port(run, args.port)
    if p.get("slot", -1) < 0:
        raise LabError(f"{p['com']} has no device")
    opts = {"driver": args.driver}
    if args.latency is not None:
        opts["latency_ms"] = args.latency
    if args.stall is not None:
        opts["stall_ms"] = args.stall
    if args.open_lines is not None:
        opts["open_lines"] = args.open_lines
    p.update(load_driver(p["com"], opts))
    st = State()
    struct.pack_into("<HH", st.m, HEADER_SIZE + p["slot"] * SLOT_SIZE + OFF_DRIVER, DRIVERS[p["driver"]],
                     p["latency_ms"])
    st.set(p["slot"], OFF_STALL, p["stall_ms"])
    st.set(p["slot"], OFF_OPEN_LINES, OPEN_LINES[p["open_lines"]])
    st.bump()
    st.close()
    save_run(run)
    write_layout_ini(run)
    return 0


def rewrite_devicemap(run):
    run_labreg(windows_tool("labreg"), devicemap_entries(run), expect=0)


def cmd_remove(args):
    run = require_run()
    p = find_port(run, args.port)
    if not p.get("present"):
        return 0
    stop_holder(p.get("holder_proc"))
    p.pop("holder_proc", None)
    if p.get("socat_pid"):
        kill_pid(p["socat_pid"], f"{PORTS_DIR}/")
    st = State()
    st.set(p["slot"], OFF_IN_USE, 0)
    st.bump()
    st.close()
    p["present"] = False
    p["socat_pid"] = 0
    sync_bridges(run)
    save_run(run)
    rewrite_devicemap(run)
    write_layout_ini(run)
    return 0


def cmd_replug(args):
    run = require_run()
    p = find_port(run, args.port)
    if p.get("present") or p.get("slot", -1) < 0:
        return 0
    pr, a, b = start_socat(p["com"])
    wait_links({p["com"]: (pr, a, b)})
    dos = os.path.join(PREFIX, "dosdevices", p["com"].lower())
    if not os.path.lexists(dos):
        os.symlink(a, dos)
    p.update({"socat_pid": pr.pid, "pty_path": os.path.realpath(a), "far_path": os.path.realpath(b),
              "pty": pty_number(a), "device_name": nt_object_name(a), "present": True})
    st = State()
    s = p["slot"]
    st.set(s, OFF_PTY, p["pty"])
    st.set(s, OFF_OUT, 0)
    st.set(s, OFF_REQ, 0)
    st.set(s, OFF_CFLAG_SET, 0)
    st.set(s, OFF_OPENS, 0)
    st.set(s, OFF_IN_USE, 1)
    st.bump()
    st.close()
    sync_bridges(run)
    save_run(run)
    rewrite_devicemap(run)
    write_layout_ini(run)
    return 0


def cmd_hold(args):
    run = require_run()
    p = find_port(run, args.port)
    stop_holder(p.get("holder_proc"))
    settings = {k: getattr(args, k) for k in HOLDER_KEYS if getattr(args, k) is not None}
    p["holder_proc"] = start_holder(p["com"], settings)
    p["holder"] = settings
    save_run(run)
    write_layout_ini(run)
    print(p["holder_proc"]["pid"])
    return 0


def cmd_release(args):
    run = require_run()
    p = find_port(run, args.port)
    stop_holder(p.get("holder_proc"))
    p.pop("holder_proc", None)
    save_run(run)
    write_layout_ini(run)
    return 0


def main(argv=None):
    ap = argparse.ArgumentParser(prog="serlab.py", description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--result-file", help="write the exit status to this file when done")
    sub = ap.add_subparsers(dest="cmd", required=True)
    s = sub.add_parser("up")
    s.add_argument("layout")
    s.set_defaults(fn=cmd_up)
    sub.add_parser("down").set_defaults(fn=cmd_down)
    sub.add_parser("status").set_defaults(fn=cmd_status)
    s = sub.add_parser("wire")
    s.add_argument("port")
    s.add_argument("kind")
    s.add_argument("peer", nargs="?")
    s.set_defaults(fn=cmd_wire)
    s = sub.add_parser("far")
    s.add_argument("port")
    for k in ("dtr", "rts", "ri"):
        s.add_argument(f"--{k}")
    s.set_defaults(fn=cmd_far)
    s = sub.add_parser("driver")
    s.add_argument("port")
    s.add_argument("driver", choices=sorted(DRIVERS))
    s.add_argument("--latency", help="latency_ms")
    s.add_argument("--stall", help="stall_ms")
    s.add_argument("--open-lines", dest="open_lines", choices=sorted(OPEN_LINES), help="DTR and RTS at open")
    s.set_defaults(fn=cmd_driver)
    for name, fn in (("remove", cmd_remove), ("replug", cmd_replug), ("release", cmd_release)):
        s = sub.add_parser(name)
        s.add_argument("port")
        s.set_defaults(fn=fn)
    s = sub.add_parser("hold")
    s.add_argument("port")
    for k in HOLDER_KEYS:
        s.add_argument(f"--{k}")
    s.set_defaults(fn=cmd_hold)
    args = ap.parse_args(argv)

    os.makedirs(LAB, exist_ok=True)
    rc = 2
    try:
        with open(os.path.join(LAB, "lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            try:
                rc = args.fn(args)
            except LabError as e:
                log(f"error: {e}")
                rc = 2
    finally:
        if args.result_file:
            # A Windows program that started this tool cannot wait for it (Wine gives it no
            # process handle of a unix program): it waits for this file instead.
            with open(args.result_file + ".tmp", "w") as f:
                f.write(f"{rc}\n")
            os.replace(args.result_file + ".tmp", args.result_file)
    return rc


if __name__ == "__main__":
    try:
        sys.exit(main())
    except BrokenPipeError:
        sys.stderr.close()
        sys.exit(0)
