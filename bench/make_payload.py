#!/usr/bin/env python3
"""A seeded product payload for bench_nsis.sh: about 100 MB in about 5,000 files.

  ~3,000 text files    (sources, docs, configuration; words from a small vocabulary)
  ~2,000 binary files  (half random bytes, half records with repeated structure)
       5 large files   (a log, a database-like file, a media-like random file, ...)

spread over a tree of directories like an installed product's. The same seed gives the same
bytes on every run, so both installers always get identical input.

usage: make_payload.py DIR [SEED]
"""
import os
import random
import struct
import sys

WORDS = ("install setup archive subsystem library register path group link window "
         "config value error message thread progress cancel select depend parent "
         "alpha beta gamma delta epsilon zeta theta kappa lambda sigma omega "
         "return static const struct class public private void int char").split()
TOP = ["bin", "lib", "share/doc", "share/locale", "data", "plugins", "examples", "include"]


def text(rng, size):
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14))) + "\r\n"
        out.append(line)
        length += len(line)
    return "".join(out).encode("ascii")[:size]


def records(rng, size):
    """A table of fixed records: an id, a flag word, a random float, a short name."""
    out = bytearray()
    ident = rng.randint(0, 1 << 20)
    while len(out) < size:
        ident += rng.randint(1, 3)
        name = rng.choice(WORDS).encode().ljust(12, b"\0")
        out += struct.pack("<IIf", ident, rng.choice((0, 1, 0x10, 0x11)), rng.random()) + name
    return bytes(out[:size])


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.strip().splitlines()[-1])
    root = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) == 3 else 20240115)
    total = 0
    count = 0

    def add(relative, data):
        nonlocal total, count
        write(os.path.join(root, relative), data)
        total += len(data)
        count += 1

    for i in range(3000):
        folder = f"{rng.choice(TOP)}/m{i % 60:02d}"
        # Mostly small, a few tens of kilobytes: 8 KB on average.
        size = min(int(rng.expovariate(1 / 8000)) + 200, 120_000)
        add(f"{folder}/file{i:04d}.{rng.choice(('txt', 'ini', 'h', 'cpp', 'xml'))}", text(rng, size))
    for i in range(1995):
        folder = f"{rng.choice(TOP)}/b{i % 40:02d}"
        size = min(int(rng.expovariate(1 / 12000)) + 512, 200_000)
        if i % 2:
            add(f"{folder}/blob{i:04d}.dat", rng.randbytes(size))
        else:
            add(f"{folder}/table{i:04d}.bin", records(rng, size))
    large = [
        ("data/large/events.log", lambda n: text(rng, n), 12_000_000),
        ("data/large/catalog.db", lambda n: records(rng, n), 10_000_000),
        ("data/large/intro.media", rng.randbytes, 14_000_000),
        ("lib/large/core.bin", lambda n: records(rng, n // 2) + rng.randbytes(n - n // 2), 8_000_000),
        ("share/doc/large/manual.txt", lambda n: text(rng, n), 6_000_000),
    ]
    for relative, make, size in large:
        add(relative, make(size))
    print(f"{count} files, {total} bytes in {root}")


if __name__ == "__main__":
    main()
