#!/usr/bin/env python3
"""Behaviour of the local bucket emulator over real HTTP: signatures, answers, faults, rate, exit."""

import base64
import email.utils
import hashlib
import hmac
import http.client
import json
import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EMULATOR = os.path.join(SOURCE_DIR, "tools", "local-bucket", "oss_emulator.py")
sys.path.insert(0, os.path.dirname(EMULATOR))
import oss_emulator  # noqa: E402

BUCKET = "kavbucket"
KEY_ID = "LTAI5tKavrindelTestKey01"
SECRET = "KavrindelLocalBucketSecret0001"
GBK_KEY = "9.5KAvrindelIE/安装包.zip".encode("gbk")


def start_emulator(root, *extra):
    port_file = os.path.join(root, "..", "port-%d" % random.randrange(1 << 30))
    proc = subprocess.Popen([sys.executable, EMULATOR, "--root", root, "--bucket", BUCKET, "--key-id", KEY_ID,
                             "--key-secret", SECRET, "--port", "0", "--port-file", port_file] + list(extra))
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        if os.path.exists(port_file):
            with open(port_file) as f:
                return proc, int(f.read())
        if proc.poll() is not None:
            raise RuntimeError("emulator exited with %d" % proc.returncode)
        time.sleep(0.02)
    proc.kill()
    raise RuntimeError("emulator did not start")


def signature(secret, method, resource, date, content_type="", content_md5="", oss_headers=None):
    text = b"%s\n%s\n%s\n%s\n" % (method.encode(), content_md5.encode(), content_type.encode(), date.encode())
    for name in sorted(oss_headers or {}):
        text += b"%s:%s\n" % (name.encode(), oss_headers[name].encode())
    text += resource
    return base64.b64encode(hmac.new(secret.encode(), text, hashlib.sha1).digest()).decode()


class Response:
    def __init__(self, resp, body, error=None):
        self.status = resp.status
        self.headers = {k.lower(): v for k, v in resp.getheaders()}
        self.body = body
        self.error = error

    def xml(self, element):
        text = self.body.decode("utf-8")
        start = text.find("<%s>" % element)
        end = text.find("</%s>" % element)
        return None if start < 0 else text[start + len(element) + 2:end]


class EmulatorCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.root = os.path.join(cls.tmp.name, "bucket")
        cls.log_path = os.path.join(cls.tmp.name, "requests.jsonl")
        os.makedirs(os.path.join(cls.root, "9.5KAvrindelIE", "fix"))
        cls.files = {
            b"9.5KAvrindelIE/check.txt": b"123456789",
            b"9.5KAvrindelIE/fix/R.zip": random.Random(7).randbytes(300000),
            b"9.5KAvrindelIE/empty.bin": b"",
            b"9.5KAvrindelIE/big.bin": random.Random(8).randbytes(1 << 20),
            GBK_KEY: b"gbk named object",
        }
        for key, data in cls.files.items():
            with open(os.path.join(os.fsencode(cls.root), key), "wb") as f:
                f.write(data)
        with open(os.path.join(cls.tmp.name, "outside.txt"), "wb") as f:
            f.write(b"must never be served")
        cls.proc, cls.port = start_emulator(cls.root, "--request-log", cls.log_path)

    @classmethod
    def tearDownClass(cls):
        cls.proc.terminate()
        cls.proc.wait(10)
        cls.tmp.cleanup()

    def setUp(self):
        # Reading the log waits for answers still under way (an earlier test's cut or stalled
        # connection may end a moment later); only then is the log cleared for this test.
        self.control("GET", "log")
        self.control("POST", "reset")
        self.control("POST", "rate", {"bytes_per_second": 0})

    # -- helpers -------------------------------------------------------------------------------

    def control(self, method, name, payload=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        body = None if payload is None else json.dumps(payload).encode()
        conn.request(method, "/_kav_control/" + name, body=body)
        resp = conn.getresponse()
        data = resp.read()
        conn.close()
        return resp.status, data

    def fault(self, **settings):
        status, data = self.control("POST", "faults", settings)
        self.assertEqual(status, 200, data)

    def log(self):
        status, data = self.control("GET", "log")
        self.assertEqual(status, 200)
        return [json.loads(line) for line in data.decode().splitlines()]

    def request(self, method, key, query="", secret=SECRET, key_id=KEY_ID, date=None, sign_key=None,
                sign_query=None, headers=None, sign_headers=None, host=None, virtual=False, auth=True,
                timeout=30):
        """A request signed as the storage service's clients sign it; parameters tamper with it."""
        date = date or email.utils.formatdate(usegmt=True)
        sign_key = key if sign_key is None else sign_key
        sign_query = query if sign_query is None else sign_query
        headers = dict(headers or {})
        sign_headers = headers if sign_headers is None else sign_headers
        resource = b"/" + BUCKET.encode() + b"/" + sign_key + (b"?" + sign_query.encode() if sign_query else b"")
        oss = {k.lower(): v for k, v in sign_headers.items() if k.lower().startswith("x-oss-")}
        date_line = oss.get("x-oss-date", date) if "Date" not in sign_headers and "x-oss-date" in oss else date
        sig = signature(secret, method, resource, date_line, sign_headers.get("Content-Type", ""),
                        sign_headers.get("Content-MD5", ""), oss)
        quoted = urllib.parse.quote_from_bytes(key, safe="/")
        path = ("/" if virtual else "/%s/" % BUCKET) + quoted + ("?" + query if query else "")
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        conn.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
        conn.putheader("Host", host or ("%s.127.0.0.1:%d" % (BUCKET, self.port) if virtual else "127.0.0.1:%d" % self.port))
        if "x-oss-date" not in {k.lower() for k in headers}:
            conn.putheader("Date", date)
        if auth:
            conn.putheader("Authorization", "OSS %s:%s" % (key_id, sig))
        for k, v in headers.items():
            conn.putheader(k, v)
        conn.endheaders()
        resp = conn.getresponse()
        error = None
        try:
            body = resp.read()
        except http.client.IncompleteRead as exc:
            body, error = exc.partial, exc
        except socket.timeout as exc:
            body, error = b"", exc
        conn.close()
        return Response(resp, body, error)

    # -- signature ------------------------------------------------------------------------------

    def test_signature_is_checked_over_every_signed_part(self):
        key = b"9.5KAvrindelIE/check.txt"
        stale = email.utils.formatdate(time.time() - 3600, usegmt=True)
        ct = {"Content-Type": "application/zip"}
        cases = [
            ("signed HEAD objectMeta", dict(method="HEAD", query="objectMeta"), 200, None),
            ("signed GET", dict(method="GET"), 200, None),
            ("wrong secret", dict(method="GET", secret="KavrindelLocalBucketSecret0002"), 403, "SignatureDoesNotMatch"),
            ("wrong secret on HEAD", dict(method="HEAD", query="objectMeta", secret="x" * 30), 403, "SignatureDoesNotMatch"),
            ("unknown key id", dict(method="GET", key_id="LTAI5tSomebodyElsesKey99"), 403, "InvalidAccessKeyId"),
            ("no Authorization", dict(method="GET", auth=False), 403, "SignatureDoesNotMatch"),
            ("signed for another key", dict(method="GET", sign_key=b"9.5KAvrindelIE/fix/R.zip"), 403, "SignatureDoesNotMatch"),
            ("objectMeta not signed", dict(method="HEAD", query="objectMeta", sign_query=""), 403, "SignatureDoesNotMatch"),
            ("Content-Type sent but not signed", dict(method="GET", headers=ct, sign_headers={}), 403, "SignatureDoesNotMatch"),
            ("Content-Type signed", dict(method="GET", headers=ct), 200, None),
            ("x-oss-date as the date", dict(method="GET", headers={"x-oss-date": email.utils.formatdate(usegmt=True)}), 200, None),
            ("unsigned sub-resource ignored", dict(method="GET", query="foo=bar", sign_query=""), 200, None),
            ("stale date", dict(method="GET", date=stale), 403, "RequestTimeTooSkewed"),
            ("virtual-hosted", dict(method="GET", virtual=True), 200, None),
            ("Host without port", dict(method="GET", host="127.0.0.1"), 200, None),
        ]
        for name, kwargs, status, code in cases:
            with self.subTest(name):
                method = kwargs.pop("method")
                resp = self.request(method, key, **kwargs)
                self.assertEqual(resp.status, status, resp.body)
                if code:
                    self.assertEqual(resp.headers["content-type"], "application/xml")
                    if method == "GET":
                        self.assertEqual(resp.xml("Code"), code)
                        self.assertEqual(resp.xml("RequestId"), resp.headers["x-oss-request-id"])
                        self.assertIsNotNone(resp.xml("HostId"))
                elif method == "GET":
                    self.assertEqual(resp.body, b"123456789")

    def test_signed_as_get_sent_as_head_is_refused(self):
        date = email.utils.formatdate(usegmt=True)
        sig = signature(SECRET, "GET", b"/kavbucket/9.5KAvrindelIE/check.txt", date)
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request("HEAD", "/kavbucket/9.5KAvrindelIE/check.txt",
                     headers={"Date": date, "Authorization": "OSS %s:%s" % (KEY_ID, sig)})
        self.assertEqual(conn.getresponse().status, 403)
        conn.close()

    def test_modified_date_is_refused(self):
        date = email.utils.formatdate(usegmt=True)
        sig = signature(SECRET, "GET", b"/kavbucket/9.5KAvrindelIE/check.txt", date)
        later = email.utils.formatdate(time.time() + 2, usegmt=True)
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request("GET", "/kavbucket/9.5KAvrindelIE/check.txt",
                     headers={"Date": later, "Authorization": "OSS %s:%s" % (KEY_ID, sig)})
        resp = conn.getresponse()
        self.assertEqual(resp.status, 403)
        self.assertIn(b"<Code>SignatureDoesNotMatch</Code>", resp.read())
        conn.close()

    def test_gbk_key_is_served_and_signed_as_raw_bytes(self):
        resp = self.request("GET", GBK_KEY)
        self.assertEqual((resp.status, resp.body), (200, b"gbk named object"))
        utf8 = "9.5KAvrindelIE/安装包.zip".encode("utf-8")
        resp = self.request("GET", GBK_KEY, sign_key=utf8)
        self.assertEqual(resp.status, 403)
        resp = self.request("GET", utf8)
        self.assertEqual(resp.status, 404)
        entry = self.log()[0]
        self.assertEqual(entry["raw_key"], GBK_KEY.hex())
        self.assertTrue(entry["signature_ok"])

    def test_query_string_signature(self):
        key = b"9.5KAvrindelIE/check.txt"
        for expires, status in ((int(time.time()) + 60, 200), (int(time.time()) - 60, 403)):
            with self.subTest(expires=expires):
                sig = signature(SECRET, "GET", b"/kavbucket/" + key, str(expires))
                path = "/kavbucket/%s?OSSAccessKeyId=%s&Expires=%d&Signature=%s" % (
                    key.decode(), KEY_ID, expires, urllib.parse.quote(sig, safe=""))
                conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
                conn.request("GET", path)
                self.assertEqual(conn.getresponse().status, status)
                conn.close()

    # -- answers --------------------------------------------------------------------------------

    def test_missing_objects_and_unsafe_keys_are_no_such_key(self):
        for key in (b"9.5KAvrindelIE/base.zip", b"9.5KAvrindelIE/fix", b"9.5KAvrindelIE/fix/",
                    b"9.5KAvrindelIE/../../outside.txt", b"../outside.txt", b"9.5KAvrindelIE//check.txt",
                    b"9.5KAvrindelIE/./check.txt"):
            with self.subTest(key=key):
                resp = self.request("GET", key)
                self.assertEqual(resp.status, 404)
                self.assertEqual(resp.xml("Code"), "NoSuchKey")
                self.assertEqual(resp.xml("Message"), "The specified key does not exist.")
                self.assertEqual(resp.xml("RequestId"), resp.headers["x-oss-request-id"])
                self.assertNotIn(b"must never", resp.body)
                head = self.request("HEAD", key, query="objectMeta")
                self.assertEqual(head.status, 404)

    def test_unknown_bucket(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request("GET", "/otherbucket/9.5KAvrindelIE/check.txt")
        resp = conn.getresponse()
        self.assertEqual(resp.status, 404)
        self.assertIn(b"<Code>NoSuchBucket</Code>", resp.read())
        conn.close()

    def test_object_headers(self):
        for key, data in self.files.items():
            with self.subTest(key=key):
                for method, query in (("HEAD", "objectMeta"), ("GET", "")):
                    resp = self.request(method, key, query=query)
                    self.assertEqual(resp.status, 200)
                    h = resp.headers
                    self.assertEqual(int(h["content-length"]), len(data))
                    self.assertEqual(h["etag"], '"%s"' % hashlib.md5(data).hexdigest().upper())
                    self.assertEqual(int(h["x-oss-hash-crc64ecma"]), oss_emulator.crc64_python(data))
                    self.assertEqual(len(h["x-oss-request-id"]), 24)
                    mtime = os.stat(os.path.join(os.fsencode(self.root), key)).st_mtime
                    self.assertEqual(email.utils.parsedate_to_datetime(h["last-modified"]).timestamp(), int(mtime))
                    self.assertEqual(resp.body, data if method == "GET" else b"")

    def test_crc64_is_the_services_checksum(self):
        self.assertEqual(oss_emulator.crc64_python(b"123456789"), 11051210869376104954)
        self.assertEqual(oss_emulator.crc64_ecma(b"123456789"), 11051210869376104954)
        self.assertEqual(oss_emulator.crc64_ecma(b""), 0)
        data = random.Random(3).randbytes(100003)
        whole = oss_emulator.crc64_python(data)
        self.assertEqual(oss_emulator.crc64_ecma(data), whole)
        self.assertEqual(oss_emulator.crc64_ecma(data[5000:], oss_emulator.crc64_ecma(data[:5000])), whole)
        resp = self.request("HEAD", b"9.5KAvrindelIE/check.txt", query="objectMeta")
        self.assertEqual(resp.headers["x-oss-hash-crc64ecma"], "11051210869376104954")

    def test_keep_alive_connection_serves_several_requests(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        for key in (b"9.5KAvrindelIE/check.txt", b"9.5KAvrindelIE/missing", b"9.5KAvrindelIE/fix/R.zip"):
            date = email.utils.formatdate(usegmt=True)
            sig = signature(SECRET, "GET", b"/kavbucket/" + key, date)
            conn.request("GET", "/kavbucket/" + key.decode(), headers={"Date": date, "Authorization": "OSS %s:%s" % (KEY_ID, sig)})
            resp = conn.getresponse()
            body = resp.read()
            self.assertEqual(resp.status, 404 if key.endswith(b"missing") else 200)
            if resp.status == 200:
                self.assertEqual(body, self.files[key])
        conn.close()

    def test_request_log_records_each_request(self):
        self.request("HEAD", b"9.5KAvrindelIE/check.txt", query="objectMeta")
        self.request("GET", b"9.5KAvrindelIE/check.txt", secret="bad")
        self.request("GET", b"9.5KAvrindelIE/fix/R.zip")
        entries = self.log()
        self.assertEqual([(e["method"], e["status"], e["signature_ok"]) for e in entries],
                         [("HEAD", 200, True), ("GET", 403, False), ("GET", 200, True)])
        self.assertEqual(entries[0]["query"], "objectMeta")
        self.assertEqual(entries[0]["path"], "/kavbucket/9.5KAvrindelIE/check.txt")
        self.assertEqual(bytes.fromhex(entries[2]["raw_key"]), b"9.5KAvrindelIE/fix/R.zip")
        self.assertEqual(entries[2]["bytes_sent"], 300000)
        self.assertTrue(entries[2]["headers"]["authorization"].startswith("OSS " + KEY_ID + ":"))
        self.assertEqual(entries[1]["error_code"], "SignatureDoesNotMatch")
        with open(self.log_path) as f:
            self.assertEqual([json.loads(line) for line in f], entries)
        self.control("POST", "reset")
        self.assertEqual(self.log(), [])
        with open(self.log_path) as f:
            self.assertEqual(f.read(), "")

    def test_request_log_keeps_the_order_of_arrival(self):
        # A client reads an answer before the server has logged it, so its next request can end
        # first: the log still lists the requests as they came, in memory and in the file.
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "requests.jsonl")
            log = oss_emulator.RequestLog(path)
            first, second, third = log.begin(), log.begin(), log.begin()
            log.end(second, {"n": 2})
            log.end(third, {"n": 3})
            log.end(first, {"n": 1})
            expected = [{"n": 1}, {"n": 2}, {"n": 3}]
            self.assertEqual([json.loads(line) for line in log.snapshot().splitlines()], expected)
            with open(path) as f:
                self.assertEqual([json.loads(line) for line in f], expected)
            log.end(log.begin(), {"n": 4})
            with open(path) as f:
                self.assertEqual([json.loads(line)["n"] for line in f], [1, 2, 3, 4])

    # -- ranges and conditions -----------------------------------------------------------------

    def test_parse_range(self):
        unsatisfiable = oss_emulator.RANGE_UNSATISFIABLE
        cases = [
            (None, 100, None), ("bytes=0-", 100, (0, 99)), ("bytes=60-", 100, (60, 99)),
            ("bytes=10-19", 100, (10, 19)), ("bytes=90-500", 100, (90, 99)), ("bytes=99-99", 100, (99, 99)),
            ("bytes=-30", 100, (70, 99)), ("bytes=-500", 100, (0, 99)), (" bytes=5-6 ", 100, (5, 6)),
            ("bytes=100-", 100, unsatisfiable), ("bytes=150-200", 100, unsatisfiable), ("bytes=-0", 100, unsatisfiable),
            ("bytes=0-", 0, unsatisfiable), ("bytes=-1", 0, unsatisfiable),
            # What the service cannot read is ignored: the whole object.
            ("bytes=20-10", 100, None), ("bytes=0-1,5-6", 100, None), ("items=0-5", 100, None), ("bytes=-", 100, None),
            ("bytes=a-", 100, None), ("", 100, None),
        ]
        for header, size, expected in cases:
            with self.subTest(header=header, size=size):
                self.assertEqual(oss_emulator.parse_range(header, size), expected)

    def test_ranged_get_answers_the_part_with_the_whole_objects_checksums(self):
        key = b"9.5KAvrindelIE/fix/R.zip"
        data = self.files[key]
        size = len(data)
        etag = '"%s"' % hashlib.md5(data).hexdigest().upper()
        cases = [
            ("bytes=180000-", 206, 180000, size - 1),
            ("bytes=0-0", 206, 0, 0),
            ("bytes=299000-400000", 206, 299000, size - 1),
            ("bytes=-10", 206, size - 10, size - 1),
            ("bytes=5-1", 200, 0, size - 1),
            ("bytes=0-1,4-5", 200, 0, size - 1),
        ]
        for header, status, first, last in cases:
            with self.subTest(header):
                resp = self.request("GET", key, headers={"Range": header})
                self.assertEqual(resp.status, status)
                h = resp.headers
                self.assertEqual(resp.body, data[first:last + 1])
                self.assertEqual(int(h["content-length"]), last + 1 - first)
                self.assertEqual(h["etag"], etag)
                self.assertEqual(int(h["x-oss-hash-crc64ecma"]), oss_emulator.crc64_ecma(data))
                if status == 206:
                    self.assertEqual(h["content-range"], "bytes %d-%d/%d" % (first, last, size))
                    self.assertNotIn("content-md5", h, "an MD5 of the whole object does not describe a part")
                else:
                    self.assertNotIn("content-range", h)
        entries = self.log()
        self.assertEqual([(e["range"], e["status"], e["bytes_sent"]) for e in entries],
                         [(c[0], c[1], c[3] + 1 - c[2]) for c in cases])
        self.assertEqual(entries[0]["content_range"], "bytes 180000-299999/300000")
        self.assertIsNone(entries[-1]["content_range"])
        # The signature does not cover Range.
        self.assertTrue(all(e["signature_ok"] for e in entries))

    def test_range_beyond_the_object_is_invalid_range(self):
        key = b"9.5KAvrindelIE/fix/R.zip"
        for header in ("bytes=300000-", "bytes=400000-500000"):
            with self.subTest(header):
                resp = self.request("GET", key, headers={"Range": header})
                self.assertEqual(resp.status, 416)
                self.assertEqual(resp.headers["content-type"], "application/xml")
                self.assertEqual(resp.headers["content-range"], "bytes */300000")
                self.assertEqual(resp.xml("Code"), "InvalidRange")
                self.assertEqual(resp.xml("RequestId"), resp.headers["x-oss-request-id"])
                self.assertEqual(resp.xml("ActualObjectSize"), "300000")
        resp = self.request("GET", b"9.5KAvrindelIE/empty.bin", headers={"Range": "bytes=0-"})
        self.assertEqual(resp.status, 416)

    def test_if_match_admits_only_the_objects_etag(self):
        key = b"9.5KAvrindelIE/check.txt"
        etag = '"%s"' % hashlib.md5(b"123456789").hexdigest().upper()
        other = '"%s"' % hashlib.md5(b"other").hexdigest().upper()
        cases = [
            ("GET", {"If-Match": etag}, 200, b"123456789"),
            ("GET", {"If-Match": "*"}, 200, b"123456789"),
            ("GET", {"If-Match": other + ", " + etag}, 200, b"123456789"),
            ("GET", {"If-Match": etag, "Range": "bytes=4-"}, 206, b"56789"),
            ("GET", {"If-Match": other}, 412, None),
            ("GET", {"If-Match": etag.strip('"')}, 412, None),
            # The condition is looked at before the range.
            ("GET", {"If-Match": other, "Range": "bytes=100-"}, 412, None),
            ("HEAD", {"If-Match": other}, 412, None),
        ]
        for method, headers, status, body in cases:
            with self.subTest(method=method, headers=headers):
                resp = self.request(method, key, query="objectMeta" if method == "HEAD" else "", headers=headers)
                self.assertEqual(resp.status, status)
                if body is not None:
                    self.assertEqual(resp.body, body)
                elif method == "GET":
                    self.assertEqual(resp.xml("Code"), "PreconditionFailed")
                    self.assertEqual(resp.xml("Condition"), "If-Match")
        entries = self.log()
        self.assertEqual([e["if_match"] for e in entries], [c[1]["If-Match"] for c in cases])
        self.assertEqual(entries[4]["error_code"], "PreconditionFailed")

    # -- faults ---------------------------------------------------------------------------------

    def test_status_faults(self):
        key = b"9.5KAvrindelIE/fix/R.zip"
        cases = [
            ("two 503 then success", dict(status=503, count=2), ["GET"] * 3, [503, 503, 200], "ServiceUnavailable"),
            ("500 every time", dict(status=500, count=-1), ["GET"] * 4, [500] * 4, "InternalError"),
            ("GET only spares HEAD", dict(status=502, count=1, method="GET"), ["HEAD", "GET", "GET"], [200, 502, 200], "BadGateway"),
            ("default hits HEAD too", dict(status=503, count=1), ["HEAD", "GET"], [503, 200], None),
            ("own code and message", dict(status=503, count=1, code="SlowDown", message="go slower"), ["GET"], [503], "SlowDown"),
        ]
        for name, settings, methods, statuses, code in cases:
            with self.subTest(name):
                self.control("POST", "reset")
                self.fault(key=key.decode(), **settings)
                got = []
                for method in methods:
                    resp = self.request(method, key, query="objectMeta" if method == "HEAD" else "")
                    got.append(resp.status)
                    if resp.status != 200 and method == "GET" and code:
                        self.assertEqual(resp.xml("Code"), code)
                        self.assertEqual(resp.xml("RequestId"), resp.headers["x-oss-request-id"])
                        if "message" in settings:
                            self.assertEqual(resp.xml("Message"), settings["message"])
                self.assertEqual(got, statuses)
                faults = [e["fault"] for e in self.log()]
                self.assertEqual(faults, ["status:%d" % settings["status"] if s != 200 else None for s in statuses])
        # A fault for one key leaves the others alone.
        self.control("POST", "reset")
        self.fault(key=key.decode(), status=503, count=-1)
        self.assertEqual(self.request("GET", b"9.5KAvrindelIE/check.txt").status, 200)

    def test_truncated_body(self):
        key = b"9.5KAvrindelIE/fix/R.zip"
        self.fault(key=key.decode(), truncate_after=1000, count=1)
        resp = self.request("GET", key)
        self.assertEqual(resp.status, 200)
        self.assertEqual(int(resp.headers["content-length"]), 300000)
        self.assertIsInstance(resp.error, http.client.IncompleteRead)
        self.assertEqual(resp.body, self.files[key][:1000])
        again = self.request("GET", key)
        self.assertEqual(again.body, self.files[key])
        entries = self.log()
        self.assertEqual([(e["fault"], e["bytes_sent"]) for e in entries], [("truncate_after:1000", 1000), (None, 300000)])

    def test_truncation_does_not_hit_head(self):
        key = b"9.5KAvrindelIE/fix/R.zip"
        self.fault(key=key.decode(), truncate_after=10, count=1)
        self.assertEqual(self.request("HEAD", key, query="objectMeta").status, 200)
        self.assertIsInstance(self.request("GET", key).error, http.client.IncompleteRead)

    def test_corrupt_body_keeps_original_checksum(self):
        key = b"9.5KAvrindelIE/fix/R.zip"
        self.fault(key=key.decode(), corrupt=True, count=1)
        resp = self.request("GET", key)
        self.assertEqual(resp.status, 200)
        self.assertEqual(len(resp.body), len(self.files[key]))
        self.assertNotEqual(resp.body, self.files[key])
        self.assertEqual(int(resp.headers["x-oss-hash-crc64ecma"]), oss_emulator.crc64_ecma(self.files[key]))
        self.assertNotEqual(oss_emulator.crc64_ecma(resp.body), oss_emulator.crc64_ecma(self.files[key]))
        self.assertEqual(self.request("GET", key).body, self.files[key])

    def test_delay(self):
        key = b"9.5KAvrindelIE/check.txt"
        self.fault(key=key.decode(), delay_ms=800, count=1)
        started = time.monotonic()
        self.assertEqual(self.request("HEAD", key, query="objectMeta").status, 200)
        self.assertGreaterEqual(time.monotonic() - started, 0.8)
        self.assertEqual(self.request("GET", key).status, 200)
        # The fault was for one request only: the second one was answered without it.
        self.assertEqual([entry["fault"] for entry in self.log()], ["delay_ms:800", None])

    def test_stall_sends_part_then_nothing(self):
        key = b"9.5KAvrindelIE/fix/R.zip"
        self.fault(key=key.decode(), stall_after=5000, count=1)
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=1.5)
        date = email.utils.formatdate(usegmt=True)
        conn.request("GET", "/kavbucket/" + key.decode(),
                     headers={"Date": date, "Authorization": "OSS %s:%s" % (KEY_ID, signature(SECRET, "GET", b"/kavbucket/" + key, date))})
        resp = conn.getresponse()
        got = b""
        started = time.monotonic()
        with self.assertRaises(socket.timeout):
            while True:
                chunk = resp.read(1000)
                if not chunk:
                    break
                got += chunk
        self.assertGreaterEqual(time.monotonic() - started, 1.0)
        self.assertEqual(got, self.files[key][:5000])
        conn.close()
        # Closing our end ends the stall at once, and the log has the request.
        entry = self.log()[-1]
        self.assertEqual((entry["fault"], entry["bytes_sent"]), ("stall_after:5000", 5000))

    def test_cut_ranged_answer_counts_the_bytes_of_its_part(self):
        key = b"9.5KAvrindelIE/fix/R.zip"
        self.fault(key=key.decode(), truncate_after=1000, count=-1)
        resp = self.request("GET", key, headers={"Range": "bytes=200000-"})
        self.assertEqual(resp.status, 206)
        self.assertIsInstance(resp.error, http.client.IncompleteRead)
        self.assertEqual(resp.body, self.files[key][200000:201000])
        entry = self.log()[-1]
        self.assertEqual((entry["bytes_sent"], entry["content_range"]), (1000, "bytes 200000-299999/300000"))

    def test_ignore_range_answers_ranged_requests_whole(self):
        key = b"9.5KAvrindelIE/fix/R.zip"
        self.fault(key=key.decode(), ignore_range=True, count=1)
        # A request without a range does not use the fault up.
        self.assertEqual(self.request("GET", key).status, 200)
        resp = self.request("GET", key, headers={"Range": "bytes=100-"})
        self.assertEqual((resp.status, resp.body), (200, self.files[key]))
        self.assertNotIn("content-range", resp.headers)
        self.assertEqual(self.request("GET", key, headers={"Range": "bytes=100-"}).status, 206)
        self.assertEqual([e["fault"] for e in self.log()], [None, "ignore_range", None])

    def test_replace_after_changes_the_object_once_the_answer_ended(self):
        key = b"9.5KAvrindelIE/changing.bin"
        old, new = random.Random(21).randbytes(50000), random.Random(22).randbytes(40000)
        path = os.path.join(os.fsencode(self.root), key)
        with open(path, "wb") as f:
            f.write(old)
        with open(path.replace(b"changing", b"changed"), "wb") as f:
            f.write(new)
        try:
            self.fault(key=key.decode(), truncate_after=1000, count=1)
            self.fault(key=key.decode(), replace_after="9.5KAvrindelIE/changed.bin", count=1)
            first = self.request("GET", key)
            self.assertEqual(first.body, old[:1000])
            old_etag = first.headers["etag"]
            stale = self.request("GET", key, headers={"Range": "bytes=1000-", "If-Match": old_etag})
            self.assertEqual((stale.status, stale.xml("Code")), (412, "PreconditionFailed"))
            fresh = self.request("GET", key)
            self.assertEqual(fresh.body, new)
            self.assertEqual(fresh.headers["etag"], '"%s"' % hashlib.md5(new).hexdigest().upper())
            self.assertEqual(int(fresh.headers["x-oss-hash-crc64ecma"]), oss_emulator.crc64_ecma(new))
            self.assertEqual([e["fault"] for e in self.log()],
                             ["truncate_after:1000,replace_after:9.5KAvrindelIE/changed.bin", None, None])
        finally:
            os.remove(path)
            os.remove(path.replace(b"changing", b"changed"))

    def test_invalid_faults_are_refused(self):
        for settings in ({"key": "a"}, {"key": "a", "status": 200}, {"key": "a", "status": 503, "corrupt": True},
                     {"key": "a", "truncate_after": -1}, {"key": "a", "status": 503, "count": 0},
                     {"key": "a", "status": 503, "method": "PUT"}, {"key": "a", "corrupt": 1}, [1, 2],
                     {"key": "a", "ignore_range": 1}, {"key": "a", "replace_after": ""},
                     {"key": "a", "replace_after": 5}):
            with self.subTest(settings=settings):
                status, _ = self.control("POST", "faults", settings)
                self.assertEqual(status, 400)
        status, data = self.control("GET", "faults")
        self.assertEqual(json.loads(data), [])

    # -- rate -----------------------------------------------------------------------------------

    def test_rate_limit_holds_the_line_rate(self):
        key = b"9.5KAvrindelIE/big.bin"
        self.request("HEAD", key, query="objectMeta")  # checksums computed before timing
        self.control("POST", "rate", {"bytes_per_second": 1024 * 1024})
        started = time.monotonic()
        resp = self.request("GET", key)
        throttled = time.monotonic() - started
        self.assertEqual(resp.body, self.files[key])
        # 1 MiB at 1 MiB/s: one send-sized burst may go ahead of the line.
        self.assertGreater(throttled, 0.95)
        self.assertLess(throttled, 5.0)  # generous: the machine may be busy with other tests
        self.control("POST", "rate", {"bytes_per_second": 0})
        started = time.monotonic()
        self.request("GET", key)
        self.assertLess(time.monotonic() - started, throttled / 2)
        self.assertEqual(self.control("POST", "rate", {"bytes_per_second": -5})[0], 400)


class SigningCase(unittest.TestCase):
    """POST /_kav_control/sign signs the served release again with the key the emulator was given."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.tmp.name, "bucket")
        self.top = os.path.join(self.root, "9.5KAvrindelIE")
        os.makedirs(os.path.join(self.top, "fix"))
        self.objects = {"summary.ini": b"[fixstamp]\r\n201805=R\r\n", "base.zip": b"base", "config.zip": b"config",
                        "fix/R.zip": b"runtime"}
        for path, data in self.objects.items():
            with open(os.path.join(self.top, path), "wb") as f:
                f.write(data)

    def tearDown(self):
        self.tmp.cleanup()

    def sign(self, *extra):
        proc, port = start_emulator(self.root, *extra)
        try:
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
            conn.request("POST", "/_kav_control/sign", body=b"{}")
            resp = conn.getresponse()
            return resp.status, json.loads(resp.read())
        finally:
            proc.terminate()
            proc.wait(10)

    def test_signs_with_its_key_and_refuses_without_one(self):
        from cryptography.hazmat.primitives import hashes, serialization
        from cryptography.hazmat.primitives.asymmetric import ec
        from cryptography.hazmat.primitives.asymmetric.utils import encode_dss_signature

        status, answer = self.sign()
        self.assertEqual(status, 409, answer)
        self.assertFalse(os.path.exists(os.path.join(self.top, "summary.ini.sig")))

        key_dir = os.path.join(SOURCE_DIR, "tools", "release-signing", "test-key")
        status, answer = self.sign("--signing-key", os.path.join(key_dir, "private-key-TESTS-ONLY.pem"))
        self.assertEqual(status, 200, answer)
        self.assertEqual(answer["sha256"], {path: hashlib.sha256(data).hexdigest()
                                            for path, data in self.objects.items() if path != "summary.ini"})
        with open(os.path.join(self.top, "summary.ini"), "rb") as f:
            manifest = f.read()
        with open(os.path.join(self.top, "summary.ini.sig"), "rb") as f:
            raw = base64.b64decode(f.read().strip(), validate=True)
        with open(os.path.join(key_dir, "public-key.pem"), "rb") as f:
            public = serialization.load_pem_public_key(f.read())
        der = encode_dss_signature(int.from_bytes(raw[:32], "big"), int.from_bytes(raw[32:], "big"))
        public.verify(der, manifest, ec.ECDSA(hashes.SHA256()))  # raises when it does not hold


class LifetimeCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.tmp.name, "bucket")
        os.makedirs(self.root)

    def tearDown(self):
        self.tmp.cleanup()

    def test_exits_when_parent_goes(self):
        parent = subprocess.Popen(["sleep", "60"])
        proc, _ = start_emulator(self.root, "--parent-pid", str(parent.pid))
        try:
            time.sleep(1.5)
            self.assertIsNone(proc.poll())
            parent.kill()
            parent.wait()
            self.assertEqual(proc.wait(timeout=5), 0)
        finally:
            parent.kill()
            proc.kill()
            proc.wait()

    def test_exits_on_sigterm_and_frees_the_port(self):
        proc, port = start_emulator(self.root)
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(proc.wait(timeout=5), 0)
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", port), timeout=2)

    def test_refuses_non_loopback_host(self):
        result = subprocess.run([sys.executable, EMULATOR, "--root", self.root, "--bucket", BUCKET, "--key-id", KEY_ID,
                                 "--key-secret", SECRET, "--host", "0.0.0.0"], stderr=subprocess.PIPE)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"loopback", result.stderr)


if __name__ == "__main__":
    unittest.main()
