#!/usr/bin/env python3
"""Checks the vendor's way of signing: the build's signing script, run as the build runs it, signs an
unsigned copy of the installer with a PKCS#12 file made here from fresh certificates (Python
`cryptography`, independent of the build's OpenSSL commands), with and without an RFC 3161 time stamp
from a time-stamp server on the loopback (OpenSSL's `ts -reply`). A wrong password or a time-stamp
server that fails leaves neither a signed nor an unsigned executable behind."""
import argparse
import datetime
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.serialization import pkcs12
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

import authenticode

VENDOR_SUBJECT = "/C=CN/O=Example Vendor Ltd/CN=Example Vendor Ltd"
PASSWORD = "correct horse battery staple"
TSA_CONFIG = """[tsa]
default_tsa = tsa_config

[tsa_config]
serial = {folder}/tsa-serial
crypto_device = builtin
signer_cert = {folder}/tsa.pem
signer_key = {folder}/tsa.key
certs = {folder}/tsa.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


def name(subject):
    oids = {"C": NameOID.COUNTRY_NAME, "O": NameOID.ORGANIZATION_NAME, "CN": NameOID.COMMON_NAME}
    parts = [p.split("=", 1) for p in subject.strip("/").split("/")]
    return x509.Name([x509.NameAttribute(oids[k], v) for k, v in parts])


def issue(subject, key, issuer=None, usage=None):
    """A certificate for key; self-signed CA without issuer, else an end certificate for usage."""
    now = datetime.datetime.now(datetime.timezone.utc)
    issuer_name, issuer_key = (issuer[0].subject, issuer[1]) if issuer else (name(subject), key)
    builder = (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(issuer_name)
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(now - datetime.timedelta(days=1)).not_valid_after(now + datetime.timedelta(days=30))
               .add_extension(x509.BasicConstraints(ca=issuer is None, path_length=None), critical=True))
    if usage:
        builder = builder.add_extension(x509.ExtendedKeyUsage([usage]), critical=usage == ExtendedKeyUsageOID.TIME_STAMPING)
    return builder.sign(issuer_key, hashes.SHA256())


def write_pem(path, certificate):
    with open(path, "wb") as f:
        f.write(certificate.public_bytes(serialization.Encoding.PEM))


class TimeStampServer:
    """An RFC 3161 time-stamp server on the loopback that answers with `openssl ts -reply`, or with
    500 when told to fail. It records the content type of every request."""

    def __init__(self, openssl, config, folder):
        self.requests, self.fail = [], False
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                server.requests.append(self.headers.get("Content-Type"))
                query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                reply = None
                if not server.fail:
                    query_file, reply_file = os.path.join(folder, "query.tsq"), os.path.join(folder, "reply.tsr")
                    with open(query_file, "wb") as f:
                        f.write(query)
                    run = subprocess.run([openssl, "ts", "-reply", "-config", config, "-queryfile", query_file,
                                          "-out", reply_file], capture_output=True)
                    if run.returncode == 0:
                        reply = open(reply_file, "rb").read()
                if reply is None:
                    self.send_response(500)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(reply)))
                self.end_headers()
                self.wfile.write(reply)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--sign-script", required=True)
    parser.add_argument("--osslsigncode", required=True)
    parser.add_argument("--openssl", required=True)
    parser.add_argument("--test-root", required=True, help="the build's own test root")
    parser.add_argument("exe")
    args = parser.parse_args()
    failures = []
    folder = tempfile.mkdtemp(prefix="kavrindel-vendor-signing-")
    # The time-stamp server is on the loopback: no proxy of the environment may stand in between.
    env = {k: v for k, v in os.environ.items() if k.lower() not in ("http_proxy", "https_proxy", "all_proxy")}
    tsa = None
    try:
        root_key, signer_key = ec.generate_private_key(ec.SECP256R1()), ec.generate_private_key(ec.SECP256R1())
        root = issue("/O=Example Vendor Ltd/CN=Example Vendor Root", root_key)
        signer = issue(VENDOR_SUBJECT, signer_key, (root, root_key), ExtendedKeyUsageOID.CODE_SIGNING)
        tsa_root_key, tsa_key = ec.generate_private_key(ec.SECP256R1()), ec.generate_private_key(ec.SECP256R1())
        tsa_root = issue("/O=Example Time Stamps/CN=Example Time Stamp Root", tsa_root_key)
        tsa_cert = issue("/O=Example Time Stamps/CN=Example Time Stamp Server", tsa_key, (tsa_root, tsa_root_key),
                         ExtendedKeyUsageOID.TIME_STAMPING)

        root_pem, tsa_root_pem = os.path.join(folder, "root.pem"), os.path.join(folder, "tsa-root.pem")
        write_pem(root_pem, root)
        write_pem(tsa_root_pem, tsa_root)
        write_pem(os.path.join(folder, "tsa.pem"), tsa_cert)
        with open(os.path.join(folder, "tsa.key"), "wb") as f:
            f.write(tsa_key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                          serialization.NoEncryption()))
        tsa_config = os.path.join(folder, "tsa.cnf")
        with open(tsa_config, "w") as f:
            f.write(TSA_CONFIG.format(folder=folder))
        pfx = os.path.join(folder, "vendor.pfx")
        with open(pfx, "wb") as f:
            f.write(pkcs12.serialize_key_and_certificates(b"vendor", signer_key, signer, [root],
                                                          serialization.BestAvailableEncryption(PASSWORD.encode())))
        password_file, wrong_password_file = os.path.join(folder, "password"), os.path.join(folder, "wrong")
        with open(password_file, "w") as f:
            f.write(PASSWORD + "\n")
        with open(wrong_password_file, "w") as f:
            f.write("not the password\n")

        unsigned = os.path.join(folder, "unsigned.exe")
        subprocess.run([args.osslsigncode, "remove-signature", "-in", args.exe, "-out", unsigned],
                       check=True, capture_output=True)
        tsa = TimeStampServer(args.openssl, tsa_config, folder)

        def sign(case, password, timestamp_url=""):
            exe = os.path.join(folder, case + ".exe")
            shutil.copyfile(unsigned, exe)
            run = subprocess.run([args.cmake, f"-DEXE={exe}", f"-DPFX={pfx}", f"-DPASSWORD_FILE={password}",
                                  f"-DTIMESTAMP_URL={timestamp_url}", f"-DOSSLSIGNCODE={args.osslsigncode}",
                                  "-DDESCRIPTION=Kavrindel 9.5 online installer", "-P", args.sign_script],
                                 capture_output=True, text=True, env=env)
            if os.path.exists(exe + ".signing"):
                failures.append(f"{case}: the half-made signed file was left behind")
            return run.returncode == 0, exe, run.stdout + run.stderr

        # Signed with the vendor's certificate: it verifies against the vendor's root only.
        ok, exe, output = sign("vendor", password_file)
        if not ok:
            failures.append(f"signing with the vendor's PFX failed:\n{output}")
        else:
            passed, verified = authenticode.verify(args.osslsigncode, exe, root_pem)
            if not passed:
                failures.append(f"the vendor-signed copy does not verify:\n{verified}")
            if authenticode.signer_subject(verified) != VENDOR_SUBJECT:
                failures.append(f"vendor-signed copy signed by {authenticode.signer_subject(verified)!r}")
            if authenticode.verify(args.osslsigncode, exe, args.test_root)[0]:
                failures.append("the vendor-signed copy verifies against the build's test root")
            if not os.access(exe, os.X_OK):
                failures.append("the signed copy lost its execute permission")

        # With a time stamp from the server.
        ok, exe, output = sign("timestamped", password_file, tsa.url)
        if not ok:
            failures.append(f"signing with a time stamp failed:\n{output}")
        else:
            passed, verified = authenticode.verify(args.osslsigncode, exe, root_pem, tsa_root_pem)
            if not passed or "Timestamp Server Signature verification: ok" not in verified:
                failures.append(f"the time-stamped copy does not verify with its time stamp:\n{verified}")
        if tsa.requests != ["application/timestamp-query"]:
            failures.append(f"the time-stamp server saw {tsa.requests}, not one time-stamp query")

        # A failure fails the build and removes the executable, so that no unsigned file passes for
        # a finished build.
        tsa.fail = True
        for case, password, url in [("wrong password", wrong_password_file, ""),
                                    ("failing time-stamp server", password_file, tsa.url)]:
            ok, exe, output = sign(case.replace(" ", "_"), password, url)
            if ok:
                failures.append(f"{case}: signing reported success")
            if os.path.exists(exe):
                failures.append(f"{case}: the executable was left behind")
    finally:
        if tsa:
            tsa.close()
        shutil.rmtree(folder)

    for f in failures:
        print("FAIL:", f)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
