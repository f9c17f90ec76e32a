#!/usr/bin/env python3
"""Writes the cabinets the CAB check tests read.

usage: make_cab_fixtures.py OUT_DIR GCAB

From gcab (which compresses every MSZIP block on its own and writes checksums):
  multi.cab   MSZIP: a 160 KB text, a binary table, a note and an empty file, in one folder
  stored.cab  the same members without compression
  small.cab   MSZIP: two short texts, one block; small enough to corrupt byte by byte
From tests/fixtures/make_cab.py: plain.cab, no compression, checksums 0.
From the writer below, which, like Microsoft's, lets each MSZIP block refer back into the
previous ones (the history a decoder must keep):
  history.cab     one folder, MSZIP blocks that need the history, checksums
  reserve.cab     the same with reserved areas in header, folders and blocks (checksums 0)
  twofolders.cab  an MSZIP folder of stored deflate blocks and an uncompressed folder
  split.cab       two MSZIP folders, the second referring back into the first: a broken writer,
                  since every folder starts with an empty history
cabarc_reserve.cab beside this script, from Wine's cabarc, is copied in by cmake.
seeds/ gets small variants of all kinds (checksums 0 where fuzzing should reach the decoder); they
are the committed tests/fuzz/cab_corpus.
"""
import os
import random
import struct
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fixtures"))
import make_cab  # noqa: E402

BLOCK = 32768
NONE, MSZIP = 0, 1
DOS_DATE = ((2024 - 1980) << 9) | (1 << 5) | 1
DOS_TIME = 12 << 11


def checksum(data, seed):
    """XOR of little-endian words; the last 1-3 bytes as one word, first byte highest."""
    whole = len(data) // 4 * 4
    total = seed
    for (word,) in struct.iter_unpack("<I", data[:whole]):
        total ^= word
    tail = 0
    for byte in data[whole:]:
        tail = tail << 8 | byte
    return total ^ tail


def words_text(seed, size):
    """Compressible text that is not one repeated pattern."""
    rng = random.Random(seed)
    words = ["".join(rng.choice("etaoinshrdlucmfw") for _ in range(rng.randint(2, 9))) for _ in range(400)]
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + "\r\n"
        out.append(line)
        length += len(line)
    return "".join(out)[:size].encode()


def table_bytes(seed, rows):
    rng = random.Random(seed)
    return b"".join(struct.pack("<IHHd", i, rng.randrange(1 << 16), i % 7, rng.random()) for i in range(rows))


def blocks_of(kind, data, reserve, with_checksums, history=b"", level=9):
    out = []
    for i in range(0, len(data), BLOCK):
        chunk = data[i:i + BLOCK]
        if kind == MSZIP:
            extra = {"zdict": history} if history else {}
            c = zlib.compressobj(level, zlib.DEFLATED, -15, **extra)
            payload = b"CK" + c.compress(chunk) + c.flush()
            history = (history + chunk)[-BLOCK:]
        else:
            payload = chunk
        fields = struct.pack("<HH", len(payload), len(chunk)) + b"\xa5" * reserve
        csum = checksum(fields, checksum(payload, 0)) if with_checksums else 0
        out.append(struct.pack("<I", csum) + fields + payload)
    return out, history


def write_cab(folders, header_reserve=0, folder_reserve=0, data_reserve=0, with_checksums=True,
              carry_history=False, level=9):
    """folders: [(NONE or MSZIP, [(name, data), ...]), ...]. Returns the cabinet's bytes."""
    reserve = header_reserve or folder_reserve or data_reserve
    header_size = 36 + (4 + header_reserve if reserve else 0)
    folders_size = len(folders) * (8 + folder_reserve)
    files = b""
    for index, (_, members) in enumerate(folders):
        offset = 0
        for name, data in members:
            files += struct.pack("<IIHHHH", len(data), offset, index, DOS_DATE, DOS_TIME, 0x20) + name + b"\0"
            offset += len(data)
    data_at = header_size + folders_size + len(files)
    folder_table = b""
    body = b""
    history = b""
    for kind, members in folders:
        blocks, carried = blocks_of(kind, b"".join(d for _, d in members), data_reserve, with_checksums,
                                    history, level)
        history = carried if carry_history else b""
        folder_table += struct.pack("<IHH", data_at + len(body), len(blocks), kind) + b"\x5a" * folder_reserve
        body += b"".join(blocks)
    total = data_at + len(body)
    count = sum(len(m) for _, m in folders)
    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, header_size + folders_size, 0, 3, 1,
                         len(folders), count, 4 if reserve else 0, 0x1234, 0)
    if reserve:
        header += struct.pack("<HBB", header_reserve, folder_reserve, data_reserve) + b"\x3c" * header_reserve
    return header + folder_table + files + body


def gcab(tool, out, inputs, compress):
    subprocess.run([tool, "-c", "-n"] + (["-z"] if compress else []) + [out] + inputs, check=True)


def save(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(out_dir, tool):
    inputs = os.path.join(out_dir, "inputs")
    seeds = os.path.join(out_dir, "seeds")
    os.makedirs(inputs, exist_ok=True)
    os.makedirs(seeds, exist_ok=True)
    members = {
        "big.txt": words_text(1, 160_000),
        "table.bin": table_bytes(2, 1500),
        "note.txt": b"Kovira sample note\r\n",
        "empty.dat": b"",
        "first.txt": words_text(3, 300),
        "second.txt": words_text(4, 200),
    }
    for name, data in members.items():
        save(os.path.join(inputs, name), data)
    path = lambda *names: [os.path.join(inputs, n) for n in names]  # noqa: E731

    gcab(tool, os.path.join(out_dir, "multi.cab"), path("big.txt", "table.bin", "note.txt", "empty.dat"), True)
    gcab(tool, os.path.join(out_dir, "stored.cab"), path("big.txt", "table.bin", "note.txt", "empty.dat"), False)
    gcab(tool, os.path.join(out_dir, "small.cab"), path("first.txt", "second.txt"), True)
    make_cab.write(os.path.join(out_dir, "plain.cab"),
                   [(b"first.txt", members["first.txt"]), (b"table.bin", members["table.bin"])])

    history = [(MSZIP, [(b"big.txt", members["big.txt"][:80_000]), (b"note.txt", members["note.txt"])])]
    blocks, _ = blocks_of(MSZIP, members["big.txt"][:80_000], 0, False)
    try:  # the fixture is only worth having if a block cannot be decoded without its history
        zlib.decompressobj(-15).decompress(blocks[1][10:])
        sys.exit("history.cab: the second block decodes without history")
    except zlib.error:
        pass
    save(os.path.join(out_dir, "history.cab"), write_cab(history))
    save(os.path.join(out_dir, "reserve.cab"),
         write_cab(history, header_reserve=20, folder_reserve=4, data_reserve=4, with_checksums=False))
    two = [(MSZIP, [(b"big.txt", members["big.txt"][:40_000])]), (NONE, [(b"table.bin", members["table.bin"])])]
    save(os.path.join(out_dir, "twofolders.cab"), write_cab(two, level=0))
    text = members["big.txt"]
    split = [(MSZIP, [(b"one.txt", text[:40_000])]), (MSZIP, [(b"two.txt", text[:40_000])])]
    save(os.path.join(out_dir, "split.cab"), write_cab(split, carry_history=True))

    # Fuzz seeds, each well under 8 KiB.
    gcab(tool, os.path.join(seeds, "gcab_mszip.cab"), path("first.txt", "second.txt"), True)
    gcab(tool, os.path.join(seeds, "gcab_none.cab"), path("first.txt", "note.txt"), False)
    make_cab.write(os.path.join(seeds, "make_cab.cab"), [(b"a.txt", members["first.txt"]), (b"b", b"x")])
    near = (words_text(5, 6000) * 7)[:40_000]  # repeats reach back across the block boundary
    save(os.path.join(seeds, "history.cab"), write_cab([(MSZIP, [(b"h.txt", near)])], with_checksums=False))
    save(os.path.join(seeds, "reserve.cab"),
         write_cab([(MSZIP, [(b"r.txt", members["first.txt"])])], 20, 4, 4, with_checksums=False))
    save(os.path.join(seeds, "twofolders.cab"),
         write_cab([(MSZIP, [(b"m.txt", members["second.txt"])]), (NONE, [(b"n.txt", b"plain\r\n")])],
                   with_checksums=False))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.splitlines()[2])
    sys.exit(main(sys.argv[1], sys.argv[2]))
