#!/usr/bin/env python3
"""Writes the damaged and hostile CAB fixtures that gcab alone cannot make.

usage:
  bad_cab.py truncate IN.cab OUT.cab          first half of a good cabinet
  bad_cab.py damage IN.cab OUT.cab            good MSZIP cabinet with compressed bytes flipped
  bad_cab.py junk OUT.cab                     bytes that are no cabinet at all
  bad_cab.py html OUT.cab                     a web server's error page under a .cab name
  bad_cab.py hostile OUT.cab OUT.inf MODULE CLSID
                                              members whose names leave the target folder, the
                                              module under its own name, and an INF listing all
"""
import os
import random
import struct
import sys
import zlib

import make_cab

HEADER = struct.Struct("<4sIIIIIBBHHHHH")
FOLDER = struct.Struct("<IHH")
DATA = struct.Struct("<IHH")
FLAG_RESERVE_PRESENT = 0x0004
COMPRESS_MSZIP = 1

# Names a download service must refuse to write: parent folders, both separators, a drive
# prefix, a rooted path, a device name and a trailing dot that Windows would strip.
HOSTILE_NAMES = ["..\\evil.dll", "../evil2.dll", "C:evil3.dll", "\\evil4.dll", "CON.dll",
                 "evil5.dll."]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def truncate(src, dst):
    data = read(src)
    write(dst, data[: len(data) // 2])


def data_blocks(cab):
    """(offset, packed length, unpacked length) of each CFDATA block of the first folder."""
    sig, _, _, _, _, _, _, _, folders, _, flags, _, _ = HEADER.unpack_from(cab)
    if sig != b"MSCF" or folders < 1:
        raise ValueError("not a cabinet with a folder")
    pos = HEADER.size
    data_extra = 0
    if flags & FLAG_RESERVE_PRESENT:
        header_extra, _, data_extra = struct.unpack_from("<HBB", cab, pos)
        pos += 4 + header_extra
    start, count, compress = FOLDER.unpack_from(cab, pos)
    if compress & 0x0F != COMPRESS_MSZIP:
        raise ValueError("the first folder is not MSZIP")
    blocks = []
    pos = start
    for _ in range(count):
        _, packed, unpacked = DATA.unpack_from(cab, pos)
        at = pos + DATA.size + data_extra
        blocks.append((at, packed, unpacked))
        pos = at + packed
    return blocks


def inflates(blocks, cab, upto):
    """Whether blocks 0..upto decompress cleanly, each with the previous output as history."""
    history = b""
    for at, packed, unpacked in blocks[: upto + 1]:
        payload = cab[at: at + packed]
        if payload[:2] != b"CK":
            return False
        try:
            d = zlib.decompressobj(-15, zdict=history[-32768:]) if history else zlib.decompressobj(-15)
            out = d.decompress(payload[2:]) + d.flush()
            # A bad run may still decode, but not to the length the header promises.
            if not d.eof or d.unused_data or len(out) != unpacked:
                return False
        except zlib.error:
            return False
        history += out
    return True


def damage(src, dst):
    cab = bytearray(read(src))
    blocks = data_blocks(cab)
    # Readers that repair MSZIP frames (and skip their checksums) hide damage to the last frame:
    # nothing follows it to fall out of step. So the damage goes into an earlier one.
    if len(blocks) < 2:
        raise ValueError("damage needs a cabinet of at least two data blocks")
    # The block holding the middle of the compressed data; its checksum stays as it was.
    middle = (blocks[0][0] + blocks[-1][0] + blocks[-1][1]) // 2
    index = next((i for i, (at, n, _) in enumerate(blocks) if at <= middle < at + n), 0)
    index = min(index, len(blocks) - 2)
    at, packed, _ = blocks[index]
    # Flip runs of bytes from the block's middle on until the block no longer inflates, so the
    # damage shows even to a reader that skips checksums.
    for start in range(at + packed // 2, at + packed - 16, 16):
        trial = bytearray(cab)
        for i in range(start, start + 16):
            trial[i] ^= 0xFF
        if not inflates(blocks, trial, index):
            write(dst, bytes(trial))
            return
    raise ValueError("no flip found that breaks decompression")


def junk(dst):
    data = random.Random(0x4B4F56).randbytes(4096)
    if data[:4] == b"MSCF":
        data = b"\0" + data[1:]
    write(dst, data)


HTML_PAGE = """<!DOCTYPE html>
<html><head><title>404 Not Found</title></head>
<body>
<h1>Not Found</h1>
<p>The requested URL /cabfiles/Kestro.cab was not found on this server.</p>
<hr>
<address>Apache Server at downloads.example.com Port 80</address>
</body></html>
"""


def html(dst):
    write(dst, HTML_PAGE.replace("\n", "\r\n").encode("ascii"))


def hostile_inf(module_name, clsid):
    names = HOSTILE_NAMES + [module_name]
    lines = ["[Version]", 'Signature="$CHICAGO$"', "AdvancedINF=2.0", "", "[Add.Code]"]
    lines += [f"{n}={n}" for n in names]
    for n in HOSTILE_NAMES:
        lines += ["", f"[{n}]", "file-win32-x86=thiscab", "FileVersion=1,0,0,1", "RegisterServer=no"]
    lines += ["", f"[{module_name}]", "file-win32-x86=thiscab", f"clsid={clsid}",
              "FileVersion=1,0,0,1", "RegisterServer=yes"]
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def hostile(dst_cab, dst_inf, module, clsid):
    # The real module is listed last, so nothing but the hostile names stops the install.
    module_name = os.path.basename(module)
    inf = hostile_inf(module_name, clsid)
    write(dst_inf, inf)
    body = read(module)
    members = [(n.encode("ascii"), body) for n in HOSTILE_NAMES]
    members += [(module_name.encode("ascii"), body),
                (os.path.basename(dst_inf).encode("ascii"), inf)]
    make_cab.write(dst_cab, members)


def main(argv):
    commands = {"truncate": (truncate, 2), "damage": (damage, 2), "junk": (junk, 1),
                "html": (html, 1), "hostile": (hostile, 4)}
    if not argv or argv[0] not in commands or len(argv) - 1 != commands[argv[0]][1]:
        sys.stderr.write(__doc__)
        return 2
    command, _ = commands[argv[0]]
    command(*argv[1:])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
