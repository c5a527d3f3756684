#!/usr/bin/env python3
"""Prints the table of src/sys/CaseFold.cpp: the simple uppercase mapping of
every UTF-16 code unit of the Basic Multilingual Plane, as Windows' file
systems compare names (one unit to one unit; a character whose uppercase is
several characters, such as the sharp s, stays itself), from the Unicode
character database of this Python. Mappings from a letter outside ASCII into
ASCII (the dotless i, the long s) are left out: such a name stays apart from
its ASCII look-alike, as in the upcase tables Windows formats volumes with.
Runs: { first, last, stride, delta }: each unit first, first + stride, ...
up to last maps to itself plus delta."""
import unicodedata

mapping = {}
for unit in range(0x10000):
    if 0xD800 <= unit <= 0xDFFF:
        continue
    upper = chr(unit).upper()
    if len(upper) != 1 or ord(upper) == unit or ord(upper) > 0xFFFF:
        continue
    if unit >= 0x80 and ord(upper) < 0x80:
        continue
    mapping[unit] = ord(upper)

units = sorted(mapping)
runs = []
i = 0
while i < len(units):
    first = units[i]
    delta = mapping[first] - first
    best = (first, first, 1, delta, i)
    for stride in (1, 2):
        j = i
        while j + 1 < len(units) and units[j + 1] == units[j] + stride and mapping[units[j + 1]] - units[j + 1] == delta:
            j += 1
        if units[j] - first > best[1] - best[0]:
            best = (first, units[j], stride, delta, j)
    runs.append(best[:4])
    i = best[4] + 1

print("// Unicode %s, %d units in %d runs (tools/tables/casefold.py)." % (unicodedata.unidata_version, len(mapping), len(runs)))
for first, last, stride, delta in runs:
    print("    { 0x%04X, 0x%04X, %d, %d }," % (first, last, stride, delta))
