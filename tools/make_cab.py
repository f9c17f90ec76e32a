#!/usr/bin/env python3
"""Writes an uncompressed cabinet whose member names are taken byte for byte.

gcab refuses names a hostile CAB needs ("..\\x.dll", two names equal but for case), so the bad
fixtures are written here: one folder, no compression, data blocks of at most 32768 bytes and
checksum 0 (which readers take as "not checked").

usage: make_cab.py OUT.cab --member NAME PATH [--member NAME PATH ...]
"""
import argparse
import os
import struct
import sys

BLOCK = 32768
HEADER = struct.Struct("<4sIIIIIBBHHHHH")    # CFHEADER
FOLDER = struct.Struct("<IHH")               # CFFOLDER
FILE = struct.Struct("<IIHHHH")              # CFFILE, before its name
DATA = struct.Struct("<IHH")                 # CFDATA, before its bytes
ATTRIB_ARCHIVE = 0x20
# A fixed time stamp keeps the fixtures identical from build to build: 2024-01-01 12:00:00.
DOS_DATE = ((2024 - 1980) << 9) | (1 << 5) | 1
DOS_TIME = 12 << 11


def build(members):
    """members: list of (name bytes, data bytes). Returns the cabinet's bytes."""
    if not members:
        raise ValueError("a cabinet needs at least one member")
    blob = b"".join(data for _, data in members)
    blocks = [blob[i:i + BLOCK] for i in range(0, len(blob), BLOCK)] or [b""]

    files = b""
    offset = 0
    for name, data in members:
        if b"\0" in name:
            raise ValueError("member names cannot hold NUL")
        files += FILE.pack(len(data), offset, 0, DOS_DATE, DOS_TIME, ATTRIB_ARCHIVE) + name + b"\0"
        offset += len(data)

    files_at = HEADER.size + FOLDER.size
    data_at = files_at + len(files)
    body = b"".join(DATA.pack(0, len(b), len(b)) + b for b in blocks)
    total = data_at + len(body)

    header = HEADER.pack(b"MSCF", 0, total, 0, files_at, 0, 3, 1, 1, len(members), 0, 0x4B56, 0)
    folder = FOLDER.pack(data_at, len(blocks), 0)
    return header + folder + files + body


def write(path, members):
    with open(path, "wb") as out:
        out.write(build(members))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--member", nargs=2, action="append", required=True,
                        metavar=("NAME", "PATH"))
    args = parser.parse_args(argv)
    members = []
    for name, path in args.member:
        with open(path, "rb") as f:
            members.append((os.fsencode(name), f.read()))
    write(args.out, members)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
