#!/usr/bin/env python3
"""Runs a command with manifest signatures made outside the installer, by the openssl command line.

  with_signature_cases.py WORK_DIR -- COMMAND...

Writes into WORK_DIR a manifest (manifest.ini), the local bucket's test public key as the 64 hex
bytes X||Y (test-key.hex) and one .sig file per case, each as the installer reads them: one line of
base64 of r||s. openssl signs with DER (ASN.1) signatures; they are turned into r||s here.
COMMAND gets KAV_SIGNATURE_CASES, WORK_DIR as a Windows path, and its exit code is returned.
"""
import base64
import os
import subprocess
import sys

from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TEST_KEY_DIR = os.path.join(SOURCE_DIR, "tools", "release-signing", "test-key")
PRIVATE_KEY = os.path.join(TEST_KEY_DIR, "private-key-TESTS-ONLY.pem")
PUBLIC_KEY = os.path.join(TEST_KEY_DIR, "public-key.pem")
MANIFEST = ("[cfgstamp]\r\ntime=42\r\n[fixstamp]\r\n201805=9.5.9.1_fix\r\n[说明]\r\n版本=九点五\r\n"
            "[sha256]\r\nbase.zip=" + "ab" * 32 + "\r\n").encode("gbk")
COORDINATE_BYTES = 32


def openssl_der(key_path, data_path, work):
    """openssl's signature over SHA-256 of the file, as it writes it: DER."""
    der_path = os.path.join(work, "signature.der")
    subprocess.run(["openssl", "dgst", "-sha256", "-sign", key_path, "-out", der_path, data_path], check=True)
    with open(der_path, "rb") as f:
        der = f.read()
    os.remove(der_path)
    return der


def openssl_sign(key_path, data_path, work):
    """r||s of openssl's signature over SHA-256 of the file."""
    r, s = decode_dss_signature(openssl_der(key_path, data_path, work))
    return r.to_bytes(COORDINATE_BYTES, "big") + s.to_bytes(COORDINATE_BYTES, "big")


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    split = sys.argv.index("--")
    work = os.path.abspath(sys.argv[1])
    command = sys.argv[split + 1:]
    os.makedirs(work, exist_ok=True)
    manifest = os.path.join(work, "manifest.ini")
    write(manifest, MANIFEST)
    flipped = os.path.join(work, "flipped.ini")
    write(flipped, MANIFEST[:5] + bytes([MANIFEST[5] ^ 1]) + MANIFEST[6:])
    other_key = os.path.join(work, "other-key.pem")
    subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", other_key], check=True)

    with open(PUBLIC_KEY, "rb") as f:
        point = serialization.load_pem_public_key(f.read()).public_bytes(
            serialization.Encoding.X962, serialization.PublicFormat.UncompressedPoint)[1:]
    write(os.path.join(work, "test-key.hex"), point.hex().encode("ascii"))

    good = openssl_sign(PRIVATE_KEY, manifest, work)
    cases = {
        "openssl.sig": base64.b64encode(good) + b"\n",
        "openssl-crlf.sig": base64.b64encode(good) + b"\r\n",
        "openssl-bare.sig": base64.b64encode(good),
        "other-key.sig": base64.b64encode(openssl_sign(other_key, manifest, work)) + b"\n",
        "other-manifest.sig": base64.b64encode(openssl_sign(PRIVATE_KEY, flipped, work)) + b"\n",
        # Numbers outside the curve's range: refused as signatures, not as a failure of CNG.
        "zero.sig": base64.b64encode(bytes(64)) + b"\n",
        "beyond-order.sig": base64.b64encode(b"\xff" * 64) + b"\n",
        # openssl's own DER form, not turned into r||s: another length.
        "der.sig": base64.b64encode(openssl_der(PRIVATE_KEY, manifest, work)) + b"\n",
        "two-lines.sig": base64.b64encode(good[:32]) + b"\n" + base64.b64encode(good[32:]) + b"\n",
    }
    for name, data in cases.items():
        write(os.path.join(work, name), data)
    os.remove(other_key)

    env = dict(os.environ, KAV_SIGNATURE_CASES="Z:" + work.replace("/", "\\"))
    return subprocess.run(command, env=env).returncode


if __name__ == "__main__":
    sys.exit(main())
