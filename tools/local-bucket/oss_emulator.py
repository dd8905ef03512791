#!/usr/bin/env python3
"""A local stand-in for the object storage service, for tests and the demo.

Serves a folder as one bucket over plain HTTP on the loopback interface:

* object key K (the raw bytes of the percent-decoded request path; GBK names stay bytes) is the
  file ROOT/K;
* path-style addressing (/<bucket>/<key>) and virtual-hosted addressing (Host: <bucket>.<anything>);
* signature version 1 in the Authorization header (and in the query string), checked against one
  key pair: 403 SignatureDoesNotMatch / InvalidAccessKeyId with the service's XML error body;
* HEAD ?objectMeta and GET with Content-Length, ETag, Last-Modified, x-oss-request-id and
  x-oss-hash-crc64ecma; 404 NoSuchKey for a missing object;
* a single byte range on GET (206 with Content-Range; 416 InvalidRange for a range that starts
  beyond the object; a range it cannot read is ignored and the whole object sent) and If-Match
  (412 PreconditionFailed when no named ETag is the object's); x-oss-hash-crc64ecma is always the
  whole object's, as the service sends it on a part too;
* per-key fault injection, a line-rate limit and a JSON-lines request log, driven through an
  unsigned control API under /_kav_control/.

Python standard library only. Bodies go out with sendfile(2), so the server is not the bottleneck
of a loopback download.
"""

import argparse
import base64
import binascii
import bisect
import ctypes
import ctypes.util
import email.utils
import hashlib
import hmac
import http.server
import ipaddress
import itertools
import json
import os
import re
import select
import signal
import socket
import socketserver
import stat
import sys
import threading
import time
import urllib.parse

CONTROL_PREFIX = "/_kav_control/"
SIGNING_DIR = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "release-signing")
# The service refuses requests whose date is further than this from its own clock.
MAX_CLOCK_SKEW_S = 15 * 60
# How long a stalled body keeps the connection open without sending.
STALL_LIMIT_S = 120.0
# A blocked send gives up after this long (a client that stopped reading).
SEND_TIMEOUT_S = 120
# Bytes handed to sendfile per call on the unthrottled path.
SENDFILE_CHUNK = 8 * 1024 * 1024
# How long GET /_kav_control/log waits for requests still being answered.
LOG_SETTLE_S = 10.0

# Query parameters that belong to the signed resource (the service's list of sub-resources).
SIGNED_SUBRESOURCES = frozenset("""
acl uploads location cors logging website referer lifecycle delete append tagging objectMeta
uploadId partNumber security-token position img style styleName replication replicationProgress
replicationLocation cname bucketInfo comp qos live status vod startTime endTime symlink
x-oss-process response-content-type response-content-language response-expires
response-cache-control response-content-disposition response-content-encoding udf udfName
udfImage udfId udfImageDesc udfApplication udfApplicationLog restore callback callback-var
continuationToken versionId versioning policy requestPayment x-oss-traffic-limit encryption
versions worm wormId wormExtend inventory inventoryId objectInfo stat
""".split())

ERROR_MESSAGES = {
    "AccessDenied": "You have no right to access this object.",
    "BadGateway": "The gateway received an invalid response.",
    "InternalError": "We encountered an internal error. Please try again.",
    "InvalidAccessKeyId": "The OSS Access Key Id you provided does not exist in our records.",
    "InvalidArgument": "The request is invalid.",
    "InvalidRange": "The requested range cannot be satisfied",
    "MethodNotAllowed": "The specified method is not allowed against this resource.",
    "NoSuchBucket": "The specified bucket does not exist.",
    "NoSuchKey": "The specified key does not exist.",
    "PreconditionFailed": "At least one of the pre-conditions you specified did not hold.",
    "RequestTimeTooSkewed": "The difference between the request time and the current time is too large.",
    "ServiceUnavailable": "Please reduce your request rate.",
    "SignatureDoesNotMatch": "The request signature we calculated does not match the signature you "
                             "provided. Check your key and signing method.",
    "GatewayTimeout": "The gateway timed out.",
}
STATUS_CODES = {400: "InvalidArgument", 403: "AccessDenied", 404: "NoSuchKey", 405: "MethodNotAllowed",
                429: "ServiceUnavailable", 500: "InternalError", 502: "BadGateway",
                503: "ServiceUnavailable", 504: "GatewayTimeout"}

CONTENT_TYPES = {".zip": "application/zip", ".ini": "application/octet-stream", ".txt": "text/plain",
                 ".xml": "application/xml", ".json": "application/json", ".exe": "application/x-msdownload",
                 ".ico": "image/x-icon"}


# ---------------------------------------------------------------------------------------------
# CRC-64 as the service computes it (CRC-64/XZ: ECMA-182 polynomial, reflected, init and xorout
# all ones). liblzma's lzma_crc64 is exactly this and runs at memory speed; the table below is the
# fallback where liblzma cannot be loaded. Both chain: crc64(b, crc64(a)) == crc64(a + b).

_CRC64_POLY_REFLECTED = 0xC96C5795D7870F42
_CRC64_MASK = 0xFFFFFFFFFFFFFFFF


def _crc64_table():
    table = []
    for i in range(256):
        c = i
        for _ in range(8):
            c = (c >> 1) ^ _CRC64_POLY_REFLECTED if c & 1 else c >> 1
        table.append(c)
    return table


_CRC64_TABLE = _crc64_table()


def crc64_python(data, crc=0):
    c = crc ^ _CRC64_MASK
    table = _CRC64_TABLE
    for b in data:
        c = table[(c ^ b) & 0xFF] ^ (c >> 8)
    return c ^ _CRC64_MASK


def _load_lzma_crc64():
    for name in ("liblzma.so.5", ctypes.util.find_library("lzma")):
        if not name:
            continue
        try:
            fn = ctypes.CDLL(name).lzma_crc64
        except (OSError, AttributeError):
            continue
        fn.restype = ctypes.c_uint64
        fn.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_uint64]
        if fn(b"123456789", 9, 0) == 0x995DC9BBDF1939FA:
            return fn
    return None


_LZMA_CRC64 = _load_lzma_crc64()


def crc64_ecma(data, crc=0):
    data = bytes(data)
    if _LZMA_CRC64 is not None:
        return _LZMA_CRC64(data, len(data), crc)
    return crc64_python(data, crc)


# ---------------------------------------------------------------------------------------------
# Object metadata (MD5 for the ETag, CRC-64), computed once per file version.

class MetadataCache:
    def __init__(self):
        self._lock = threading.Lock()
        self._entries = {}
        self._busy = {}

    def get(self, f, st):
        ident = (st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns)
        while True:
            with self._lock:
                if ident in self._entries:
                    return self._entries[ident]
                event = self._busy.get(ident)
                if event is None:
                    event = self._busy[ident] = threading.Event()
                    break
            event.wait()
        try:
            md5 = hashlib.md5()
            crc = 0
            offset = 0
            while True:
                block = os.pread(f.fileno(), 4 * 1024 * 1024, offset)
                if not block:
                    break
                offset += len(block)
                md5.update(block)
                crc = crc64_ecma(block, crc)
            result = (md5.hexdigest().upper(), crc)
            with self._lock:
                self._entries[ident] = result
            return result
        finally:
            with self._lock:
                del self._busy[ident]
            event.set()


# ---------------------------------------------------------------------------------------------
# Faults

FAULT_KINDS = ("status", "truncate_after", "corrupt", "delay_ms", "stall_after", "ignore_range", "replace_after")
BODY_FAULTS = ("truncate_after", "corrupt", "stall_after")
# Faults that only ever concern a GET.
GET_FAULTS = BODY_FAULTS + ("ignore_range", "replace_after")


class Fault:
    def __init__(self, fid, settings):
        self.id = fid
        kinds = [k for k in FAULT_KINDS if k in settings]
        if len(kinds) != 1:
            raise ValueError("give exactly one of " + ", ".join(FAULT_KINDS))
        self.kind = kinds[0]
        self.value = settings[self.kind]
        if self.kind in ("corrupt", "ignore_range"):
            if self.value is not True:
                raise ValueError('"%s" must be true' % self.kind)
        elif self.kind == "replace_after":
            # The key of another object of the bucket whose content replaces this one's.
            if not isinstance(self.value, str) or not self.value:
                raise ValueError('"replace_after" must name an object key')
        elif self.kind == "status":
            if not isinstance(self.value, int) or isinstance(self.value, bool) or not 400 <= self.value <= 599:
                raise ValueError('"status" must be an HTTP error status (400-599)')
        elif not isinstance(self.value, int) or isinstance(self.value, bool) or self.value < 0:
            raise ValueError('"%s" must be a non-negative integer' % self.kind)
        if "key_hex" in settings:
            self.keys = {bytes.fromhex(settings["key_hex"])}
        elif "key" in settings:
            if not isinstance(settings["key"], str):
                raise ValueError('"key" must be a string')
            self.keys = {settings["key"].encode("utf-8")}
            try:
                self.keys.add(settings["key"].encode("gbk"))
            except UnicodeEncodeError:
                pass
        else:
            self.keys = None  # every key
        self.count = settings.get("count", 1)
        if not isinstance(self.count, int) or isinstance(self.count, bool) or (self.count < 1 and self.count != -1):
            raise ValueError('"count" must be a positive number or -1 (every request)')
        method = settings.get("method")
        if method is None:
            self.methods = {"GET"} if self.kind in GET_FAULTS else {"GET", "HEAD"}
        elif method in ("GET", "HEAD"):
            self.methods = {method}
        else:
            raise ValueError('"method" must be "GET" or "HEAD"')
        self.code = settings.get("code")
        self.message = settings.get("message")
        self.hits = 0

    def matches(self, method, key):
        return method in self.methods and (self.keys is None or key in self.keys) and self.count != 0

    def consume(self):
        self.hits += 1
        if self.count > 0:
            self.count -= 1

    def describe(self):
        return self.kind if self.value is True else "%s:%s" % (self.kind, self.value)

    def as_json(self):
        return {"id": self.id, "kind": self.kind, "value": self.value, "remaining": self.count,
                "hits": self.hits, "methods": sorted(self.methods),
                "keys_hex": None if self.keys is None else sorted(k.hex() for k in self.keys)}


class FaultTable:
    def __init__(self):
        self._lock = threading.Lock()
        self._faults = []
        self._ids = itertools.count(1)

    def add(self, settings):
        with self._lock:
            fault = Fault(next(self._ids), settings)
            self._faults.append(fault)
            return fault

    def clear(self):
        with self._lock:
            self._faults = []

    def listing(self):
        with self._lock:
            return [f.as_json() for f in self._faults]

    def take(self, method, key, kinds):
        """Consumes and returns the first live fault of one of `kinds` for this request."""
        with self._lock:
            for fault in self._faults:
                if fault.kind in kinds and fault.matches(method, key):
                    fault.consume()
                    return fault
        return None

    def take_all(self, method, key, kind):
        with self._lock:
            taken = [f for f in self._faults if f.kind == kind and f.matches(method, key)]
            for f in taken:
                f.consume()
            return taken


# ---------------------------------------------------------------------------------------------
# Line rate shared by every connection.

class RateLimiter:
    def __init__(self, bytes_per_second=0):
        self._lock = threading.Lock()
        self._rate = 0
        self._free_at = 0.0
        self.set(bytes_per_second)

    def set(self, bytes_per_second):
        with self._lock:
            self._rate = max(0, int(bytes_per_second))
            self._free_at = time.monotonic()

    @property
    def rate(self):
        return self._rate

    def chunk_size(self):
        rate = self._rate
        return max(16 * 1024, min(256 * 1024, rate // 50)) if rate else SENDFILE_CHUNK

    def reserve(self, nbytes):
        """Books nbytes on the line; returns the monotonic time at which they may be sent."""
        with self._lock:
            if not self._rate:
                return None
            now = time.monotonic()
            start = max(now, self._free_at)
            self._free_at = start + nbytes / self._rate
            return start


# ---------------------------------------------------------------------------------------------
# Request log

class RequestLog:
    """Every data request, in the order the requests arrived. An answer ends after its client has
    read it, so a client's next request may end first; each entry keeps its place of arrival."""

    def __init__(self, path):
        self._lock = threading.Lock()
        self._path = path
        self._lines = []  # (arrival number, JSON line), in arrival order
        self._arrivals = itertools.count()
        self._in_flight = 0
        self._idle = threading.Condition(self._lock)
        if path:
            open(path, "w").close()

    def begin(self):
        """Counts the request as in flight; returns its arrival number for end()."""
        with self._lock:
            self._in_flight += 1
            return next(self._arrivals)

    def end(self, arrival, entry):
        line = json.dumps(entry, ensure_ascii=True, sort_keys=True)
        with self._lock:
            in_order = not self._lines or self._lines[-1][0] < arrival
            bisect.insort(self._lines, (arrival, line))
            if self._path:
                # An answer that ended after a later one's rewrites the file, so it stays in
                # arrival order; the usual case appends.
                with open(self._path, "a" if in_order else "w", encoding="ascii") as f:
                    f.write(line + "\n" if in_order else self._text())
            self._in_flight -= 1
            self._idle.notify_all()

    def _text(self):
        return "".join(line + "\n" for _, line in self._lines)

    def clear(self):
        with self._lock:
            self._lines = []
            if self._path:
                open(self._path, "w").close()

    def snapshot(self):
        deadline = time.monotonic() + LOG_SETTLE_S
        with self._lock:
            while self._in_flight > 0:
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self._idle.wait(left)
            return self._text()


# ---------------------------------------------------------------------------------------------
# Signature version 1

def canonical_resource(bucket, key, query_pairs):
    resource = b"/" + bucket + b"/" + key
    signed = sorted(((k, v) for k, v in query_pairs if k in SIGNED_SUBRESOURCES), key=lambda kv: kv[0])
    if signed:
        # A sub-resource sent with an empty value ("objectMeta=") is signed as its bare name.
        parts = [k.encode("utf-8") + (b"=" + v.encode("utf-8") if v else b"") for k, v in signed]
        resource += b"?" + b"&".join(parts)
    return resource


def string_to_sign(verb, headers, date_line, resource):
    """headers: list of (lower-case name, raw value bytes)."""
    def first(name):
        for n, v in headers:
            if n == name:
                return v.strip()
        return b""
    oss = {}
    for n, v in headers:
        if n.startswith("x-oss-"):
            oss.setdefault(n, []).append(v.strip())
    lines = [verb.encode("ascii"), first("content-md5"), first("content-type"), date_line]
    text = b"\n".join(lines) + b"\n"
    for n in sorted(oss):
        text += n.encode("ascii") + b":" + b",".join(oss[n]) + b"\n"
    return text + resource


def sign(secret, text):
    return base64.b64encode(hmac.new(secret, text, hashlib.sha1).digest()).decode("ascii")


# ---------------------------------------------------------------------------------------------
# Conditions and ranges

RANGE_UNSATISFIABLE = "unsatisfiable"
_RANGE_PATTERN = re.compile(r"bytes=(\d*)-(\d*)")


def parse_range(header, size):
    """What a Range header asks of an object of `size` bytes.

    None: answer the whole object (no header, or one the service cannot read: another unit, several
    ranges, a last byte before the first); RANGE_UNSATISFIABLE: 416; else (first, last) inclusive,
    the last byte clamped to the object's end.
    """
    if header is None:
        return None
    m = _RANGE_PATTERN.fullmatch(header.strip())
    if m is None or (not m.group(1) and not m.group(2)):
        return None
    if not m.group(1):  # bytes=-n: the last n bytes
        suffix = int(m.group(2))
        if suffix == 0 or size == 0:
            return RANGE_UNSATISFIABLE
        return max(0, size - suffix), size - 1
    first = int(m.group(1))
    if m.group(2) and int(m.group(2)) < first:
        return None
    if first >= size:
        return RANGE_UNSATISFIABLE
    return first, min(int(m.group(2)), size - 1) if m.group(2) else size - 1


def if_match_holds(header, etag):
    """Whether an If-Match header (absent, "*" or a list of quoted ETags) admits the object's ETag."""
    if header is None:
        return True
    tags = [t.strip() for t in header.split(",")]
    return "*" in tags or etag in tags


# ---------------------------------------------------------------------------------------------

class OssError(Exception):
    def __init__(self, status, code, message=None, extra=None):
        super().__init__(code)
        self.status = status
        self.code = code
        self.message = message or ERROR_MESSAGES.get(code, code)
        self.extra = extra or []


def xml_escape(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;").replace("'", "&apos;"))


def error_xml(code, message, request_id, host_id, extra):
    body = ['<?xml version="1.0" encoding="UTF-8"?>\n<Error>\n',
            "  <Code>%s</Code>\n" % xml_escape(code),
            "  <Message>%s</Message>\n" % xml_escape(message),
            "  <RequestId>%s</RequestId>\n" % xml_escape(request_id),
            "  <HostId>%s</HostId>\n" % xml_escape(host_id)]
    for name, value in extra:
        body.append("  <%s>%s</%s>\n" % (name, xml_escape(value), name))
    body.append("</Error>\n")
    return "".join(body).encode("utf-8")


def new_request_id(counter=itertools.count(1)):
    # 24 upper-case hex digits, as the service's ids look.
    return "%08X%016X" % (int(time.time()), (next(counter) << 32) | int.from_bytes(os.urandom(4), "big"))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "AliyunOSS"

    def version_string(self):
        return self.server_version

    # Quiet by default: tests read the request log instead.
    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("oss_emulator: " + (fmt % args) + "\n")

    def setup(self):
        super().setup()
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        tv = SEND_TIMEOUT_S.to_bytes(8, sys.byteorder) + (0).to_bytes(8, sys.byteorder)
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_SNDTIMEO, tv)
        except OSError:
            pass

    def do_GET(self):
        self.dispatch("GET")

    def do_HEAD(self):
        self.dispatch("HEAD")

    def do_POST(self):
        self.dispatch("POST")

    def do_PUT(self):
        self.dispatch("PUT")

    def do_DELETE(self):
        self.dispatch("DELETE")

    # -- request parsing ----------------------------------------------------------------------

    def raw_target(self):
        target = self.path
        if target.startswith(("http://", "https://")):
            parts = urllib.parse.urlsplit(target)
            target = parts.path + ("?" + parts.query if parts.query else "")
        # http.server decoded the request line as ISO-8859-1: this gives back its bytes.
        raw = target.encode("latin-1", "replace")
        path, _, query = raw.partition(b"?")
        return path, query

    def header_list(self):
        return [(n.lower(), v.encode("latin-1", "replace")) for n, v in self.headers.items()]

    def read_request_body(self):
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        try:
            n = int(length)
        except ValueError:
            self.close_connection = True
            return b""
        return self.rfile.read(n) if n > 0 else b""

    def dispatch(self, method):
        path, query = self.raw_target()
        if path.startswith(CONTROL_PREFIX.encode()) and not self.is_virtual_hosted():
            self.control(method, path[len(CONTROL_PREFIX):].decode("latin-1"))
            return
        self.read_request_body()
        arrival = self.server.log.begin()
        entry = {"method": method, "path": path.decode("latin-1"), "query": query.decode("latin-1"),
                 "headers": self.logged_headers(), "raw_key": None, "status": None,
                 "signature_ok": False, "bytes_sent": 0, "fault": None, "time": time.time(),
                 "request_id": new_request_id(), "error_code": None,
                 "range": self.headers.get("Range"), "if_match": self.headers.get("If-Match"),
                 "content_range": None}
        started = time.monotonic()
        try:
            self.serve_object(method, path, query, entry)
        except (BrokenPipeError, ConnectionResetError, TimeoutError, BlockingIOError) as exc:
            entry["transport_error"] = type(exc).__name__
            self.close_connection = True
        finally:
            entry["duration_ms"] = round((time.monotonic() - started) * 1000.0, 1)
            self.server.log.end(arrival, entry)

    def logged_headers(self):
        out = {}
        for n, v in self.headers.items():
            n = n.lower()
            out[n] = out[n] + "," + v if n in out else v
        return out

    def host_name(self):
        host = self.headers.get("Host", "")
        if host.startswith("["):
            return host[1:].partition("]")[0]
        return host.rpartition(":")[0] if ":" in host else host

    def is_virtual_hosted(self):
        return self.host_name().lower().startswith(self.server.bucket.decode("ascii").lower() + ".")

    def locate(self, path):
        """(bucket bytes, key bytes) of a data request."""
        decoded = urllib.parse.unquote_to_bytes(path)
        if self.is_virtual_hosted():
            return self.server.bucket, decoded[1:] if decoded.startswith(b"/") else decoded
        bucket, _, key = decoded.lstrip(b"/").partition(b"/")
        return bucket, key

    # -- signature ---------------------------------------------------------------------------

    def check_signature(self, method, bucket, key, query_pairs, entry):
        """Returns None when the request is signed with the key pair, else the OssError to answer."""
        headers = self.header_list()
        resource = canonical_resource(bucket, key, query_pairs)
        q = {k: v for k, v in query_pairs}
        auth = self.headers.get("Authorization")
        if auth is None and "OSSAccessKeyId" in q and "Signature" in q and "Expires" in q:
            key_id, provided = q["OSSAccessKeyId"] or "", q["Signature"] or ""
            date_lines = [(q["Expires"] or "").encode("utf-8")]
        elif auth is not None and auth.startswith("OSS ") and ":" in auth:
            key_id, _, provided = auth[4:].strip().rpartition(":")
            date_lines = []
            for name in ("date", "x-oss-date"):
                for n, v in headers:
                    if n == name and v.strip() not in date_lines:
                        date_lines.append(v.strip())
            if not date_lines:
                date_lines = [b""]
        else:
            return OssError(403, "SignatureDoesNotMatch",
                            "The request carries no signature of version 1 (Authorization: OSS id:signature).")
        if key_id != self.server.key_id:
            entry["signature_key_id"] = key_id
            return OssError(403, "InvalidAccessKeyId", extra=[("OSSAccessKeyId", key_id)])
        text = None
        for date_line in date_lines:
            candidate = string_to_sign(method, headers, date_line, resource)
            if hmac.compare_digest(sign(self.server.key_secret, candidate), provided):
                text = candidate
                break
        if text is None:
            text = string_to_sign(method, headers, date_lines[0], resource)
            entry["string_to_sign_hex"] = text.hex()
            extra = [("SignatureProvided", provided)]
            try:
                extra.append(("StringToSign", text.decode("utf-8")))
            except UnicodeDecodeError:
                pass
            extra.append(("StringToSignBytes", " ".join("%02x" % b for b in text)))
            extra.append(("OSSAccessKeyId", key_id))
            return OssError(403, "SignatureDoesNotMatch", extra=extra)
        entry["signature_ok"] = True
        entry["string_to_sign_hex"] = text.hex()
        # The signature is good; now the date it covers must be current.
        if auth is None:
            try:
                expires = int(q["Expires"])
            except ValueError:
                expires = 0
            if expires < time.time():
                return OssError(403, "AccessDenied", "Request has expired.")
            return None
        try:
            when = email.utils.parsedate_to_datetime(date_line.decode("latin-1")).timestamp()
        except (TypeError, ValueError, IndexError):
            return OssError(403, "AccessDenied", "OSS authentication requires a valid Date.")
        if abs(when - time.time()) > MAX_CLOCK_SKEW_S:
            return OssError(403, "RequestTimeTooSkewed",
                            extra=[("RequestTime", date_line.decode("latin-1")),
                                   ("ServerTime", email.utils.formatdate(usegmt=True))])
        return None

    # -- data requests -----------------------------------------------------------------------

    def object_file(self, key):
        """An open file for the key, or None when the bucket holds no such object."""
        if not key or b"\x00" in key:
            return None
        segments = key.split(b"/")
        if any(s in (b"", b".", b"..") for s in segments):
            return None
        root = self.server.root
        path = os.path.join(root, key)
        real = os.path.realpath(path)
        if not real.startswith(self.server.real_root + b"/"):
            return None
        try:
            f = open(path, "rb")
        except OSError:
            return None
        if not stat.S_ISREG(os.fstat(f.fileno()).st_mode):
            f.close()
            return None
        return f

    def serve_object(self, method, path, query, entry):
        query_pairs = []
        for part in query.split(b"&") if query else []:
            k, eq, v = part.partition(b"=")
            query_pairs.append((urllib.parse.unquote_to_bytes(k).decode("utf-8", "replace"),
                                urllib.parse.unquote_to_bytes(v).decode("utf-8", "replace") if eq else None))
        bucket, key = self.locate(path)
        entry["bucket"] = bucket.decode("latin-1")
        entry["raw_key"] = key.hex()
        entry["key"] = key.decode("utf-8", "replace")
        host_id = self.host_name() if self.is_virtual_hosted() else \
            "%s.%s" % (bucket.decode("latin-1"), self.host_name() or "127.0.0.1")

        signature_error = None
        if bucket == self.server.bucket:
            signature_error = self.check_signature(method, bucket, key, query_pairs, entry)

        faults = []
        for fault in self.server.faults.take_all(method, key, "delay_ms"):
            faults.append(fault.describe())
            time.sleep(fault.value / 1000.0)
        status_fault = self.server.faults.take(method, key, ("status",))
        try:
            if status_fault is not None:
                faults.append(status_fault.describe())
                code = status_fault.code or STATUS_CODES.get(status_fault.value, "InternalError")
                raise OssError(status_fault.value, code, status_fault.message)
            if bucket != self.server.bucket:
                raise OssError(404, "NoSuchBucket", extra=[("BucketName", bucket.decode("latin-1"))])
            if signature_error is not None:
                raise signature_error
            if method not in ("GET", "HEAD"):
                raise OssError(405, "MethodNotAllowed", extra=[("Method", method)])
            f = self.object_file(key)
            if f is None:
                raise OssError(404, "NoSuchKey")
        except OssError as err:
            self.answer_error(method, err, entry, faults, host_id)
            return
        replacements = self.server.faults.take_all(method, key, "replace_after")
        try:
            with f:
                self.send_object(method, key, f, entry, faults, host_id)
        finally:
            # The object changes once this answer has ended, however it ended.
            for fault in replacements:
                faults.append(fault.describe())
                entry["fault"] = ",".join(faults)
                self.replace_object(key, fault.value.encode("utf-8"))

    def replace_object(self, key, source_key):
        source = self.object_file(source_key)
        if source is None:
            sys.stderr.write("oss_emulator: replace_after names no object %r\n" % source_key)
            return
        target = os.path.join(self.server.root, key)
        temporary = target + b".replacing"
        with source, open(temporary, "wb") as out:
            out.write(source.read())
        os.replace(temporary, target)

    def answer_error(self, method, err, entry, faults, host_id, headers=()):
        entry["fault"] = ",".join(faults) or None
        entry["error_code"] = err.code
        entry["status"] = err.status
        self.send_error_xml(method, err, entry["request_id"], host_id, headers)

    def send_error_xml(self, method, err, request_id, host_id, headers=()):
        body = error_xml(err.code, err.message, request_id, host_id, err.extra)
        self.send_response(err.status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "application/xml")
        self.send_header("Content-Length", "0" if method == "HEAD" else str(len(body)))
        self.send_header("Connection", "close" if self.close_connection else "keep-alive")
        self.send_header("x-oss-request-id", request_id)
        self.send_header("x-oss-server-time", "0")
        self.end_headers()
        if method != "HEAD":
            self.wfile.write(body)

    def send_object(self, method, key, f, entry, faults, host_id):
        st = os.fstat(f.fileno())
        md5, crc = self.server.metadata.get(f, st)
        size = st.st_size
        etag = '"%s"' % md5
        # Conditions come before the range, as HTTP orders them.
        if not if_match_holds(self.headers.get("If-Match"), etag):
            self.answer_error(method, OssError(412, "PreconditionFailed", extra=[("Condition", "If-Match")]),
                              entry, faults, host_id)
            return
        part = None
        if method == "GET":
            part = parse_range(self.headers.get("Range"), size)
            if part is not None and self.server.faults.take(method, key, ("ignore_range",)) is not None:
                faults.append("ignore_range")
                part = None
        if part == RANGE_UNSATISFIABLE:
            err = OssError(416, "InvalidRange", extra=[("RangeRequested", self.headers.get("Range")),
                                                       ("ActualObjectSize", str(size))])
            self.answer_error(method, err, entry, faults, host_id, [("Content-Range", "bytes */%d" % size)])
            return
        first, end = (0, size) if part is None else (part[0], part[1] + 1)
        body_fault = None
        if method == "GET":
            body_fault = self.server.faults.take(method, key, BODY_FAULTS)
            if body_fault is not None:
                faults.append(body_fault.describe())
        entry["fault"] = ",".join(faults) or None
        entry["status"] = 200 if part is None else 206
        ext = os.path.splitext(key)[1].decode("latin-1").lower()
        self.send_response(entry["status"])
        self.send_header("Content-Type", CONTENT_TYPES.get(ext, "application/octet-stream"))
        self.send_header("Content-Length", str(end - first))
        if part is not None:
            entry["content_range"] = "bytes %d-%d/%d" % (first, end - 1, size)
            self.send_header("Content-Range", entry["content_range"])
        # send_header("Connection") also sets close_connection: answer what the client asked for.
        self.send_header("Connection", "close" if self.close_connection else "keep-alive")
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("ETag", etag)
        self.send_header("Last-Modified", email.utils.formatdate(st.st_mtime, usegmt=True))
        self.send_header("x-oss-request-id", entry["request_id"])
        self.send_header("x-oss-object-type", "Normal")
        self.send_header("x-oss-storage-class", "Standard")
        # The whole object's checksums, on a part as well.
        self.send_header("x-oss-hash-crc64ecma", str(crc))
        if part is None:
            self.send_header("Content-MD5", base64.b64encode(binascii.unhexlify(md5)).decode("ascii"))
        self.end_headers()
        if method == "HEAD":
            return
        limit = end
        corrupt_at = None
        if body_fault is not None:
            if body_fault.kind in ("truncate_after", "stall_after"):
                limit = min(end, first + body_fault.value)
            elif body_fault.kind == "corrupt" and end > first:
                corrupt_at = first + (end - first) // 2
        self.send_file_range(f, first, limit, corrupt_at, entry)
        if body_fault is None:
            return
        if body_fault.kind == "truncate_after":
            self.close_connection = True  # the body ends early for the client
        elif body_fault.kind == "stall_after" and limit < end:
            self.stall()

    def send_file_range(self, f, first, limit, corrupt_at, entry):
        """Sends the file's bytes [first, limit); entry's bytes_sent counts them as they go."""
        sock = self.connection
        offset = first
        while offset < limit:
            end = limit
            if corrupt_at is not None and offset <= corrupt_at:
                if offset == corrupt_at:
                    flipped = bytes(b ^ 0xFF for b in os.pread(f.fileno(), 1, offset))
                    sock.sendall(flipped)
                    offset += 1
                    entry["bytes_sent"] = offset - first
                    continue
                end = corrupt_at
            count = min(end - offset, self.server.rate.chunk_size())
            start = self.server.rate.reserve(count)
            if start is not None:
                delay = start - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
            sent = os.sendfile(sock.fileno(), f.fileno(), offset, count)
            if sent == 0:
                raise BrokenPipeError("file shrank or connection closed")
            offset += sent
            entry["bytes_sent"] = offset - first

    def stall(self):
        """Keeps the connection open without sending until the client goes or the limit passes."""
        self.close_connection = True
        deadline = time.monotonic() + STALL_LIMIT_S
        sock = self.connection
        while not self.server.stopping.is_set():
            left = deadline - time.monotonic()
            if left <= 0:
                return
            readable, _, _ = select.select([sock], [], [], min(left, 1.0))
            if readable:
                try:
                    if not sock.recv(65536):
                        return  # the client closed its end
                except OSError:
                    return

    # -- control API -------------------------------------------------------------------------

    def control(self, method, name):
        body = self.read_request_body()
        try:
            status, payload = self.control_action(method, name, body)
        except (ValueError, TypeError, KeyError) as exc:
            status, payload = 400, {"error": str(exc)}
        if isinstance(payload, str):
            data, ctype = payload.encode("ascii"), "application/x-ndjson"
        else:
            data, ctype = (json.dumps(payload, sort_keys=True) + "\n").encode("ascii"), "application/json"
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if method != "HEAD":
            self.wfile.write(data)

    def control_action(self, method, name, body):
        server = self.server
        if name == "faults" and method == "POST":
            settings = json.loads(body.decode("utf-8") or "null")
            if not isinstance(settings, dict):
                raise ValueError("a fault is a JSON object")
            return 200, server.faults.add(settings).as_json()
        if name == "faults" and method == "GET":
            return 200, server.faults.listing()
        if name == "reset" and method == "POST":
            server.faults.clear()
            server.log.clear()
            return 200, {"ok": True}
        if name == "log" and method == "GET":
            return 200, server.log.snapshot()
        if name == "rate" and method == "POST":
            settings = json.loads(body.decode("utf-8") or "null")
            rate = settings["bytes_per_second"] if isinstance(settings, dict) else None
            if not isinstance(rate, int) or isinstance(rate, bool) or rate < 0:
                raise ValueError('"bytes_per_second" must be a non-negative integer')
            server.rate.set(rate)
            return 200, {"bytes_per_second": rate}
        if name == "sign" and method == "POST":
            return self.sign_release(json.loads(body.decode("utf-8") or "{}"))
        if name == "ping" and method == "GET":
            return 200, {"ok": True, "port": server.server_address[1], "bucket": server.bucket.decode("ascii")}
        return 404, {"error": "no control action %s %s" % (method, name)}


    def sign_release(self, settings):
        """Signs the release in the bucket again, as its vendor would after changing it."""
        server = self.server
        if server.signing_key is None:
            return 409, {"error": "the emulator was started without --signing-key"}
        if not isinstance(settings, dict):
            raise ValueError("the signing settings are a JSON object")
        # Imported here: only signing needs the cryptography package.
        if SIGNING_DIR not in sys.path:
            sys.path.insert(0, SIGNING_DIR)
        import sign_release  # noqa: E402
        try:
            with open(server.signing_key, "rb") as f:
                key = sign_release.load_private_key(f.read())
            digests = sign_release.sign_release(os.fsdecode(server.root), key, settings.get("prefix", "9.5KAvrindelIE"),
                                                bool(settings.get("allow_missing")),
                                                bool(settings.get("signature_only")))
        except (OSError, sign_release.SigningError) as exc:
            return 409, {"error": str(exc)}
        return 200, {"sha256": {os.fsdecode(path): hexdigest for path, hexdigest in digests}}


class EmulatorServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, root, bucket, key_id, key_secret, log_path, rate, verbose, signing_key=None):
        super().__init__(address, Handler)
        self.signing_key = signing_key
        self.root = os.fsencode(os.path.abspath(root))
        self.real_root = os.path.realpath(self.root)
        self.bucket = bucket.encode("ascii")
        self.key_id = key_id
        self.key_secret = key_secret.encode("utf-8")
        self.log = RequestLog(log_path)
        self.faults = FaultTable()
        self.rate = RateLimiter(rate)
        self.metadata = MetadataCache()
        self.verbose = verbose
        self.stopping = threading.Event()

    def server_bind(self):
        # HTTPServer's own bind looks the host name up (getfqdn), which can stall without DNS.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def stop(self):
        if not self.stopping.is_set():
            self.stopping.set()
            threading.Thread(target=self.shutdown, daemon=True).start()


def process_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    try:
        with open("/proc/%d/stat" % pid, "rb") as f:
            return f.read().rpartition(b")")[2].split()[0] != b"Z"
    except (OSError, IndexError):
        return True


def watch_parent(server, pid):
    while not server.stopping.wait(1.0):
        if not process_alive(pid):
            server.stop()
            return


def warm_metadata(server):
    """Computes the checksums of the objects already in the bucket, so first requests answer fast."""
    for folder, _, files in os.walk(server.root):
        for name in files:
            if server.stopping.is_set():
                return
            try:
                with open(os.path.join(folder, name), "rb") as f:
                    st = os.fstat(f.fileno())
                    if stat.S_ISREG(st.st_mode):
                        server.metadata.get(f, st)
            except OSError:
                pass


def parse_args(argv):
    p = argparse.ArgumentParser(description="Local object storage emulator (loopback only).")
    p.add_argument("--root", required=True, help="folder served as the bucket")
    p.add_argument("--bucket", required=True)
    p.add_argument("--key-id", required=True)
    p.add_argument("--key-secret", required=True)
    p.add_argument("--host", default="127.0.0.1", help="a loopback IPv4 address")
    p.add_argument("--port", type=int, default=0, help="0 picks a free port")
    p.add_argument("--port-file", help="receives the bound port once listening")
    p.add_argument("--request-log", help="JSON-lines file of every data request")
    p.add_argument("--rate-limit", type=int, default=0, help="line rate in bytes per second (0: unlimited)")
    p.add_argument("--parent-pid", type=int, help="exit when this process has gone")
    p.add_argument("--verbose", action="store_true", help="log each request to stderr")
    p.add_argument("--signing-key", help="release key (PEM) with which POST /_kav_control/sign signs the release")
    args = p.parse_args(argv)
    try:
        if not ipaddress.IPv4Address(args.host).is_loopback:
            p.error("--host must be a loopback address (127.0.0.0/8)")
    except ipaddress.AddressValueError:
        p.error("--host must be an IPv4 loopback address")
    if not os.path.isdir(args.root):
        p.error("--root %s is not a folder" % args.root)
    try:
        args.bucket.encode("ascii")
    except UnicodeEncodeError:
        p.error("--bucket must be ASCII")
    if args.rate_limit < 0:
        p.error("--rate-limit must not be negative")
    return args


def main(argv=None):
    args = parse_args(argv if argv is not None else sys.argv[1:])
    try:
        server = EmulatorServer((args.host, args.port), args.root, args.bucket, args.key_id, args.key_secret,
                                args.request_log, args.rate_limit, args.verbose, args.signing_key)
    except OSError as exc:
        sys.stderr.write("oss_emulator: cannot listen on %s:%d: %s\n" % (args.host, args.port, exc))
        return 1
    signal.signal(signal.SIGTERM, lambda *_: server.stop())
    signal.signal(signal.SIGINT, lambda *_: server.stop())
    threading.Thread(target=warm_metadata, args=(server,), daemon=True).start()
    if args.parent_pid:
        threading.Thread(target=watch_parent, args=(server, args.parent_pid), daemon=True).start()
    port = server.server_address[1]
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    if args.verbose:
        sys.stderr.write("oss_emulator: serving %s as bucket %s on %s:%d\n" % (args.root, args.bucket, args.host, port))
    try:
        server.serve_forever(poll_interval=0.25)
    finally:
        server.stopping.set()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
