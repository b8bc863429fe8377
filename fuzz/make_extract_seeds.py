#!/usr/bin/env python3
"""Seeds for the extraction fuzz target: the compressed data of every unencrypted entry of
the shared test archives, wrapped in the target's input layout (selector, claimed size, no
name), one folder per decoder family."""
import os
import struct
import sys

FAMILY = {0: "stored", 1: "shrunk", 2: "reduced", 3: "reduced", 4: "reduced", 5: "reduced",
          6: "imploded", 8: "deflated"}
LOW = {0: 0, 1: 1, 2: 2, 3: 3, 4: 4, 5: 5, 6: 6, 8: 7}


def entries(path):
    data = open(path, "rb").read()
    pos = 0
    while True:
        pos = data.find(b"PK\x03\x04", pos)
        if pos < 0 or pos + 30 > len(data):
            return
        (_, _, flags, method, _, _, _, csize, usize, nlen, xlen) = struct.unpack_from(
            "<IHHHHHIIIHH", data, pos)
        start = pos + 30 + nlen + xlen
        if not flags & 1 and method in FAMILY and not flags & 8 and csize:
            yield method, flags, usize, data[start:start + min(csize, 60000)]
        pos += 4


def main(testdata, out):
    count = 0
    for root, _, files in os.walk(os.path.join(testdata, "zip")):
        for name in files:
            if not name.lower().endswith(".zip"):
                continue
            for method, flags, usize, body in entries(os.path.join(root, name)):
                selector = LOW[method] | (((flags >> 1) & 3) << 4)
                seed = bytes([selector]) + struct.pack("<I", usize & 0xFFFFF)[:3] + b"\0" + body
                folder = os.path.join(out, "corpus-" + FAMILY[method])
                os.makedirs(folder, exist_ok=True)
                with open(os.path.join(folder, "seed-%d" % count), "wb") as f:
                    f.write(seed)
                count += 1
    print("%d seeds" % count)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
