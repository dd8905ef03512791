#!/usr/bin/env python3
"""Builds a complete sample release laid out as the installer's bucket expects it.

  DIR/9.5KAvrindelIE/summary.ini          manifest: [cfgstamp] time, [fixstamp] and [quant] by package code
  DIR/9.5KAvrindelIE/base.zip             service files and folders
  DIR/9.5KAvrindelIE/config.zip           config/kavrindel.Default.pub and .pri
  DIR/9.5KAvrindelIE/fix/<fix-name>.zip   the product: "kavrindel v9.5.exe", uninstall.exe, the shortcut icon
  DIR/9.5KAvrindelIE/quant/<name>.zip     the Quant runtime, only with --quant-name

The archives are written as a Windows tool writes them: MS-DOS attributes, folder entries with the
directory attribute, names as narrow code page 936 bytes without the UTF-8 flag. Output is
deterministic (fixed entry times, seeded filler), so two runs give the same bytes.
Prints a JSON summary (object keys, sizes, CRC-64, archive entries) on stdout.
"""

import argparse
import hashlib
import json
import os
import random
import struct
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "local-bucket"))
from oss_emulator import crc64_ecma  # noqa: E402  (the service's checksum, for the summary)

PREFIX = "9.5KAvrindelIE"
ENTRY_TIME = (2024, 5, 18, 10, 30, 0)
DOS_DIRECTORY = 0x10
DOS_ARCHIVE = 0x20
FILLER_FILE_BYTES = 64 * 1024 * 1024
FILLER_SEED = 201805
MANY_FOLDERS = 20


class NarrowZipInfo(zipfile.ZipInfo):
    """An entry whose name is stored as code page 936 bytes, without the UTF-8 flag."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("gbk"), self.flag_bits & ~0x800


def entry(name, is_folder=False):
    info = NarrowZipInfo(name, ENTRY_TIME)
    info.create_system = 0  # MS-DOS attributes
    info.external_attr = DOS_DIRECTORY if is_folder else DOS_ARCHIVE
    info.compress_type = zipfile.ZIP_STORED if is_folder else zipfile.ZIP_DEFLATED
    return info


class Package:
    def __init__(self, path):
        self.path = path
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.zip = zipfile.ZipFile(path, "w")
        self.names = []

    def folder(self, name):
        self.zip.writestr(entry(name.rstrip("/") + "/", True), b"")
        self.names.append(name.rstrip("/") + "/")

    def file(self, name, data, stored=False):
        info = entry(name)
        if stored:
            info.compress_type = zipfile.ZIP_STORED
        self.zip.writestr(info, data)
        self.names.append(name)

    def close(self):
        self.zip.close()


def ini_text(sections):
    """INI text with CRLF line ends in code page 936: [(section, [(key, value), ...]), ...]."""
    lines = []
    for section, pairs in sections:
        lines.append("[%s]" % section)
        lines.extend("%s=%s" % kv for kv in pairs)
        lines.append("")
    return "\r\n".join(lines).encode("gbk")


def icon_bytes():
    """A real Windows icon: 16x16 and 32x32 images, 32 bits per pixel with an AND mask."""
    images = []
    for size in (16, 32):
        pixels = bytearray()
        mask_row = ((size + 31) // 32) * 4
        mask = bytearray()
        centre = (size - 1) / 2.0
        for y in range(size - 1, -1, -1):  # bottom-up rows
            row_mask = 0
            for x in range(size):
                dx, dy = x - centre, y - centre
                inside = dx * dx + dy * dy <= (size / 2.0) ** 2
                if inside:
                    # A blue disc with a lighter diagonal stripe.
                    stripe = abs(dx - dy) < size / 8.0
                    b, g, r = (250, 230, 200) if stripe else (200, 110, 30)
                    pixels += bytes((b, g, r, 255))
                else:
                    pixels += bytes((0, 0, 0, 0))
                    row_mask |= 1 << (mask_row * 8 - 1 - x)
            mask += row_mask.to_bytes(mask_row, "big")
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        images.append((size, header + bytes(pixels) + bytes(mask)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def build(args):
    top = os.path.join(args.out, PREFIX)
    os.makedirs(top, exist_ok=True)
    code = args.package_code
    with open(args.standin, "rb") as f:
        standin = f.read()
    packages = {}

    quant = [(code, args.quant_name)] if args.quant_name else []
    with open(os.path.join(top, "summary.ini"), "wb") as f:
        f.write(ini_text([("cfgstamp", [("time", args.cfg_time)]),
                          ("fixstamp", [(code, args.fix_name)]),
                          ("quant", quant)]))

    base = Package(os.path.join(top, "base.zip"))
    base.folder("Server")
    base.folder("Server/bin")
    base.file("Server/bin/service.ini", ini_text([("service", [("port", "19850"), ("threads", "4")])]))
    base.file("Server/bin/version.txt", b"service 9.5.9.1\r\n")
    base.folder("Server/data")
    base.folder("Server/log")
    base.file("Server/说明.txt", "服务组件说明\r\n".encode("gbk"))
    if args.big_mb:
        rng = random.Random(FILLER_SEED)
        left = args.big_mb * 1024 * 1024
        index = 0
        while left > 0:
            n = min(left, FILLER_FILE_BYTES)
            base.file("Server/data/filler%03d.bin" % index, rng.randbytes(n), stored=True)
            left -= n
            index += 1
    for index in range(args.many_files):
        base.file("Server/data/many/d%02d/file%05d.txt" % (index % MANY_FOLDERS, index),
                  b"release file %d of %s\r\n" % (index, args.fix_name.encode()) * (1 + index % 7))
    base.close()
    packages["base.zip"] = base

    config = Package(os.path.join(top, "config.zip"))
    config.folder("config")
    config.file("config/kavrindel.Default.pub", ini_text([
        ("kavrindel", [("package", "000000"), ("server", "quote.kavrindel.local"), ("channel", "stable")]),
        ("display", [("theme", "dark")])]))
    config.file("config/kavrindel.Default.pri", ini_text([
        ("kavrindel", [("language", "1033"), ("autologin", "0"), ("lastuser", "")]),
        ("window", [("width", "1280"), ("height", "800")])]))
    config.close()
    packages["config.zip"] = config

    fix = Package(os.path.join(top, "fix", args.fix_name + ".zip"))
    fix.file("kavrindel v9.5.exe", standin)
    fix.file("uninstall.exe", standin)
    fix.folder("Server/config/shortcut")
    fix.file("Server/config/shortcut/shortcut%s.ico" % code, icon_bytes())
    fix.close()
    packages["fix/" + args.fix_name + ".zip"] = fix

    if args.quant_name:
        q = Package(os.path.join(top, "quant", args.quant_name + ".zip"))
        q.folder("Quant")
        q.file("Quant/quant.ini", ini_text([("quant", [("version", args.quant_name)])]))
        q.file("Quant/strategies/sample.txt", b"sample strategy\r\n")
        q.close()
        packages["quant/" + args.quant_name + ".zip"] = q

    objects = {}
    for folder, _, files in os.walk(top):
        for name in sorted(files):
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                crc, md5, size = 0, hashlib.md5(), 0
                while True:
                    block = f.read(4 * 1024 * 1024)
                    if not block:
                        break
                    crc = crc64_ecma(block, crc)
                    md5.update(block)
                    size += len(block)
            key = os.path.relpath(path, args.out).replace(os.sep, "/")
            objects[key] = {"size": size, "crc64ecma": str(crc), "md5": md5.hexdigest()}
    return {
        "root": os.path.abspath(args.out),
        "prefix": PREFIX,
        "package_code": code,
        "fix_package": args.fix_name,
        "quant_package": args.quant_name or "",
        "cfg_time": args.cfg_time,
        "objects": dict(sorted(objects.items())),
        "entries": {PREFIX + "/" + k: p.names for k, p in packages.items()},
    }


def main(argv):
    p = argparse.ArgumentParser(description="Builds a sample release folder for the local bucket.")
    p.add_argument("--out", required=True, help="bucket folder to write into")
    p.add_argument("--standin", required=True, help="path of kavrindel_standin.exe")
    p.add_argument("--package-code", default="201805")
    p.add_argument("--fix-name", default="9.5.9.1_fix", help="runtime package name (without .zip)")
    p.add_argument("--quant-name", default="", help="Quant package name (without .zip); none by default")
    p.add_argument("--cfg-time", default="42", help="[cfgstamp] time, written as given")
    p.add_argument("--big-mb", type=int, default=0, help="add this many MiB of filler to base.zip")
    p.add_argument("--many-files", type=int, default=0, help="add this many small files to base.zip")
    args = p.parse_args(argv)
    for value, what in ((args.fix_name, "--fix-name"), (args.quant_name, "--quant-name")):
        if any(c in value for c in "/\\\r\n\0") or value in (".", ".."):
            p.error("%s must be a plain file name" % what)
    if not args.fix_name:
        p.error("--fix-name must not be empty")
    if any(c in args.package_code + args.cfg_time for c in "\r\n\0[]="):
        p.error("--package-code and --cfg-time must be single-line values")
    if args.big_mb < 0:
        p.error("--big-mb must not be negative")
    if args.many_files < 0:
        p.error("--many-files must not be negative")
    if not os.path.isfile(args.standin):
        p.error("--standin %s is not a file" % args.standin)
    json.dump(build(args), sys.stdout, indent=1, ensure_ascii=False)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
