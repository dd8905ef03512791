#!/usr/bin/env python3
"""Writes the zip archives the archive tests extract into the folder given as the only argument.

Ordinary archives come from Info-ZIP zip and Python's zipfile. Archives with names or fields no
well-behaved tool writes (hostile names, wrong CRCs, unknown methods, a name ending in "/" without
the folder attribute) are written byte by byte with raw_zip below.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

DOS_DIRECTORY = 0x10


def dos_date_time(year, month, day, hour, minute, second):
    date = ((year - 1980) << 9) | (month << 5) | day
    time = (hour << 11) | (minute << 5) | (second // 2)
    return date, time


def raw_zip(path, entries):
    """entries: dicts with name (bytes), data (bytes), and optional method (0 stored, 8 deflated,
    anything else written as given), crc (stored as given), attr (external attributes) and
    when (year, month, day, hour, minute, second)."""
    body = bytearray()
    central = bytearray()
    for entry in entries:
        name = entry["name"]
        data = entry.get("data", b"")
        method = entry.get("method", 0)
        crc = entry.get("crc", zlib.crc32(data) & 0xFFFFFFFF)
        if method == 8:
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed = packer.compress(data) + packer.flush()
        else:
            packed = data
        date, time = dos_date_time(*entry.get("when", (2020, 1, 2, 3, 4, 6)))
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, time, date, crc,
                            len(packed), len(data), len(name), 0)
        body += name + packed
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, time, date, crc,
                               len(packed), len(data), len(name), 0, 0, 0, 0,
                               entry.get("attr", 0x20), offset)
        central += name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                      len(body), 0)
    with open(path, "wb") as f:
        f.write(bytes(body) + bytes(central) + end)


def info_zip(archive, folder, *names):
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["zip", "-q", "-r", "-X", os.path.abspath(archive), *names], cwd=folder, check=True)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def text_lines(rng, count):
    words = ["quote", "symbol", "market", "order", "price", "volume", "config", "layout", "panel",
             "本地", "行情", "交易", "设置"]
    lines = []
    for i in range(count):
        lines.append("%s_%d = %s %d" % (rng.choice(words), i, rng.choice(words), rng.randrange(10**6)))
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def make_package_tree(root, rng):
    """A small tree shaped like a product package: configuration texts, binaries, resources."""
    shutil.rmtree(root, ignore_errors=True)
    write(os.path.join(root, "kavrindel v9.5.exe"), bytes(rng.randrange(256) for _ in range(40000)))
    write(os.path.join(root, "config", "kavrindel.Default.pub"), text_lines(rng, 300))
    write(os.path.join(root, "config", "kavrindel.Default.pri"), text_lines(rng, 120))
    for i in range(12):
        write(os.path.join(root, "plugins", "module%02d.dll" % i),
              bytes(rng.randrange(16) for _ in range(rng.randrange(200, 6000))))
    for i in range(10):
        write(os.path.join(root, "res", "skin", "image%02d.bmp" % i), bytes([i]) * rng.randrange(100, 5000))
    for i in range(8):
        write(os.path.join(root, "docs", "note%d.txt" % i), text_lines(rng, rng.randrange(1, 60)))
    write(os.path.join(root, "empty.dat"), b"")
    os.makedirs(os.path.join(root, "logs"), exist_ok=True)


def main(out):
    os.makedirs(out, exist_ok=True)
    rng = random.Random(20180509)

    # a/, a/b.txt, c.txt and a folder with nothing in it, as Info-ZIP stores them.
    tree = os.path.join(out, "tree-src")
    shutil.rmtree(tree, ignore_errors=True)
    write(os.path.join(tree, "a", "b.txt"), b"inside a\r\n")
    write(os.path.join(tree, "c.txt"), b"top level\r\n")
    os.makedirs(os.path.join(tree, "empty"))
    info_zip(os.path.join(out, "tree.zip"), tree, "a", "c.txt", "empty")

    # A realistic package, its source tree kept for comparison.
    package = os.path.join(out, "package-src")
    make_package_tree(package, rng)
    info_zip(os.path.join(out, "package.zip"), package, ".")

    # Cut in the middle: the end of the catalogue is lost.
    with open(os.path.join(out, "package.zip"), "rb") as f:
        whole = f.read()
    write(os.path.join(out, "truncated.zip"), whole[: len(whole) // 2])

    # No entries at all.
    with zipfile.ZipFile(os.path.join(out, "empty.zip"), "w"):
        pass

    # A file deep in folders that have no entries of their own.
    raw_zip(os.path.join(out, "nofolders.zip"), [{"name": b"x/y/z.dat", "data": b"deep\n", "method": 8}])

    # A name ending in "/" whose attributes do not mark a folder.
    raw_zip(os.path.join(out, "slashfile.zip"), [
        {"name": b"first.txt", "data": b"first\n"},
        {"name": b"d/", "data": b"", "attr": 0x20},
        {"name": b"last.txt", "data": b"last\n"},
    ])

    # GBK names, a GBK folder entry included.
    raw_zip(os.path.join(out, "gbk.zip"), [
        {"name": "中文目录/".encode("gbk"), "attr": DOS_DIRECTORY},
        {"name": "中文目录/数据文件.txt".encode("gbk"), "data": "行情数据\r\n".encode("gbk"), "method": 8},
        {"name": "说明.txt".encode("gbk"), "data": b"readme\r\n"},
    ])

    # Stored and deflated entries with the same content, and a large deflated one.
    content = text_lines(rng, 400)
    big = text_lines(rng, 20000) + bytes(rng.randrange(256) for _ in range(100000))
    raw_zip(os.path.join(out, "methods.zip"), [
        {"name": b"stored.txt", "data": content, "method": 0},
        {"name": b"deflated.txt", "data": content, "method": 8},
        {"name": b"big.bin", "data": big, "method": 8},
        {"name": b"zero.txt", "data": b"", "method": 8},
    ])

    # Sizes around the 2 KiB pieces the data are read in and the 64 KiB runs they are written in,
    # each stored and deflated; byte j of a file of n bytes is (j * 31 + n) % 251.
    edges = []
    for size in (1, 2047, 2048, 2049, 63488, 65535, 65536, 65537, 4 * 65536 + 2048 + 3):
        data = bytes((j * 31 + size) % 251 for j in range(size))
        for method, tag in ((0, "stored"), (8, "deflated")):
            edges.append({"name": b"%s-%d.bin" % (tag.encode(), size), "data": data, "method": method})
    raw_zip(os.path.join(out, "run-edges.zip"), edges)

    # An entry larger than the file-size limit the write-failure test runs under, between two small
    # ones; byte j is j % 251.
    big = (bytes(range(251)) * ((9 << 20) // 251 + 1))[:9 << 20]
    raw_zip(os.path.join(out, "write-limit.zip"), [
        {"name": b"before.txt", "data": b"before\n", "method": 8},
        {"name": b"huge.bin", "data": big, "method": 8},
        {"name": b"after/", "attr": 0x10},
        {"name": b"after/after.txt", "data": b"after\n", "method": 8},
    ])

    # Data whose CRC does not match the catalogue (local header and catalogue agree on the wrong one).
    for method, tag in ((0, "stored"), (8, "deflated")):
        data = text_lines(rng, 50)
        raw_zip(os.path.join(out, "badcrc-%s.zip" % tag), [
            {"name": b"ok.txt", "data": b"fine\n", "method": method},
            {"name": b"bad.txt", "data": data, "method": method, "crc": zlib.crc32(data) ^ 0x00010000},
            {"name": b"after.txt", "data": b"after\n", "method": method},
        ])

    # Compression methods minizip cannot decode: bzip2 (12), LZMA (14), an unknown one (99).
    for method in (12, 14, 99):
        raw_zip(os.path.join(out, "method%d.zip" % method), [
            {"name": b"packed.bin", "data": bytes(rng.randrange(256) for _ in range(70000)), "method": method},
        ])

    # A known entry time.
    raw_zip(os.path.join(out, "times.zip"), [
        {"name": b"t.txt", "data": b"time\n", "when": (2019, 3, 15, 10, 20, 30)},
        {"name": b"winter.txt", "data": b"time\n", "when": (2011, 12, 24, 23, 59, 58)},
    ])

    # The catalogue entry of the second file lost its signature.
    damaged = os.path.join(out, "damaged-catalogue.zip")
    raw_zip(damaged, [{"name": b"one.txt", "data": b"1\n"}, {"name": b"two.txt", "data": b"2\n"},
                      {"name": b"three.txt", "data": b"3\n"}])
    with open(damaged, "rb") as f:
        data = bytearray(f.read())
    first = data.find(b"PK\x01\x02")
    second = data.find(b"PK\x01\x02", first + 4)
    data[second:second + 4] = b"PK\x09\x09"
    write(damaged, bytes(data))

    # A name followed by the target file; the name is given by the test through the file name.
    def named(file_name, entry_name, attr=0x20):
        raw_zip(os.path.join(out, file_name), [
            {"name": b"first.txt", "data": b"first\n"},
            {"name": entry_name, "data": b"payload\n", "attr": attr},
            {"name": b"after.txt", "data": b"after\n"},
        ])

    hostile = {
        "slip-dotdot.zip": b"../evil.txt",
        "slip-dotdot-backslash.zip": b"..\\evil.txt",
        "slip-dotdot-deep.zip": b"a/b/../../../evil.txt",
        "slip-dotdot-folder.zip": b"../evil",
        "slip-root-backslash.zip": b"\\evil.txt",
        "slip-root-slash.zip": b"/evil.txt",
        "slip-drive-relative.zip": b"C:evil.txt",
        "slip-drive-absolute.zip": b"C:\\evil.txt",
        "slip-unc.zip": b"\\\\server\\share\\evil.txt",
        "slip-device-path.zip": b"\\\\?\\C:\\evil.txt",
        "slip-dotdot-trailing-space.zip": b".. /evil.txt",
        "slip-dotdot-trailing-dot.zip": b".../evil.txt",
        "slip-dots-spaces.zip": b". ./evil.txt",
        "slip-stream.zip": b"first.txt:evil",
        "device-con.zip": b"CON",
        "device-nul.zip": b"NUL",
        "device-com1.zip": b"COM1",
        "device-con-ext.zip": b"con.txt",
        "device-nested.zip": b"sub/nul",
        "device-lpt1-space.zip": b"LPT1 .log",
        "empty-name.zip": b"",
    }
    for file_name, entry_name in hostile.items():
        named(file_name, entry_name)
    named("slip-dotdot-folder-entry.zip", b"../evilfolder/", DOS_DIRECTORY)
    # Forms that stay inside once Windows has normalised them.
    named("inside-dot.zip", b"./sub/./inner.txt")
    named("inside-dotdot-within.zip", b"sub/deeper/../inner.txt")
    named("inside-trailing-dot.zip", b"sub./inner.txt")

    # Name length limits: the name buffer holds 259 bytes and a terminator.
    named("name-260.zip", b"n" * 260)
    named("name-300.zip", b"n/" * 150)


if __name__ == "__main__":
    main(sys.argv[1])
