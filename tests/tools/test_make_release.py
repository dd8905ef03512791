#!/usr/bin/env python3
"""The sample-release builder: bucket layout, manifest, archive entries as Info-ZIP reads them."""

import configparser
import hashlib
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(SOURCE_DIR, "tools", "sample-release", "make_release.py")
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "local-bucket"))
from oss_emulator import crc64_python  # noqa: E402

PREFIX = "9.5KAvrindelIE"


def unzip_names(path):
    """Entry names as `unzip -l` lists them (ASCII names; the last column)."""
    out = subprocess.run(["unzip", "-l", path], stdout=subprocess.PIPE, check=True).stdout.decode("latin-1")
    lines = out.splitlines()
    rows = lines[lines.index(next(l for l in lines if l.startswith("---------"))) + 1:]
    rows = rows[:rows.index(next(l for l in rows if l.startswith("---------")))]
    return [row[30:] for row in rows]


def stored_names(path):
    """Entry names as the archive stores them, read as code page 936 bytes."""
    with zipfile.ZipFile(path) as z:
        return [i.orig_filename.encode("cp437").decode("gbk") if not i.flag_bits & 0x800 else None
                for i in z.infolist()]


def read_ini(data):
    self_ini = configparser.ConfigParser(interpolation=None)
    self_ini.read_string(data.decode("gbk"))
    return self_ini


class MakeReleaseTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.standin = os.path.join(self.tmp, "kavrindel_standin.exe")
        with open(self.standin, "wb") as f:
            f.write(b"MZ" + random.Random(1).randbytes(5000))

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def make(self, out, *options):
        result = subprocess.run([sys.executable, SCRIPT, "--out", out, "--standin", self.standin] + list(options),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return result.returncode, result.stdout, result.stderr

    def test_release_layout_and_entries(self):
        cases = [
            ("defaults", [], "201805", "9.5.9.1_fix", "", "42"),
            ("quant and own names", ["--package-code", "201806", "--fix-name", "9.5.9.2_fix",
                                     "--quant-name", "quant_1.2", "--cfg-time", " -7"],
             "201806", "9.5.9.2_fix", "quant_1.2", " -7"),
        ]
        for name, options, code, fix, quant, cfg_time in cases:
            with self.subTest(name):
                out = os.path.join(self.tmp, name.replace(" ", "_"))
                rc, stdout, stderr = self.make(out, *options)
                self.assertEqual(rc, 0, stderr)
                top = os.path.join(out, PREFIX)
                keys = sorted(os.path.relpath(os.path.join(d, f), out) for d, _, fs in os.walk(out) for f in fs)
                expected = sorted([PREFIX + "/summary.ini", PREFIX + "/base.zip", PREFIX + "/config.zip",
                                   PREFIX + "/fix/%s.zip" % fix] + ([PREFIX + "/quant/%s.zip" % quant] if quant else []))
                self.assertEqual(keys, expected)

                with open(os.path.join(top, "summary.ini"), "rb") as f:
                    manifest = f.read()
                self.assertNotIn(b"\n", manifest.replace(b"\r\n", b""))
                ini = read_ini(manifest)
                self.assertEqual(ini.get("cfgstamp", "time"), cfg_time.strip())
                self.assertIn(b"time=" + cfg_time.encode() + b"\r\n", manifest)
                self.assertEqual(ini.get("fixstamp", code), fix)
                self.assertEqual(ini.get("quant", code, fallback=None), quant or None)

                for archive in expected:
                    if archive.endswith(".zip"):
                        test = subprocess.run(["unzip", "-tq", os.path.join(out, archive)], stdout=subprocess.PIPE)
                        self.assertEqual(test.returncode, 0, test.stdout)

                fix_zip = os.path.join(top, "fix", fix + ".zip")
                self.assertEqual(unzip_names(fix_zip), ["kavrindel v9.5.exe", "uninstall.exe", "Server/config/shortcut/",
                                                        "Server/config/shortcut/shortcut%s.ico" % code])
                for exe in ("kavrindel v9.5.exe", "uninstall.exe"):
                    data = subprocess.run(["unzip", "-p", fix_zip, exe], stdout=subprocess.PIPE, check=True).stdout
                    with open(self.standin, "rb") as f:
                        self.assertEqual(data, f.read())

                config_zip = os.path.join(top, "config.zip")
                self.assertEqual(unzip_names(config_zip), ["config/", "config/kavrindel.Default.pub",
                                                           "config/kavrindel.Default.pri"])
                for entry, own_key in (("config/kavrindel.Default.pub", "package"),
                                       ("config/kavrindel.Default.pri", "language")):
                    data = subprocess.run(["unzip", "-p", config_zip, entry], stdout=subprocess.PIPE, check=True).stdout
                    cfg = read_ini(data)
                    self.assertIn(own_key, cfg["kavrindel"])
                    self.assertGreaterEqual(len(cfg["kavrindel"]) + len(cfg.sections()), 4)

                base = stored_names(os.path.join(top, "base.zip"))
                self.assertIn("Server/说明.txt", base)
                self.assertIn("Server/data/", base)
                if quant:
                    self.assertIn("Quant/quant.ini", unzip_names(os.path.join(top, "quant", quant + ".zip")))

                summary = json.loads(stdout)
                self.assertEqual(sorted(summary["objects"]), expected)
                for key, meta in summary["objects"].items():
                    with open(os.path.join(out, key), "rb") as f:
                        data = f.read()
                    self.assertEqual(meta["size"], len(data))
                    self.assertEqual(int(meta["crc64ecma"]), crc64_python(data))
                    self.assertEqual(meta["md5"], hashlib.md5(data).hexdigest())
                self.assertEqual(summary["entries"][PREFIX + "/fix/%s.zip" % fix][0], "kavrindel v9.5.exe")

    def test_archives_look_made_on_windows(self):
        out = os.path.join(self.tmp, "r")
        self.assertEqual(self.make(out)[0], 0)
        for archive in ("base.zip", "config.zip", "fix/9.5.9.1_fix.zip"):
            with zipfile.ZipFile(os.path.join(out, PREFIX, archive)) as z:
                for info in z.infolist():
                    with self.subTest(archive=archive, entry=info.orig_filename):
                        self.assertEqual(info.create_system, 0)
                        self.assertFalse(info.flag_bits & 0x800)
                        self.assertEqual(bool(info.external_attr & 0x10), info.orig_filename.endswith("/"))

    def test_icon_is_a_windows_icon(self):
        out = os.path.join(self.tmp, "r")
        self.assertEqual(self.make(out)[0], 0)
        ico = subprocess.run(["unzip", "-p", os.path.join(out, PREFIX, "fix", "9.5.9.1_fix.zip"),
                              "Server/config/shortcut/shortcut201805.ico"], stdout=subprocess.PIPE, check=True).stdout
        reserved, kind, count = struct.unpack_from("<HHH", ico)
        self.assertEqual((reserved, kind), (0, 1))
        sizes = []
        for i in range(count):
            w, h, _, _, planes, bits, length, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
            self.assertLessEqual(offset + length, len(ico))
            header = struct.unpack_from("<IiiHH", ico, offset)
            self.assertEqual(header, (40, w, 2 * h, 1, 32))
            row_mask = ((w + 31) // 32) * 4
            self.assertEqual(length, 40 + w * h * 4 + row_mask * h)
            sizes.append(w)
        self.assertEqual(sorted(sizes), [16, 32])
        if shutil.which("identify"):
            path = os.path.join(self.tmp, "icon.ico")
            with open(path, "wb") as f:
                f.write(ico)
            described = subprocess.run(["identify", path], stdout=subprocess.PIPE, check=True).stdout.decode()
            self.assertIn("ICO 16x16", described)
            self.assertIn("ICO 32x32", described)

    def test_big_release_and_determinism(self):
        one, two = os.path.join(self.tmp, "one"), os.path.join(self.tmp, "two")
        self.assertEqual(self.make(one, "--big-mb", "3")[0], 0)
        self.assertEqual(self.make(two, "--big-mb", "3")[0], 0)
        base = os.path.join(one, PREFIX, "base.zip")
        with zipfile.ZipFile(base) as z:
            filler = sum(i.file_size for i in z.infolist() if i.filename.startswith("Server/data/filler"))
        self.assertEqual(filler, 3 * 1024 * 1024)
        self.assertGreater(os.path.getsize(base), 3 * 1024 * 1024)
        for d, _, files in os.walk(one):
            for name in files:
                a = os.path.join(d, name)
                with open(a, "rb") as fa, open(os.path.join(two, os.path.relpath(a, one)), "rb") as fb:
                    self.assertEqual(fa.read(), fb.read(), a)

    def test_many_files(self):
        out = os.path.join(self.tmp, "many")
        self.assertEqual(self.make(out, "--many-files", "45")[0], 0)
        with zipfile.ZipFile(os.path.join(out, PREFIX, "base.zip")) as z:
            many = [i.filename for i in z.infolist() if i.filename.startswith("Server/data/many/")]
        self.assertEqual(len(many), 45)
        self.assertEqual(len(set(many)), 45)

    def test_bad_options_are_refused(self):
        for options in (["--fix-name", "../x"], ["--fix-name", ""], ["--quant-name", "a\\b"],
                        ["--package-code", "2018\n05"], ["--big-mb", "-1"], ["--many-files", "-1"]):
            with self.subTest(options=options):
                rc, _, stderr = self.make(os.path.join(self.tmp, "bad"), *options)
                self.assertEqual(rc, 2, stderr)
        result = subprocess.run([sys.executable, SCRIPT, "--out", os.path.join(self.tmp, "bad"), "--standin",
                                 os.path.join(self.tmp, "absent.exe")], stderr=subprocess.PIPE)
        self.assertEqual(result.returncode, 2)
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "bad")))


if __name__ == "__main__":
    unittest.main()
