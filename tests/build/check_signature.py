#!/usr/bin/env python3
"""Checks the built installer's Authenticode signature: it verifies against the given root, it is
SHA-256, its signer is the certificate of the PFX the build signed with, any one changed byte of
the signed file breaks it, and the PFX's password appears in none of the build's commands."""
import argparse
import os
import shutil
import sys
import tempfile

import authenticode


def spoilt_copies(exe, folder):
    """(what, path) of copies of exe with one byte changed, in the code, the data, the packed
    artwork, the header and the signature itself."""
    data = open(exe, "rb").read()
    sections = authenticode.sections(data)
    table_offset, table_size = authenticode.certificate_table(data)
    pe = int.from_bytes(data[0x3C:0x40], "little")
    places = [("first code byte", sections[".text"][0]),
              ("middle of .rdata", sections[".rdata"][0] + sections[".rdata"][1] // 2),
              ("middle of the resources", sections[".rsrc"][0] + sections[".rsrc"][1] // 2),
              ("header time stamp", pe + 8),
              ("middle of the signature", table_offset + table_size // 2)]
    for what, offset in places:
        spoilt = bytearray(data)
        spoilt[offset] ^= 0x01
        path = os.path.join(folder, what.replace(" ", "_") + ".exe")
        with open(path, "wb") as f:
            f.write(spoilt)
        yield what, path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--osslsigncode", required=True)
    parser.add_argument("--openssl", required=True)
    parser.add_argument("--ca-file", default="", help="trusted roots; empty: the system's")
    parser.add_argument("--pfx", required=True)
    parser.add_argument("--password-file", default="")
    parser.add_argument("--expect-subject", default="", help="the configured signer subject, if known")
    parser.add_argument("--build-commands", default="", help="the build tool's file of commands")
    parser.add_argument("exe")
    args = parser.parse_args()
    failures = []

    passed, output = authenticode.verify(args.osslsigncode, args.exe, args.ca_file)
    if not passed:
        failures.append(f"the signature does not verify:\n{output}")
    if "Message digest algorithm  : SHA256" not in output:
        failures.append("the signature's digest is not SHA-256")
    subject = authenticode.signer_subject(output)
    wanted = authenticode.pfx_subject(args.openssl, args.pfx, args.password_file)
    if subject != wanted:
        failures.append(f"signed by {subject!r}, not by the PFX's certificate {wanted!r}")
    if args.expect_subject and subject != args.expect_subject:
        failures.append(f"signed by {subject!r}, not by the configured {args.expect_subject!r}")

    if args.build_commands and args.password_file:
        password = open(args.password_file, encoding="utf-8").readline().rstrip("\r\n")
        if password and password in open(args.build_commands, encoding="utf-8", errors="replace").read():
            failures.append(f"the PFX's password is written in {args.build_commands}")

    folder = tempfile.mkdtemp(prefix="kavrindel-signature-")
    try:
        for what, path in spoilt_copies(args.exe, folder):
            if authenticode.verify(args.osslsigncode, path, args.ca_file)[0]:
                failures.append(f"still verifies with one byte changed ({what})")
    finally:
        shutil.rmtree(folder)

    for f in failures:
        print("FAIL:", f)
    print(f"signer: {subject}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
