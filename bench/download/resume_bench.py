#!/usr/bin/env python3
"""Cut-download benchmark: what a cut connection costs the storage client.

  bench/download/resume_bench.py BUILD_DIR     (bench/download/run calls it too)

The local bucket emulator, limited to a 20 MB/s line, serves a 180 MB object; the client
(download_bench.exe client: OssClient::GetObject into a file, with the installer's progress
handler) downloads it uncut, with the connection cut at 50 % and cut at 90 % (the emulator's
truncate_after fault, for one answer), alternately, best of three each: the machine may be busy,
and the best run is the one that shows what the client costs. A cut download resumes with a
ranged request, so the whole download should take at most 1.05 times the uncut one; the request
log shows the bytes served, which must add up to the object's size once.

Target: cut / uncut <= 1.05 for both cuts (best runs). Exits 1 when a target is missed.
"""
import json
import os
import random
import re
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
EMULATOR = os.path.join(SOURCE, "tools", "local-bucket", "oss_emulator.py")
BUCKET = "kavbucket"
KEY_ID = "LTAI5tKavrindelTestKey01"
KEY_SECRET = "KavrindelLocalBucketSecret0001"
KEY = "bench/object-180mb.bin"
SIZE = 180 * 1000 * 1000
LINE_RATE = 20 * 1000 * 1000
CUTS = (0.5, 0.9)
ROUNDS = 3
TARGET_CUT_VS_UNCUT = 1.05
START_TIMEOUT_S = 30
# Loopback requests never go through a proxy named in the environment.
DIRECT = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def make_object(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    block = random.Random(180).randbytes(4 << 20)
    with open(path + ".tmp", "wb") as f:
        written = 0
        while written < size:
            piece = block[: min(len(block), size - written)]
            # Reversed every other block, so that no two neighbouring blocks are alike.
            f.write(piece[::-1] if (written // len(block)) % 2 else piece)
            written += len(piece)
    os.replace(path + ".tmp", path)


def control(port, method, action, payload=None):
    data = None if payload is None else json.dumps(payload).encode()
    req = urllib.request.Request("http://127.0.0.1:%d/_kav_control/%s" % (port, action), data=data, method=method)
    return DIRECT.open(req, timeout=30).read()


def download(build, port, output):
    exe = os.path.join(build, "bench", "download", "download_bench.exe")
    cmd = [os.path.join(build, "wine-run"), exe, "client", "127.0.0.1:%d" % port, BUCKET, KEY, KEY_ID, KEY_SECRET,
           windows_path(output)]
    out = subprocess.run(cmd, capture_output=True, text=True, timeout=300).stdout
    m = re.search(r"^client bytes=(\d+) seconds=([\d.]+)", out, re.MULTILINE)
    if not m:
        sys.exit("download_bench client failed: %s" % out.strip())
    return int(m.group(1)), float(m.group(2))


def one_pass(build, port, output, cut):
    """(seconds, GETs, bytes served) of one download; cut is the fraction at which the body stops."""
    control(port, "POST", "reset", {})
    if cut is not None:
        control(port, "POST", "faults", {"key": KEY, "count": 1, "truncate_after": int(SIZE * cut)})
    size, seconds = download(build, port, output)
    gets = [json.loads(line) for line in control(port, "GET", "log").decode().splitlines()]
    gets = [e for e in gets if e["method"] == "GET"]
    if size != SIZE or os.path.getsize(output) != SIZE:
        sys.exit("the download did not end with the whole object")
    os.remove(output)
    return seconds, gets


def run(build):
    """Runs the benchmark; returns the list of missed targets."""
    work = os.path.join(build, "bench-download-resume")
    root = os.path.join(work, "bucket")
    make_object(os.path.join(root, KEY), SIZE)
    port_file = os.path.join(work, "port")
    if os.path.exists(port_file):
        os.remove(port_file)
    server = subprocess.Popen([sys.executable, EMULATOR, "--root", root, "--bucket", BUCKET, "--key-id", KEY_ID,
                               "--key-secret", KEY_SECRET, "--port", "0", "--port-file", port_file,
                               "--rate-limit", str(LINE_RATE), "--parent-pid", str(os.getpid())])
    failures = []
    try:
        deadline = time.monotonic() + START_TIMEOUT_S
        while not os.path.exists(port_file):
            if time.monotonic() > deadline or server.poll() is not None:
                sys.exit("the emulator did not start")
            time.sleep(0.1)
        port = int(open(port_file).read())
        output = os.path.join(work, "downloaded.bin")
        cases = (None,) + CUTS
        runs = {cut: [] for cut in cases}
        for _ in range(ROUNDS):
            for cut in cases:
                seconds, gets = one_pass(build, port, output, cut)
                served = sum(e["bytes_sent"] for e in gets)
                runs[cut].append((seconds, gets))
                if served != SIZE:
                    failures.append("a download cut at %s fetched %.3f of the object" % (cut, served / SIZE))
        uncut = min(seconds for seconds, _ in runs[None])
        print("server limited to %.0f MB/s, %.0f MB object, best of %d alternating runs:"
              % (LINE_RATE / 1e6, SIZE / 1e6, ROUNDS))
        print("  uncut          %7.2f s   runs: %s" % (uncut, ", ".join("%.2f" % r[0] for r in runs[None])))
        for cut in CUTS:
            best = min(seconds for seconds, _ in runs[cut])
            ratio = best / uncut
            gets = runs[cut][0][1]
            print("  cut at %2d %%    %7.2f s   runs: %s" % (cut * 100, best, ", ".join("%.2f" % r[0] for r in runs[cut])))
            print("                 %.3f of uncut (target <= %.2f); requests: %s"
                  % (ratio, TARGET_CUT_VS_UNCUT,
                     ", ".join("%s %s %d bytes" % (e["status"], e["range"] or "whole", e["bytes_sent"]) for e in gets)))
            if ratio > TARGET_CUT_VS_UNCUT:
                failures.append("a download cut at %d %% takes %.3f of an uncut one" % (cut * 100, ratio))
    finally:
        server.terminate()
        server.wait(timeout=10)
    return failures


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: bench/download/resume_bench.py BUILD_DIR")
    failures = run(os.path.abspath(sys.argv[1]))
    for f in failures:
        print("MISSED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
