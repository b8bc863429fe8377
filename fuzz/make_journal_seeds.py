#!/usr/bin/env python3
"""Writes seed journals for the journal fuzz target into the given directory: journals as
the engine writes them (a product header, then records of every kind), each once with and
once without the option byte that makes the target judge final paths too."""
import os
import sys

J = "C:\\ProgramData\\ztkinst\\Journals\\ztkinst-1.jnl"
HEADER = ["P", "Prod", "\\Software\\Quorvalen",
          "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Prod",
          "C:\\Program Files\\Prod", "C:\\Users\\u\\Start Menu\\Programs\\Prod Group",
          "C:\\windows\\ztkuinst.exe", "c:\\autoexec.bat"]
RECORDS = [
    ["D", "C:\\Program Files\\Prod"],
    ["D", "C:\\Program Files"],
    ["F", "C:\\Program Files\\Prod\\a.txt"],
    ["F", "C:\\Program Files\\Prod\\jlink\\a.txt"],
    ["R", "C:\\Program Files\\Prod\\b.txt", J + ".d\\1"],
    ["X", "C:\\Program Files\\Prod\\..\\..\\windows\\c.txt", J + ".d\\..\\2"],
    ["K", "HKLM32", "\\Software\\Quorvalen", "k\t\nv\t\tPath\t1:43003a00\n"],
    ["V", "HKLM", "\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", "Path", "2:4300"],
    ["V", "HKCU", "\\Software\\Other", "x", "-"],
    ["M", "C:\\Program Files\\Prod\\~restart\\a.txt", "C:\\Program Files\\Prod\\a.txt"],
    ["M", "\\\\?\\C:\\Program Files\\Prod\\x", ""],
    ["N", "a note"],
]


def line(fields):
    out = []
    for f in fields:
        out.append(f.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r"))
    return "\t".join(out) + "\n"


def main():
    target = sys.argv[1]
    os.makedirs(target, exist_ok=True)
    whole = line(HEADER) + "".join(line(r) for r in RECORDS)
    seeds = {"whole": whole, "torn": whole[:-7], "headless": "".join(line(r) for r in RECORDS)}
    for i, r in enumerate(RECORDS):
        seeds["one%d" % i] = line(HEADER) + line(r)
    for name, text in seeds.items():
        for option in (0, 1):
            with open(os.path.join(target, "%s-%d" % (name, option)), "wb") as f:
                f.write(bytes([option]) + text.encode("utf-8"))


if __name__ == "__main__":
    main()
