#!/usr/bin/env python3
"""Writes a reproducible file tree for the copy benchmarks.

The same seed gives the same tree on every machine: names, folder nesting, sizes and bytes all
come from one seeded generator. Sizes follow a log-uniform spread from 100 bytes to 4 MiB,
scaled so the whole tree is about the requested size. Contents mix text-like and random-looking
blocks so that nothing in the pipeline can shortcut them. A few hidden files and hidden folders
are included, as on real home folders.

usage: make_corpus.py DIR [--files N] [--megabytes M] [--seed S]
"""
import argparse
import math
import os
import random

WORDS = ("backup letter report invoice photo draft notes budget minutes summary archive "
         "project client meeting holiday music table index chapter figure").split()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dir")
    ap.add_argument("--files", type=int, default=30000)
    ap.add_argument("--megabytes", type=int, default=400)
    ap.add_argument("--seed", type=int, default=20041215)
    args = ap.parse_args()

    rng = random.Random(args.seed)
    # Folder tree: about one folder per 20 files, nested up to four levels.
    folders = [""]
    for i in range(max(1, args.files // 20)):
        parent = rng.choice(folders) if len(folders) > 1 else ""
        if parent.count("/") >= 4:
            parent = ""
        hidden = rng.random() < 0.02
        name = ("." if hidden else "") + rng.choice(WORDS) + "_" + str(i)
        folders.append(parent + "/" + name if parent else name)

    raw = [math.exp(rng.uniform(math.log(100), math.log(4 << 20))) for _ in range(args.files)]
    scale = args.megabytes * (1 << 20) / sum(raw)
    sizes = [max(1, int(s * scale)) for s in raw]

    block = bytes(rng.getrandbits(8) for _ in range(1 << 16))
    text = (" ".join(rng.choice(WORDS) for _ in range(12000))).encode()[: 1 << 16]
    total = 0
    for i, size in enumerate(sizes):
        folder = rng.choice(folders)
        hidden = rng.random() < 0.02
        ext = rng.choice([".txt", ".doc", ".jpg", ".dat", ".csv", ".xml", ""])
        name = ("." if hidden else "") + rng.choice(WORDS) + "_" + str(i) + ext
        path = os.path.join(args.dir, folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            left = size
            k = i
            while left > 0:
                src = text if (k % 3) else block
                start = (k * 7919) % len(src)
                chunk = (src[start:] + src[:start])[: min(left, 1 << 16)]
                f.write(chunk)
                left -= len(chunk)
                k += 1
        # Fixed, varied times so that "newer" comparisons behave as on a real tree.
        t = 1500000000 + (i * 3607) % 100000000
        os.utime(path, (t, t))
        total += size
    print(f"{args.files} files, {len(folders)} folders, {total / (1 << 20):.0f} MiB in {args.dir}")


if __name__ == "__main__":
    main()
