#!/usr/bin/env python3
"""Runs a command while an HTTPS server with a self-signed certificate listens on loopback.

  with_tls_server.py WORK_DIR -- COMMAND...

The server answers every request with 200 and an empty body, so a client that skipped the
certificate check would see success. COMMAND gets KAV_TLS_ENDPOINT=https://127.0.0.1:<port> and
KAV_TLS_REQUESTS_FILE, a file that receives one line per request that got through the handshake.
"""
import http.server
import os
import ssl
import subprocess
import sys
import threading


class Handler(http.server.BaseHTTPRequestHandler):
    def answer(self, body):
        with open(self.server.requests_file, "a") as f:
            f.write("%s %s\n" % (self.command, self.path))
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_GET(self):
        self.answer(True)

    def do_HEAD(self):
        self.answer(False)

    def log_message(self, *args):
        pass


def main():
    split = sys.argv.index("--")
    work = os.path.abspath(sys.argv[1])
    command = sys.argv[split + 1:]
    os.makedirs(work, exist_ok=True)
    cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, capture_output=True)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.requests_file = os.path.join(work, "tls-requests.txt")
    open(server.requests_file, "w").close()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    env = dict(os.environ)
    env["KAV_TLS_ENDPOINT"] = "https://127.0.0.1:%d" % server.server_address[1]
    env["KAV_TLS_REQUESTS_FILE"] = "Z:" + server.requests_file.replace("/", "\\")
    try:
        return subprocess.run(command, env=env).returncode
    finally:
        server.shutdown()


if __name__ == "__main__":
    sys.exit(main())
