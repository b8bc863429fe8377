#!/usr/bin/env python3
"""Writes the sample distribution from samples/source.

  source/setup.idf, source/licence.txt   -> distribution/ in code page 1251, CR LF
  source/<name>/...                      -> distribution/<name>.zip
  (drawn here)                           -> distribution/logo.bmp, distribution/sidelogo.bmp

Sources are UTF-8 with LF line ends so that they read well in the repository; the
installer reads texts in the system's ANSI code page, so every text file (.idf, .txt,
.bat, .ini, .csv) is converted to code page 1251 with CR LF on the way in. ZIP entry
names stay ASCII (the reader takes them in the OEM code page).

The output is the same on every run: members in sorted order, one fixed time stamp,
MS-DOS attributes, pictures drawn from fixed numbers. Deflated members depend on the
zlib that Python uses, so another zlib version may give other (equally valid) bytes.

usage: make_distribution.py SOURCE_DIR DIST_DIR [--language Russian|English]
"""
import os
import struct
import sys
import zipfile

STAMP = (2024, 1, 15, 12, 0, 0)
TEXT_SUFFIXES = (".idf", ".txt", ".bat", ".ini", ".csv")
FILE_ATTRIBUTE_ARCHIVE = 0x20
FILE_ATTRIBUTE_DIRECTORY = 0x10

# Members that are stored rather than deflated, so that one archive shows both methods.
STORED = {"core": {"bin/qvdemo.bat", "bin/qvdemo.ini"}}


def windows_text(data):
    """UTF-8 with LF -> code page 1251 with CR LF."""
    text = data.decode("utf-8").replace("\r\n", "\n").replace("\n", "\r\n")
    return text.encode("cp1251")


def file_bytes(path):
    with open(path, "rb") as f:
        data = f.read()
    return windows_text(data) if path.lower().endswith(TEXT_SUFFIXES) else data


def member(name, attributes, method):
    info = zipfile.ZipInfo(name, STAMP)
    info.create_system = 0  # MS-DOS: the external attributes are Windows attributes
    info.external_attr = attributes
    info.compress_type = method
    return info


def write_archive(source, target, stored):
    """Every directory and file under source, in sorted order, directories first in each."""
    with zipfile.ZipFile(target, "w") as archive:
        for root, dirs, files in os.walk(source):
            dirs.sort()
            rel = os.path.relpath(root, source).replace(os.sep, "/")
            prefix = "" if rel == "." else rel + "/"
            if prefix:
                archive.writestr(member(prefix, FILE_ATTRIBUTE_DIRECTORY, zipfile.ZIP_STORED), b"")
            for name in sorted(files):
                entry = prefix + name
                if not entry.isascii():
                    sys.exit(f"{source}: {entry}: entry names must be ASCII")
                method = zipfile.ZIP_STORED if entry in stored else zipfile.ZIP_DEFLATED
                archive.writestr(member(entry, FILE_ATTRIBUTE_ARCHIVE, method),
                                 file_bytes(os.path.join(root, name)), compresslevel=9)


# ---- pictures: 8-bit BMPs with a palette, bottom-up rows padded to 4 bytes ----

def bmp(width, height, palette, pixel):
    """palette: up to 256 (r, g, b); pixel(x, y) -> palette index, y = 0 at the top."""
    stride = (width + 3) & ~3
    rows = bytearray()
    for y in reversed(range(height)):
        row = bytes(pixel(x, y) for x in range(width))
        rows += row + bytes(stride - width)
    colours = b"".join(struct.pack("<BBBx", b, g, r) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 2835, 2835,
                       len(palette), 0)
    return header + info + colours + bytes(rows)


def gradient(top, bottom, steps):
    return [tuple(round(t + (b - t) * i / (steps - 1)) for t, b in zip(top, bottom))
            for i in range(steps)]


# The mark of the product: a ring with a tail (a "Q") in the light colour.
def in_mark(x, y, cx, cy, r):
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    ring = (0.62 * r) ** 2 <= d2 <= r * r
    tail = 0 <= x - cx - 0.35 * r <= 0.7 * r and abs((y - cy) - (x - cx)) <= 0.14 * r
    return ring or tail


def side_picture():
    """The wizard's side picture, 157 x 260: a dark blue gradient with the mark."""
    width, height, shades = 157, 260, 64
    palette = gradient((16, 40, 96), (40, 110, 170), shades) + [(240, 244, 250)]
    light = shades

    def pixel(x, y):
        if in_mark(x, y, 78, 96, 46):
            return light
        if 180 <= y <= 183 and 24 <= x <= 132:  # a rule under the mark
            return light
        return y * shades // height
    return bmp(width, height, palette, pixel)


def background_picture():
    """The background window's picture, stretched over the screen: a diagonal gradient with
    the mark at the lower right."""
    width, height, shades = 320, 200, 128
    palette = gradient((8, 24, 72), (70, 140, 200), shades) + [(90, 160, 215)]
    mark = shades

    def pixel(x, y):
        if in_mark(x, y, 262, 148, 34):
            return mark
        return (x + y) * (shades - 1) // (width + height - 2)
    return bmp(width, height, palette, pixel)


def main():
    args = sys.argv[1:]
    language = "Russian"
    if len(args) == 4 and args[2] == "--language" and args[3] in ("Russian", "English"):
        language = args[3]
        args = args[:2]
    if len(args) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    source, dist = args
    os.makedirs(dist, exist_ok=True)

    for name in ("setup.idf", "licence.txt"):
        data = file_bytes(os.path.join(source, name))
        if name == "setup.idf":
            data = data.replace(b"\r\nLanguage=Russian\r\n", f"\r\nLanguage={language}\r\n".encode())
        with open(os.path.join(dist, name), "wb") as f:
            f.write(data)

    for name in sorted(os.listdir(source)):
        path = os.path.join(source, name)
        if os.path.isdir(path):
            write_archive(path, os.path.join(dist, name + ".zip"), STORED.get(name, set()))

    for name, picture in (("sidelogo.bmp", side_picture()), ("logo.bmp", background_picture())):
        with open(os.path.join(dist, name), "wb") as f:
            f.write(picture)


if __name__ == "__main__":
    main()
