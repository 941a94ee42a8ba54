#!/usr/bin/env python3
"""Rebuilds device-identifiers.tsv from the upstream JSON tables (a developer tool; the
build itself only reads the TSV). Usage:

    data/import_device_identifiers.py UPSTREAM_DIR > data/device-identifiers.tsv

See README.md for the merging rule and for the rows we add ourselves.
"""
import json
import re
import sys
from pathlib import Path

# Simulator hosts report these; on a computer they would turn "arm64" into an iPhone.
SKIPPED = {"i386", "x86_64", "arm64"}

# Our own rows: code -> name. Empty while upstream covers every model we know of.
ADDED: dict[str, str] = {}

SHAPE = re.compile(r"^(.*?) \((.*)\)$")
YEAR = re.compile(r"^(?:(Early|Mid|Late|Nov) )?(\d{4})$")
SEASONS = {"Early": 0, "Mid": 1, None: 1, "Late": 2, "Nov": 2}


def shape(name):
    """("Base", [fields]) for "Base (f1, f2)"; None without a trailing parenthesis."""
    match = SHAPE.match(name)
    return (match.group(1), match.group(2).split(", ")) if match else None


def merge(names):
    """One name for a code that upstream lists under several names."""
    names = list(dict.fromkeys(names))
    reference = min(names, key=len)  # the most general name, first among equals
    ref = shape(reference)
    if ref is None:
        return reference
    same = [shape(n) for n in names if (s := shape(n)) and s[0] == ref[0] and len(s[1]) == len(ref[1])]
    differing = [i for i in range(len(ref[1])) if len({s[1][i] for s in same}) > 1]
    if len(differing) != 1:
        return reference
    i = differing[0]
    fields = list(ref[1])
    values = list(dict.fromkeys(s[1][i] for s in same))
    if all(YEAR.match(v) for v in values):  # upstream sorts by text; show dates in time order
        values.sort(key=lambda v: (YEAR.match(v)[2], SEASONS[YEAR.match(v)[1]]))
    fields[i] = " / ".join(values)
    return f"{ref[0]} ({', '.join(fields)})"


def main():
    upstream = Path(sys.argv[1])
    table = {}
    for file in ("ios-device-identifiers.json", "mac-device-identifiers.json"):
        for code, name in json.loads((upstream / file).read_text()).items():
            if code not in SKIPPED:
                table[code] = merge(name) if isinstance(name, list) else name
    table.update(ADDED)
    for code in sorted(table, key=lambda c: c.encode()):
        name = table[code]
        assert "\t" not in code + name and "\n" not in code + name
        print(f"{code}\t{name}")


if __name__ == "__main__":
    main()
