#!/usr/bin/env python3
"""Runs one command against a fresh local bucket.

Makes a work folder under BUILD/bucket-runs/, builds a sample release into it (unless --no-release),
starts oss_emulator.py on loopback with the default test account, waits until it answers, runs
COMMAND with the KAV_BUCKET_* variables set, stops the emulator and exits with COMMAND's exit code.

The work folder is removed when the command succeeds and kept (its path printed) when it fails,
so that the request log of a failed test can be read. --keep keeps it always.
"""

import argparse
import fcntl
import json
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
EMULATOR = os.path.join(HERE, "oss_emulator.py")
MAKE_RELEASE = os.path.join(SOURCE_DIR, "tools", "sample-release", "make_release.py")
CHECK_LOG_DIR = os.path.join(SOURCE_DIR, "tools", "oss-peer")
# The local bucket's release key: good only for tests and the demo.
TEST_SIGNING_KEY = os.path.join(SOURCE_DIR, "tools", "release-signing", "test-key", "private-key-TESTS-ONLY.pem")

# The default test account: the installer's default build settings point at it.
FIXED_PORT = 47195
BUCKET = "kavbucket"
KEY_ID = "LTAI5tKavrindelTestKey01"
KEY_SECRET = "KavrindelLocalBucketSecret0001"

START_TIMEOUT_S = 20.0
# Loopback requests never go through a proxy named in the environment.
DIRECT = urllib.request.build_opener(urllib.request.ProxyHandler({}))
FIXED_PORT_LOCK = os.path.join(tempfile.gettempdir(), "kavrindel-bucket-port-%d.lock" % FIXED_PORT)
# A fixed port still held by a program that is not one of our runs: how long to wait for it.
FIXED_PORT_WAIT_S = 60.0
# Exit status when the bucket itself could not be prepared (not the command's own failure).
SETUP_FAILED = 125


def windows_path(unix_path):
    """The path as Wine's Z: drive shows it."""
    return "Z:" + unix_path.replace("/", "\\")


def fail(message):
    sys.stderr.write("with_bucket: %s\n" % message)
    sys.exit(SETUP_FAILED)


def parse_args(argv):
    if "--" not in argv:
        fail("usage: with_bucket.py --build-dir BUILD [options] -- COMMAND...")
    split = argv.index("--")
    p = argparse.ArgumentParser(description="Runs a command against a fresh local bucket.")
    p.add_argument("--build-dir", required=True)
    p.add_argument("--release", default="", help="options for make_release.py, as one string")
    p.add_argument("--no-release", action="store_true", help="start with an empty bucket")
    p.add_argument("--fixed-port", action="store_true", help="listen on %d (runs wait for each other)" % FIXED_PORT)
    p.add_argument("--rate-limit", type=int, default=0, help="line rate in bytes per second")
    p.add_argument("--keep", action="store_true", help="keep the work folder even on success")
    p.add_argument("--check-signatures", action="store_true",
                   help="after a successful command, have ali-oss re-check every logged signature and agree "
                        "with the emulator's verdict")
    p.add_argument("--expect-valid-signatures", action="store_true",
                   help="like --check-signatures, and every logged request must be signed right")
    own = list(argv[:split])
    for i in range(len(own) - 1):
        if own[i] == "--release":
            # The value is a list of options itself ("--big-mb 5"): never read it as our own.
            own[i:i + 2] = ["--release=" + own[i + 1]]
            break
    args = p.parse_args(own)
    args.command = argv[split + 1:]
    if not args.command:
        fail("no command after --")
    return args


def build_release(args, root, work):
    standin = os.path.join(os.path.abspath(args.build_dir), "tools", "sample-product", "kavrindel_standin.exe")
    if not os.path.isfile(standin):
        fail("the stand-in product %s is missing; build the project first" % standin)
    cmd = [sys.executable, MAKE_RELEASE, "--out", root, "--standin", standin] + shlex.split(args.release)
    result = subprocess.run(cmd, stdout=subprocess.PIPE)
    if result.returncode != 0:
        fail("make_release.py failed (%d): %s" % (result.returncode, " ".join(map(shlex.quote, cmd))))
    summary = os.path.join(work, "release.json")
    with open(summary, "wb") as f:
        f.write(result.stdout)
    return summary


def start_emulator(args, root, log_path, port_file):
    port = FIXED_PORT if args.fixed_port else 0
    cmd = [sys.executable, EMULATOR, "--root", root, "--bucket", BUCKET, "--key-id", KEY_ID,
           "--key-secret", KEY_SECRET, "--host", "127.0.0.1", "--port", str(port),
           "--port-file", port_file, "--request-log", log_path, "--parent-pid", str(os.getpid()),
           "--signing-key", TEST_SIGNING_KEY]
    if args.rate_limit:
        cmd += ["--rate-limit", str(args.rate_limit)]
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL)
    deadline = time.monotonic() + START_TIMEOUT_S
    busy_until = time.monotonic() + FIXED_PORT_WAIT_S
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            if port and time.monotonic() < busy_until:
                # The fixed port is taken by someone else; try again until it is free.
                time.sleep(0.5)
                proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                deadline = time.monotonic() + START_TIMEOUT_S
                continue
            fail("the emulator exited with %d before listening (port %d taken?)" % (proc.returncode, port))
        try:
            with open(port_file) as f:
                bound = int(f.read().strip())
            with DIRECT.open("http://127.0.0.1:%d/_kav_control/ping" % bound, timeout=2) as r:
                if r.status == 200:
                    return proc, bound
        except (OSError, ValueError, urllib.error.URLError):
            pass
        time.sleep(0.05)
    stop(proc)
    fail("the emulator did not answer within %.0f s" % START_TIMEOUT_S)


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def check_signatures(log_path, expect_valid):
    """Runs the request log through ali-oss's signing code (tools/oss-peer/check_log.js)."""
    node = shutil.which("node") or shutil.which("nodejs")
    if node is None or not os.path.isdir(os.path.join(CHECK_LOG_DIR, "node_modules", "ali-oss")):
        sys.stderr.write("with_bucket: node or ali-oss is missing; run scripts/setup\n")
        return SETUP_FAILED
    cmd = [node, os.path.join(CHECK_LOG_DIR, "check_log.js"), log_path] + (["--expect-valid"] if expect_valid else [])
    env = dict(os.environ, KAV_BUCKET_KEY_ID=KEY_ID, KAV_BUCKET_KEY_SECRET=KEY_SECRET)
    result = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.stderr.write("with_bucket: the signature check against ali-oss failed:\n" + result.stdout)
        return 1
    return 0


def run_command(command, env):
    try:
        child = subprocess.Popen(command, env=env)
    except OSError as exc:
        sys.stderr.write("with_bucket: cannot run %s: %s\n" % (command[0], exc))
        return 127

    def forward(signum, _frame):
        if child.poll() is None:
            child.send_signal(signum)

    old = {s: signal.signal(s, forward) for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)}
    try:
        code = child.wait()
    finally:
        for s, h in old.items():
            signal.signal(s, h)
    return 128 - code if code < 0 else code


def main(argv):
    args = parse_args(argv)
    runs = os.path.join(os.path.abspath(args.build_dir), "bucket-runs")
    os.makedirs(runs, exist_ok=True)

    lock = None
    if args.fixed_port:
        # One lock for the whole machine: every build folder's runs share the one port.
        lock = open(FIXED_PORT_LOCK, "w")
        fcntl.flock(lock, fcntl.LOCK_EX)

    work = tempfile.mkdtemp(prefix=time.strftime("%Y%m%d-%H%M%S-"), dir=runs)
    root = os.path.join(work, "bucket")
    os.makedirs(root)
    log_path = os.path.join(work, "requests.jsonl")
    env = dict(os.environ)
    if not args.no_release:
        env["KAV_BUCKET_RELEASE_UNIX"] = build_release(args, root, work)

    proc, port = start_emulator(args, root, log_path, os.path.join(work, "port"))
    try:
        env.update({
            "KAV_BUCKET_ENDPOINT": "127.0.0.1:%d" % port,
            "KAV_BUCKET_CONTROL": "http://127.0.0.1:%d/_kav_control" % port,
            "KAV_BUCKET_NAME": BUCKET,
            "KAV_BUCKET_KEY_ID": KEY_ID,
            "KAV_BUCKET_KEY_SECRET": KEY_SECRET,
            "KAV_BUCKET_ROOT": windows_path(root),
            "KAV_BUCKET_LOG": windows_path(log_path),
            "KAV_BUCKET_ROOT_UNIX": root,
            "KAV_BUCKET_LOG_UNIX": log_path,
            "KAV_BUCKET_RUN_DIR_UNIX": work,
        })
        for name in ("no_proxy", "NO_PROXY"):
            env[name] = ",".join(filter(None, [env.get(name), "127.0.0.1", "localhost"]))
        code = run_command(args.command, env)
    finally:
        stop(proc)
        if lock is not None:
            lock.close()
    if code == 0 and (args.check_signatures or args.expect_valid_signatures):
        code = check_signatures(log_path, args.expect_valid_signatures)
    if code == 0 and not args.keep:
        subprocess.run(["rm", "-rf", "--", work])
    else:
        sys.stderr.write("with_bucket: work folder kept: %s (exit %d)\n" % (work, code))
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
