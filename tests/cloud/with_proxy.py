#!/usr/bin/env python3
"""Runs a command while two real HTTP proxies (Debian's tinyproxy) listen on loopback (127.0.0.2).

  with_proxy.py WORK_DIR -- COMMAND...

One proxy forwards anything; the other demands credentials (BasicAuth) and answers 407 to a
request without them. Each has its own configuration, port and log under WORK_DIR. COMMAND gets
KAV_PROXY_ADDRESS and KAV_AUTH_PROXY_ADDRESS (127.0.0.2:<port>) and KAV_PROXY_LOG and
KAV_AUTH_PROXY_LOG (the logs as Wine's Z: drive shows them; each request is a line with
"Request (file descriptor N): <method> <url>"). Exits with COMMAND's exit code; the proxies are
stopped however it ends.
"""
import os
import shutil
import socket
import subprocess
import sys
import time

# The proxies listen on a loopback address of their own, not the bucket's 127.0.0.1: Wine's
# WinHTTP sends the short request line (no scheme and host) when the proxy's host name equals the
# target's, which no proxy can forward.
PROXY_HOST = "127.0.0.2"
START_TIMEOUT_S = 10.0
START_ATTEMPTS = 5
AUTH_USER = "kavuser"
AUTH_PASSWORD = "kavpassword"


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((PROXY_HOST, 0))
        return s.getsockname()[1]


def answers(port):
    try:
        with socket.create_connection((PROXY_HOST, port), timeout=0.5):
            return True
    except OSError:
        return False


def start_proxy(tinyproxy, folder, basic_auth):
    """Starts one tinyproxy in the foreground; returns (process, port, log path)."""
    os.makedirs(folder, exist_ok=True)
    log = os.path.join(folder, "tinyproxy.log")
    for _ in range(START_ATTEMPTS):
        port = free_port()
        config = os.path.join(folder, "tinyproxy.conf")
        lines = ["Port %d" % port, "Listen " + PROXY_HOST, "Timeout 30", 'LogFile "%s"' % log, "LogLevel Info",
                 "MaxClients 20", "Allow 127.0.0.0/8"]
        if basic_auth:
            lines.append("BasicAuth %s %s" % (AUTH_USER, AUTH_PASSWORD))
        with open(config, "w") as f:
            f.write("\n".join(lines) + "\n")
        open(log, "w").close()
        proc = subprocess.Popen([tinyproxy, "-d", "-c", config], stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + START_TIMEOUT_S
        while time.monotonic() < deadline and proc.poll() is None:
            if answers(port):
                return proc, port, log
            time.sleep(0.05)
        stop(proc)  # the port was taken meanwhile, or it did not come up: another port
    sys.exit("with_proxy: tinyproxy did not start; see %s" % log)


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def main():
    if "--" not in sys.argv or sys.argv.index("--") != 2:
        sys.exit("usage: with_proxy.py WORK_DIR -- COMMAND...")
    work = os.path.abspath(sys.argv[1])
    command = sys.argv[3:]
    tinyproxy = shutil.which("tinyproxy") or "/usr/bin/tinyproxy"
    if not os.path.exists(tinyproxy):
        sys.exit("with_proxy: tinyproxy is missing; run scripts/setup")
    shutil.rmtree(work, ignore_errors=True)
    proxies = []
    try:
        open_proxy = start_proxy(tinyproxy, os.path.join(work, "open"), False)
        proxies.append(open_proxy[0])
        auth_proxy = start_proxy(tinyproxy, os.path.join(work, "auth"), True)
        proxies.append(auth_proxy[0])
        env = dict(os.environ)
        env["KAV_PROXY_ADDRESS"] = "%s:%d" % (PROXY_HOST, open_proxy[1])
        env["KAV_PROXY_LOG"] = windows_path(open_proxy[2])
        env["KAV_AUTH_PROXY_ADDRESS"] = "%s:%d" % (PROXY_HOST, auth_proxy[1])
        env["KAV_AUTH_PROXY_LOG"] = windows_path(auth_proxy[2])
        return subprocess.run(command, env=env).returncode
    finally:
        for proc in proxies:
            stop(proc)


if __name__ == "__main__":
    sys.exit(main())
