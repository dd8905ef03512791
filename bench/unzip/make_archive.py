#!/usr/bin/env python3
"""Writes a product-like archive for the extraction benchmark: about 4000 files, most of them small
configuration texts, scripts and resources, a hundred or so binaries of several MB; about 180 MB
once packed with Info-ZIP zip at its default level. Usage: make_archive.py <work folder>"""
import os
import random
import shutil
import subprocess
import sys

SMALL_FILES = 3900
LARGE_FILES = 100


def text_block(rng, size):
    words = [b"quote", b"symbol", b"market", b"order", b"price", b"volume", b"layout", b"panel",
             b"indicator", b"window", b"font", b"color", b"\xe8\xa1\x8c\xe6\x83\x85", b"\xe4\xba\xa4\xe6\x98\x93"]
    out = bytearray()
    while len(out) < size:
        out += b"%s_%d=%s,%d\r\n" % (rng.choice(words), rng.randrange(10000), rng.choice(words), rng.randrange(10**7))
    return bytes(out[:size])


def binary_block(rng, size):
    """Like code and data sections: runs of structured, repetitive bytes between incompressible
    stretches, so that deflate packs it to roughly half."""
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.5:
            out += os.urandom(rng.randrange(256, 4096))
        else:
            pattern = os.urandom(rng.randrange(4, 32))
            out += pattern * rng.randrange(16, 256)
    return bytes(out[:size])


def main(work):
    source = os.path.join(work, "source")
    archive = os.path.join(work, "bench.zip")
    if os.path.exists(archive):
        return
    rng = random.Random(95)
    shutil.rmtree(source, ignore_errors=True)
    for i in range(SMALL_FILES):
        folder = os.path.join(source, "module%02d" % (i % 40), "part%d" % (i % 7))
        os.makedirs(folder, exist_ok=True)
        kind = rng.random()
        if kind < 0.55:
            data, ext = text_block(rng, rng.randrange(200, 40000)), ".ini"
        elif kind < 0.85:
            data, ext = binary_block(rng, rng.randrange(1000, 60000)), ".dat"
        else:
            data, ext = os.urandom(rng.randrange(1000, 30000)), ".png"  # already packed
        with open(os.path.join(folder, "file%04d%s" % (i, ext)), "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(source, "bin"), exist_ok=True)
    for i in range(LARGE_FILES):
        size = rng.randrange(1 << 20, 5 << 20)
        data = binary_block(rng, size) if i % 4 else text_block(rng, size)
        with open(os.path.join(source, "bin", "library%03d.dll" % i), "wb") as f:
            f.write(data)
    subprocess.run(["zip", "-q", "-r", "-X", os.path.abspath(archive), "."], cwd=source, check=True)


if __name__ == "__main__":
    main(sys.argv[1])
