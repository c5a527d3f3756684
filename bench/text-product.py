#!/usr/bin/env python3
"""Writes the payload tree of a product made of many small text files, the
same for a seed: COUNT files of 1 to 10 KiB (about 5 KiB on average) of
Japanese and English words, numbers and dates, as a product's help pages,
data samples and logs are, in folders of 100, under TOP/ins of OUT.
  text-product.py OUT COUNT [SEED] [TOP]"""
import os
import random
import sys

out, count = sys.argv[1], int(sys.argv[2])
seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
top = sys.argv[4] if len(sys.argv) > 4 else "YnbBench"
rng = random.Random(seed)
words = ("家計簿 収支 記録 食費 交通費 光熱費 通信費 合計 予算 残高 月 日 年 の を に は が と で から まで "
         "する します しました ください ます です total amount date category note income expense budget balance "
         "January February March report summary item price quantity customer order shipped pending").split()
for i in range(count):
    folder = os.path.join(out, top, "ins", "data", f"{i // 100:04d}")
    if i % 100 == 0:
        os.makedirs(folder, exist_ok=True)
    size = rng.randint(1024, 10240)
    lines = []
    length = 0
    while length < size:
        kind = rng.random()
        if kind < 0.3:
            line = f"{2020 + rng.randrange(6)}-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d},"
            line += f"{rng.choice(words)},{rng.randint(1, 99999)},{rng.choice(words)}"
        else:
            line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 16)))
        lines.append(line)
        length += len(line.encode("utf-8")) + 2
    with open(os.path.join(folder, f"{i:05d}.txt"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
