#!/usr/bin/env python3
"""Turns the BMP screenshots the Windows tests save into PNG files beside them.

Usage: bmp2png.py [--remove] PATH...
A PATH is a .bmp file or a directory whose .bmp files are all converted. --remove deletes
each BMP once its PNG is written. Reads uncompressed 24- and 32-bit BMPs (bottom-up or
top-down), which is what tests/common/capture_win32.h writes; needs nothing beyond Python.
"""
import os
import struct
import sys
import zlib


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 54 or data[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits not in (24, 32) or compression not in (0, 3) or width <= 0 or height == 0:
        raise ValueError(f"{path}: only uncompressed 24- and 32-bit pictures are read")
    bottom_up = height > 0
    height = abs(height)
    step = bits // 8
    stride = (width * step + 3) & ~3
    if offset + stride * height > len(data):
        raise ValueError(f"{path}: the pixel rows are cut short")
    rows = []
    for y in range(height):
        src = (height - 1 - y) if bottom_up else y
        start = offset + src * stride
        row = data[start:start + width * step]
        rgb = bytearray(width * 3)
        rgb[0::3] = row[2::step]  # the file holds blue, green, red
        rgb[1::3] = row[1::step]
        rgb[2::3] = row[0::step]
        rows.append(bytes(rgb))
    return width, height, rows


def png_chunk(kind, body):
    crc = zlib.crc32(kind + body) & 0xFFFFFFFF
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)


def write_png(path, width, height, rows):
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit truecolour
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(png_chunk(b"IHDR", header))
        f.write(png_chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(png_chunk(b"IEND", b""))


def convert(path, remove):
    png = os.path.splitext(path)[0] + ".png"
    write_png(png, *read_bmp(path))
    if remove:
        os.remove(path)
    return png


def main(argv):
    remove = "--remove" in argv
    paths = [a for a in argv if a != "--remove"]
    if not paths:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    status = 0
    for path in paths:
        files = ([os.path.join(path, n) for n in sorted(os.listdir(path)) if n.lower().endswith(".bmp")]
                 if os.path.isdir(path) else [path])
        for bmp in files:
            try:
                convert(bmp, remove)
            except (OSError, ValueError) as error:
                print(error, file=sys.stderr)
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
