#!/usr/bin/env python3
"""Checks the product's floors: each folder includes only the folders below it, folders of one
floor do not include each other, and no files include each other round a circle.

Usage: check_floors.py [source root]. Prints each fault and exits 1 when there is one."""
import os
import re
import sys

# Lowest first. A folder may include its own files and those of any lower floor.
FLOORS = [
    ["support"],                  # handles, texts, files, the exception boundary
    ["record"],                   # PortRecord, its field table, the shared result codes
    ["registry"],                 # reading the registry
    ["port"],                     # the channel layer: a port opened, read, set, closed
    ["scan", "sysinfo"],          # the scan's steps, discovery, owners, identity; system facts
    ["exports"],                  # the exported C face: SerialPort_*, Reg_*, system information
    ["com"],                      # the class, its type library, registration, the server
    ["app/common"],               # what both front ends show: the report, verdict texts
    ["app/window", "app/console"],  # the window program, the console front end
    ["app"],                      # entry points
]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def floor_of(folder):
    for level, folders in enumerate(FLOORS):
        if folder in folders:
            return level
    return None


def product_files(root):
    for folders in FLOORS:
        for folder in folders:
            path = os.path.join(root, folder)
            if not os.path.isdir(path):
                continue
            for name in sorted(os.listdir(path)):
                if name.endswith((".h", ".cpp")):
                    yield folder, f"{folder}/{name}"


def includes_of(root, rel):
    with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
        return INCLUDE.findall(f.read())


def unit(rel):
    return rel.rsplit(".", 1)[0]


def find_cycles(edges):
    """Strongly connected components with more than one unit (Tarjan, iterative)."""
    index, low, on_stack, stack, cycles, counter = {}, {}, set(), [], [], [0]
    for start in sorted(edges):
        if start in index:
            continue
        work = [(start, iter(sorted(edges.get(start, ()))))]
        index[start] = low[start] = counter[0]
        counter[0] += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for succ in successors:
                if succ not in index:
                    index[succ] = low[succ] = counter[0]
                    counter[0] += 1
                    stack.append(succ)
                    on_stack.add(succ)
                    work.append((succ, iter(sorted(edges.get(succ, ())))))
                    advanced = True
                    break
                if succ in on_stack:
                    low[node] = min(low[node], index[succ])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    cycles.append(sorted(component))
    return cycles


def check(root):
    faults = []
    edges = {}
    for folder, rel in product_files(root):
        level = floor_of(folder)
        for included in includes_of(root, rel):
            target = included if "/" in included else f"{folder}/{included}"
            target_folder = os.path.dirname(target)
            target_level = floor_of(target_folder)
            if target_level is None:
                continue  # generated or outside the product (e.g. com/serial_port_typelib.h is in com)
            if target_folder != folder and target_level >= level:
                how = "up a floor" if target_level > level else "across a floor"
                faults.append(f"{rel}: includes {included} ({how}: {folder} is below or beside {target_folder})")
            if os.path.exists(os.path.join(root, target)) and unit(target) != unit(rel):
                edges.setdefault(unit(rel), set()).add(unit(target))
    for cycle in find_cycles(edges):
        faults.append("files include each other round a circle: " + " ".join(cycle))
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    faults = check(os.path.abspath(root))
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} floor fault(s): see docs/DEVELOPING.md, The floors")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
