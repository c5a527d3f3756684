#!/usr/bin/env python3
"""Writes the product data area that `ynbpack embed` compiled into SOURCE
(the string literal after kProductArea, zeros up to the area's size) to OUT,
for `ynbpack inspect`.   embedded-area.py SOURCE OUT"""
import ast
import re
import sys

source = open(sys.argv[1], encoding="ascii").read()
literal = source[source.index("kProductArea"):]
pieces = re.findall(r'"((?:[^"\\]|\\.)*)"', literal[: literal.index(";")])
data = b"".join(ast.literal_eval('b"' + piece + '"') for piece in pieces)
open(sys.argv[2], "wb").write(data + bytes(4096 - len(data)))
