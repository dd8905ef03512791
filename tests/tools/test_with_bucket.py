#!/usr/bin/env python3
"""The test runner: environment, exit codes, the emulator's lifetime, fixed-port runs in turn."""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RUNNER = os.path.join(SOURCE_DIR, "tools", "local-bucket", "with_bucket.py")

# Run inside the bucket: fetches the manifest with a signed request made from the environment.
FETCH = r"""
import base64, email.utils, hashlib, hmac, json, os, urllib.request
e = os.environ
date = email.utils.formatdate(usegmt=True)
key = "9.5KAvrindelIE/summary.ini"
text = "GET\n\n\n%s\n/%s/%s" % (date, e["KAV_BUCKET_NAME"], key)
sig = base64.b64encode(hmac.new(e["KAV_BUCKET_KEY_SECRET"].encode(), text.encode(), hashlib.sha1).digest()).decode()
req = urllib.request.Request("http://%s/%s/%s" % (e["KAV_BUCKET_ENDPOINT"], e["KAV_BUCKET_NAME"], key),
                             headers={"Date": date, "Authorization": "OSS %s:%s" % (e["KAV_BUCKET_KEY_ID"], sig)})
body = urllib.request.urlopen(req).read().decode()
names = [n for n in e if n.startswith("KAV_BUCKET_")]
print(json.dumps({"env": {n: e[n] for n in names}, "manifest": body}))
"""


class WithBucketTest(unittest.TestCase):
    def setUp(self):
        self.build = tempfile.mkdtemp()
        standin = os.path.join(self.build, "tools", "sample-product")
        os.makedirs(standin)
        with open(os.path.join(standin, "kavrindel_standin.exe"), "wb") as f:
            f.write(b"MZ stand-in")

    def tearDown(self):
        shutil.rmtree(self.build)

    def run_bucket(self, *args, command):
        return subprocess.run([sys.executable, RUNNER, "--build-dir", self.build] + list(args) + ["--"] + command,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=120)

    def runs(self):
        return sorted(os.listdir(os.path.join(self.build, "bucket-runs")))

    def test_command_sees_a_served_release(self):
        result = self.run_bucket("--release", "--fix-name 9.5.9.7_fix --quant-name Q7", command=[sys.executable, "-c", FETCH])
        self.assertEqual(result.returncode, 0, result.stderr)
        out = json.loads(result.stdout)
        env = out["env"]
        self.assertIn("201805=9.5.9.7_fix", out["manifest"])
        self.assertIn("201805=Q7", out["manifest"])
        host, port = env["KAV_BUCKET_ENDPOINT"].split(":")
        self.assertEqual(host, "127.0.0.1")
        self.assertEqual(env["KAV_BUCKET_CONTROL"], "http://127.0.0.1:%s/_kav_control" % port)
        self.assertEqual((env["KAV_BUCKET_NAME"], env["KAV_BUCKET_KEY_ID"], env["KAV_BUCKET_KEY_SECRET"]),
                         ("kavbucket", "LTAI5tKavrindelTestKey01", "KavrindelLocalBucketSecret0001"))
        root, log = env["KAV_BUCKET_ROOT_UNIX"], env["KAV_BUCKET_LOG_UNIX"]
        self.assertTrue(root.startswith(os.path.join(self.build, "bucket-runs") + "/"))
        self.assertEqual(env["KAV_BUCKET_ROOT"], "Z:" + root.replace("/", "\\"))
        self.assertEqual(env["KAV_BUCKET_LOG"], "Z:" + log.replace("/", "\\"))
        # After the run the emulator is gone and the work folder removed.
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", int(port)), timeout=2)
        self.assertEqual(self.runs(), [])

    def test_exit_code_and_kept_folder_on_failure(self):
        result = self.run_bucket("--no-release", command=["sh", "-c", 'ls "$KAV_BUCKET_ROOT_UNIX"; '
                                                          'test -f "$KAV_BUCKET_LOG_UNIX" && exit 7'])
        self.assertEqual(result.returncode, 7)
        self.assertEqual(result.stdout, "")  # an empty bucket
        self.assertEqual(len(self.runs()), 1)
        self.assertIn("work folder kept", result.stderr)

    def test_missing_standin_is_a_setup_failure(self):
        os.remove(os.path.join(self.build, "tools", "sample-product", "kavrindel_standin.exe"))
        result = self.run_bucket(command=["true"])
        self.assertEqual(result.returncode, 125)
        self.assertIn("stand-in", result.stderr)

    def test_release_options_that_look_like_runner_options(self):
        for release in ("--big-mb=1", "--big-mb 1"):
            with self.subTest(release=release):
                result = self.run_bucket("--release", release, command=[
                    "sh", "-c", 'test $(stat -c %s "$KAV_BUCKET_ROOT_UNIX/9.5KAvrindelIE/base.zip") -gt 1048576'])
                self.assertEqual(result.returncode, 0, result.stderr)

    def test_signature_check_of_the_commands_requests(self):
        signed_ok = [sys.executable, "-c", FETCH]
        with_bad = ["sh", "-c", '%s -c "$0" && curl -s -o /dev/null -H "Authorization: OSS $KAV_BUCKET_KEY_ID:bad" '
                                '"http://$KAV_BUCKET_ENDPOINT/$KAV_BUCKET_NAME/9.5KAvrindelIE/base.zip"' % sys.executable,
                    FETCH]
        cases = [("good requests, agreement", "--check-signatures", signed_ok, 0),
                 ("good requests, all valid", "--expect-valid-signatures", signed_ok, 0),
                 ("a bad request, agreement", "--check-signatures", with_bad, 0),
                 ("a bad request, all valid", "--expect-valid-signatures", with_bad, 1)]
        for name, option, command, code in cases:
            with self.subTest(name):
                result = self.run_bucket(option, command=command)
                self.assertEqual(result.returncode, code, result.stderr)
                if code:
                    self.assertIn("INVALID GET /kavbucket/9.5KAvrindelIE/base.zip", result.stderr)

    def test_signed_url_lets_curl_fetch(self):
        signer = os.path.join(SOURCE_DIR, "tools", "local-bucket", "signed_url.py")
        fetch = ('curl -s -o /dev/null -w "%%{http_code} %%{size_download}\\n" "$(%s %s %s)"'
                 % (sys.executable, signer, "9.5KAvrindelIE/config.zip"))
        expired = '%s %s --validity -60 9.5KAvrindelIE/config.zip' % (sys.executable, signer)
        result = self.run_bucket(command=["sh", "-c", fetch + '; curl -s -o /dev/null -w "%{http_code}\n" "$(' + expired + ')"; '
                                          'stat -c %s "$KAV_BUCKET_ROOT_UNIX/9.5KAvrindelIE/config.zip"'])
        self.assertEqual(result.returncode, 0, result.stderr)
        fetched, refused, size = result.stdout.splitlines()
        self.assertEqual(fetched, "200 " + size)
        self.assertEqual(refused, "403")

    def test_fixed_port_runs_take_turns(self):
        spans = []

        def one():
            start = time.monotonic()
            result = self.run_bucket("--fixed-port", "--no-release", command=[
                sys.executable, "-c", "import os, time; print(os.environ['KAV_BUCKET_ENDPOINT']); time.sleep(1)"])
            spans.append((start, time.monotonic(), result.returncode, result.stdout.strip()))

        threads = [threading.Thread(target=one) for _ in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual([(s[2], s[3]) for s in spans], [(0, "127.0.0.1:47195")] * 2)
        first, second = sorted(spans, key=lambda s: s[1])
        self.assertGreaterEqual(second[1] - first[1], 1.0)


if __name__ == "__main__":
    unittest.main()
