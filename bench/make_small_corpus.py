#!/usr/bin/env python3
"""Writes a reproducible tree of many small files, as home folders, source trees and mail stores
have them: FILES files of 0 to 300 bytes in about FILES / 91 folders, two levels deep. Most are
text-like (they compress), some carry a suffix the backup tool stores without compression and
random-looking bytes. The same seed gives the same tree, names, sizes and bytes on every machine.

usage: make_small_corpus.py DIR [--files N] [--seed S]
"""
import argparse
import os
import random

WORDS = ("backup letter report invoice photo draft notes budget minutes summary archive "
         "project client meeting holiday music table index chapter figure").split()
STORED = (".png", ".gif", ".zip", ".gz", ".jar")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dir")
    ap.add_argument("--files", type=int, default=300000)
    ap.add_argument("--seed", type=int, default=20061126)
    args = ap.parse_args()

    rng = random.Random(args.seed)
    folders = max(1, args.files // 91)
    top = max(1, int(folders ** 0.5))
    paths = []
    for i in range(folders):
        d = os.path.join(args.dir, "d%03d" % (i % top), "%s_%04d" % (rng.choice(WORDS), i))
        os.makedirs(d, exist_ok=True)
        paths.append(d)
    for n in range(args.files):
        d = paths[n % folders]
        size = rng.randint(0, 300)
        if rng.random() < 0.05:
            name = "%s%06d%s" % (rng.choice(WORDS), n, rng.choice(STORED))
            data = rng.randbytes(size)
        else:
            name = "%s%06d.txt" % (rng.choice(WORDS), n)
            text = " ".join(rng.choice(WORDS) for _ in range(size // 6 + 1))
            data = text.encode()[:size]
        with open(os.path.join(d, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
