#!/usr/bin/env python3
"""Signs a release in a bucket folder with the vendor's release key.

  sign_release.py --key PRIVATE.pem --folder BUCKET_DIR [--prefix 9.5KAvrindelIE]
                  [--passphrase-env NAME] [--allow-missing] [--signature-only]

1. Reads BUCKET_DIR/<prefix>/summary.ini and collects every package it names: base.zip, config.zip,
   fix/<name>.zip for each entry of [fixstamp], quant/<name>.zip for each non-empty entry of
   [quant], and depend.zip when the folder holds one.
2. Replaces the section [sha256] of summary.ini with one line per package: its path below the
   prefix = the SHA-256 of the package file in 64 lower-case hex digits.
3. Writes <prefix>/summary.ini.sig: one line, the standard base64 of the 64-byte signature r||s
   (ECDSA P-256 over the SHA-256 of summary.ini's exact bytes), followed by a line feed.

A named package that is not in the folder, or a name longer than the installer reads (20 bytes),
stops the signing before anything is written (--allow-missing skips missing packages instead).
--signature-only signs summary.ini as it is, without touching [sha256].
Upload summary.ini, summary.ini.sig and the packages together, packages first.
"""

import argparse
import base64
import hashlib
import os
import sys

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature

PREFIX = "9.5KAvrindelIE"
MANIFEST = b"summary.ini"
SIGNATURE_SUFFIX = b".sig"
DIGEST_SECTION = b"sha256"
FIX_SECTION = b"fixstamp"
QUANT_SECTION = b"quant"
FIXED_PACKAGES = (b"base.zip", b"config.zip")
OPTIONAL_PACKAGES = (b"depend.zip",)
# The installer reads package names into 21-byte buffers.
MAX_NAME_BYTES = 20
COORDINATE_BYTES = 32
READ_BLOCK = 1024 * 1024
DEFAULT_PASSPHRASE_ENV = "KAVRINDEL_RELEASE_KEY_PASSPHRASE"
LINE_END = b"\r\n"


class SigningError(Exception):
    pass


def section_name(line):
    """The lower-case name of a section header line, or None."""
    text = line.strip()
    if text.startswith(b"[") and b"]" in text:
        return text[1:text.index(b"]")].strip().lower()
    return None


def section_values(manifest, wanted):
    """The values of every key=value line in the sections named wanted (case-insensitive)."""
    values, current = [], None
    for raw in manifest.split(b"\n"):
        line = raw.rstrip(b"\r")
        name = section_name(line)
        if name is not None:
            current = name
        elif current == wanted and b"=" in line and not line.lstrip().startswith(b";"):
            values.append(line.split(b"=", 1)[1].strip())
    return values


def named_packages(manifest, prefix_dir):
    """Object paths below the prefix of every package the manifest names, in a stable order."""
    paths = list(FIXED_PACKAGES)
    paths += [p for p in OPTIONAL_PACKAGES if os.path.isfile(os.path.join(prefix_dir, p))]
    for section, folder in ((FIX_SECTION, b"fix/"), (QUANT_SECTION, b"quant/")):
        for name in section_values(manifest, section):
            if not name:
                continue
            if len(name) > MAX_NAME_BYTES:
                raise SigningError("[%s] names %r, longer than the %d bytes the installer reads"
                                   % (section.decode(), name, MAX_NAME_BYTES))
            if any(c in name for c in b"/\\") or name in (b".", b".."):
                raise SigningError("[%s] names %r, which is no plain file name" % (section.decode(), name))
            path = folder + name + b".zip"
            if path not in paths:
                paths.append(path)
    return paths


def file_sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(READ_BLOCK), b""):
            digest.update(block)
    return digest.hexdigest()


def with_digests(manifest, digests):
    """The manifest with every [sha256] section dropped and a new one appended."""
    kept, dropping = [], False
    lines = manifest.split(b"\n")
    for i, raw in enumerate(lines):
        name = section_name(raw.rstrip(b"\r"))
        if name is not None:
            dropping = name == DIGEST_SECTION
        if not dropping:
            kept.append(raw + (b"\n" if i < len(lines) - 1 else b""))
    out = b"".join(kept)
    if out and not out.endswith(b"\n"):
        out += LINE_END
    out += b"[" + DIGEST_SECTION + b"]" + LINE_END
    out += b"".join(path + b"=" + hexdigest.encode("ascii") + LINE_END for path, hexdigest in digests)
    return out


def load_private_key(pem, passphrase_env=DEFAULT_PASSPHRASE_ENV):
    try:
        key = serialization.load_pem_private_key(pem, password=None)
    except TypeError:
        passphrase = os.environ.get(passphrase_env, "")
        if not passphrase:
            raise SigningError("the key is encrypted: set its passphrase in %s" % passphrase_env)
        key = serialization.load_pem_private_key(pem, password=passphrase.encode("utf-8"))
    if not isinstance(key, ec.EllipticCurvePrivateKey) or not isinstance(key.curve, ec.SECP256R1):
        raise SigningError("the release key must be an ECDSA key on the P-256 curve")
    return key


def signature_line(key, data):
    """base64 of r||s, each a 32-byte big-endian number, over SHA-256 of data."""
    r, s = decode_dss_signature(key.sign(data, ec.ECDSA(hashes.SHA256())))
    raw = r.to_bytes(COORDINATE_BYTES, "big") + s.to_bytes(COORDINATE_BYTES, "big")
    return base64.b64encode(raw) + b"\n"


def replace_file(path, data):
    """Writes data to path through a temporary file, so that a reader sees the old or the new bytes."""
    temporary = path + b".signing"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


def sign_release(folder, key, prefix=PREFIX, allow_missing=False, signature_only=False):
    """Signs the release under folder/prefix; returns the [sha256] entries written as (path, hex)."""
    prefix_dir = os.path.join(os.fsencode(folder), os.fsencode(prefix))
    manifest_path = os.path.join(prefix_dir, MANIFEST)
    with open(manifest_path, "rb") as f:
        manifest = f.read()
    digests = []
    if not signature_only:
        for path in named_packages(manifest, prefix_dir):
            file_path = os.path.join(prefix_dir, path)
            if not os.path.isfile(file_path):
                if allow_missing:
                    continue
                raise SigningError("summary.ini names %s, which is not in %s" % (os.fsdecode(path), os.fsdecode(prefix_dir)))
            digests.append((path, file_sha256(file_path)))
        manifest = with_digests(manifest, digests)
        replace_file(manifest_path, manifest)
    replace_file(manifest_path + SIGNATURE_SUFFIX, signature_line(key, manifest))
    return digests


def main(argv):
    p = argparse.ArgumentParser(description="Signs a release in a bucket folder.")
    p.add_argument("--key", required=True, help="the release's private key (PEM)")
    p.add_argument("--folder", required=True, help="the bucket folder that holds <prefix>/summary.ini")
    p.add_argument("--prefix", default=PREFIX)
    p.add_argument("--passphrase-env", default=DEFAULT_PASSPHRASE_ENV,
                   help="environment variable with the passphrase of an encrypted key")
    p.add_argument("--allow-missing", action="store_true", help="skip named packages that are not in the folder")
    p.add_argument("--signature-only", action="store_true", help="sign summary.ini as it is")
    args = p.parse_args(argv)
    try:
        with open(args.key, "rb") as f:
            key = load_private_key(f.read(), args.passphrase_env)
        digests = sign_release(args.folder, key, args.prefix, args.allow_missing, args.signature_only)
    except (OSError, ValueError, SigningError) as exc:
        sys.stderr.write("sign_release: %s\n" % exc)
        return 1
    for path, hexdigest in digests:
        print("%s  %s" % (hexdigest, os.fsdecode(path)))
    print("signed %s" % os.path.join(args.folder, args.prefix, "summary.ini"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
