#!/usr/bin/env python3
"""Two table edits wixl cannot express, made on tables exported with `msiinfo export`:

  file-versions FILE.idt BINDIR   File.Version and File.Language of every program file from its
                                  version resource (the fixed file version, the first
                                  translation's language), so that repair and inventory see
                                  versioned files;
  same-version UPGRADE.idt        the upgrade row that replaces older versions includes the
                                  package's own version (msidbUpgradeAttributesVersionMaxInclusive),
                                  so a rebuild of the same version replaces the installed one
                                  instead of adding a second entry to Apps & features.

Each rewrites the table in place; tables keep msiinfo's CR LF lines.
"""
import os
import struct
import sys

VERSION_MAX_INCLUSIVE = 0x200
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD


def read_table(path):
    with open(path, newline="") as f:
        return [line.split("\t") for line in f.read().split("\r\n") if line]


def write_table(path, rows):
    with open(path, "w", newline="") as f:
        f.write("".join("\t".join(row) + "\r\n" for row in rows))


def version_and_language(data):
    """("major.minor.patch.build", "language id") of a PE file's version resource, or None."""
    at = data.find(struct.pack("<I", FIXED_FILE_INFO_SIGNATURE))
    if at < 0:
        return None
    high, low = struct.unpack_from("<II", data, at + 8)
    version = f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"
    translation = data.find("Translation\0".encode("utf-16le"), at)
    language = ""
    if translation >= 0:
        value = translation + len("Translation\0".encode("utf-16le"))
        value += (-value) % 4  # values start on a 32-bit boundary
        language = str(struct.unpack_from("<H", data, value)[0])
    return version, language


def file_versions(table, bindir):
    rows = read_table(table)
    columns = rows[0]
    name, version, language = (columns.index(c) for c in ("FileName", "Version", "Language"))
    for row in rows[3:]:
        short_and_long = row[name].split("|")
        path = os.path.join(bindir, short_and_long[-1])
        if not path.lower().endswith((".exe", ".dll")) or not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            found = version_and_language(f.read())
        if not found:
            sys.exit(f"msi_tables.py: {path} has no version resource")
        row[version], row[language] = found
    write_table(table, rows)


def same_version(table):
    rows = read_table(table)
    columns = rows[0]
    attributes, maximum, action = (columns.index(c) for c in ("Attributes", "VersionMax", "ActionProperty"))
    changed = 0
    for row in rows[3:]:
        if row[maximum] and row[action] == "WIX_UPGRADE_DETECTED":
            row[attributes] = str(int(row[attributes]) | VERSION_MAX_INCLUSIVE)
            changed += 1
    if changed != 1:
        sys.exit(f"msi_tables.py: expected one upgrade row for older versions in {table}, found {changed}")
    write_table(table, rows)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "file-versions":
        file_versions(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == "same-version":
        same_version(sys.argv[2])
    else:
        sys.exit(__doc__)
