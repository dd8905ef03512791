#!/usr/bin/env python3
"""Makes a release key pair: ECDSA on the P-256 curve, used over SHA-256.

  make_key_pair.py --private OUT_PRIVATE.pem --public OUT_PUBLIC.pem [--passphrase-env NAME | --unencrypted]

The private key is written as PKCS#8 PEM, encrypted with the passphrase read from the environment
variable NAME (KAVRINDEL_RELEASE_KEY_PASSPHRASE by default), readable only by its owner. The
public key is written as SubjectPublicKeyInfo PEM ("-----BEGIN PUBLIC KEY-----"): the file that
the installer's build setting KAVRINDEL_RELEASE_PUBLIC_KEY names. Existing files are never
overwritten.
"""

import argparse
import os
import sys

from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import ec

DEFAULT_PASSPHRASE_ENV = "KAVRINDEL_RELEASE_KEY_PASSPHRASE"
PRIVATE_FILE_MODE = 0o600
PUBLIC_FILE_MODE = 0o644


def write_new(path, data, mode):
    """Creates path with data; fails when it exists already."""
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)
    with os.fdopen(fd, "wb") as f:
        f.write(data)


def main(argv):
    p = argparse.ArgumentParser(description="Makes an ECDSA P-256 release key pair.")
    p.add_argument("--private", required=True, help="private key file to create (PEM)")
    p.add_argument("--public", required=True, help="public key file to create (PEM)")
    p.add_argument("--passphrase-env", default=DEFAULT_PASSPHRASE_ENV,
                   help="environment variable holding the passphrase that encrypts the private key")
    p.add_argument("--unencrypted", action="store_true",
                   help="write the private key without a passphrase (only for test keys)")
    args = p.parse_args(argv)
    for path in (args.private, args.public):
        if os.path.exists(path):
            p.error("%s exists already; a key is never overwritten" % path)
    if args.unencrypted:
        encryption = serialization.NoEncryption()
    else:
        passphrase = os.environ.get(args.passphrase_env, "")
        if not passphrase:
            p.error("set the passphrase in the environment variable %s (or pass --unencrypted for a test key)"
                    % args.passphrase_env)
        encryption = serialization.BestAvailableEncryption(passphrase.encode("utf-8"))

    key = ec.generate_private_key(ec.SECP256R1())
    private_pem = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8, encryption)
    public_pem = key.public_key().public_bytes(serialization.Encoding.PEM,
                                               serialization.PublicFormat.SubjectPublicKeyInfo)
    write_new(args.private, private_pem, PRIVATE_FILE_MODE)
    write_new(args.public, public_pem, PUBLIC_FILE_MODE)
    print("private key: %s\npublic key:  %s" % (args.private, args.public))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
