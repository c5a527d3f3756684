#!/usr/bin/env python3
"""A later version of the benchmark's payload tree, made from a fixed seed:
   variant-product.py IN OUT KIND [SEED]
KIND is "programs" (the product's own programs: the first three .exe files of
the program tree, in byte order of their paths; the first three files of the
tree where it has none), "tenth" (a tenth of the files,
drawn with SEED) or "all". A changed file gets 16 bytes more at its end; the
others are hard links to IN's, so that a variant costs little room. Prints
how many files changed of how many."""
import os
import random
import shutil
import sys


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    source, out, kind = sys.argv[1:4]
    seed = int(sys.argv[4]) if len(sys.argv) == 5 else 20261211
    files = []
    for folder, _, names in os.walk(source):
        for name in names:
            files.append(os.path.relpath(os.path.join(folder, name), source))
    files.sort(key=lambda path: path.encode())
    if kind == "programs":
        tree = [f for f in files if f.startswith("YnbBench/ins/program/")]
        changed = ([f for f in tree if f.endswith(".exe")] or tree)[:3]
    elif kind == "tenth":
        changed = random.Random(seed).sample(files, max(1, len(files) // 10))
    elif kind == "all":
        changed = list(files)
    else:
        sys.exit("variant-product: KIND is programs, tenth or all")
    changed = set(changed)
    shutil.rmtree(out, ignore_errors=True)
    for path in files:
        target = os.path.join(out, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if path in changed:
            shutil.copy2(os.path.join(source, path), target)
            with open(target, "ab") as file:
                file.write(b"version 2 change")
        else:
            os.link(os.path.join(source, path), target)
    print(f"variant-product: {kind}: {len(changed)} of {len(files)} files changed")


if __name__ == "__main__":
    main()
