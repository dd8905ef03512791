#!/usr/bin/env python3
"""Packs a .bmp file for the resource script: the whole file as one zlib stream.

    python3 resources/pack_bitmap.py background_ready.bmp background_ready.bmp.z

The program inflates it at run time into the same bitmap (ui/toolkit/ArtworkBitmap.cpp). The
artwork's flat colours and gradients shrink to a few per cent of their size.
"""
import sys
import zlib


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        sys.exit(f"{source} is not a BMP file")
    with open(target, "wb") as f:
        f.write(zlib.compress(data, 9))


if __name__ == "__main__":
    main()
