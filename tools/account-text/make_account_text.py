#!/usr/bin/env python3
"""Turns a storage key pair into the installer's stored account text, and back.

The installer never stores its key pair whole. It keeps one text of 57 characters and a list of 30
positions; at run time it drops the 2nd, 3rd and 4th characters of the text, then walks the 54
that remain: a character at one of the 30 positions goes to the key secret, every other one to
the key id (both in order). This script makes such a text from a key id (24 characters) and a
secret (30 characters) with seeded random positions and filler, so its output is the same for the
same seed.

  make_account_text.py [--key-id ID --key-secret SECRET] [--seed N] [--cmake-args]
      prints  ACCOUNT_TEXT=<57 characters>
              SECRET_POSITIONS=<30 comma-separated 0-based positions within the 54>
      (--cmake-args prints the two -D options for the installer's configure step instead)
  make_account_text.py --decode --account-text TEXT --positions LIST
      prints  KEY_ID=...  and  KEY_SECRET=...

Without a key pair it encodes the local bucket's test account.
"""

import argparse
import random
import shlex
import string
import sys

KEY_ID_LENGTH = 24
KEY_SECRET_LENGTH = 30
TEXT_LENGTH = 57
KEPT_LENGTH = 54
# 0-based indices of the three characters the installer drops (the 2nd to the 4th).
DROPPED = (1, 2, 3)
DEFAULT_SEED = 201805
DEFAULT_KEY_ID = "LTAI5tKavrindelTestKey01"
DEFAULT_KEY_SECRET = "KavrindelLocalBucketSecret0001"
# Characters that would break the CMake cache entry or the generated C++ string literal.
FORBIDDEN = set('"\\;$`')
FILLER = string.ascii_letters + string.digits


class AccountError(ValueError):
    pass


def check_characters(what, text):
    for c in text:
        if not ("!" <= c <= "~") or c in FORBIDDEN:
            raise AccountError("%s holds %r; only printable ASCII without %s is allowed"
                               % (what, c, " ".join(sorted(FORBIDDEN))))


def encode(key_id, key_secret, seed=DEFAULT_SEED):
    """(57-character text, sorted list of 30 positions within the 54 kept characters)."""
    if len(key_id) != KEY_ID_LENGTH:
        raise AccountError("the key id has %d characters, not %d" % (len(key_id), KEY_ID_LENGTH))
    if len(key_secret) != KEY_SECRET_LENGTH:
        raise AccountError("the key secret has %d characters, not %d" % (len(key_secret), KEY_SECRET_LENGTH))
    check_characters("the key id", key_id)
    check_characters("the key secret", key_secret)
    rng = random.Random(seed)
    positions = sorted(rng.sample(range(KEPT_LENGTH), KEY_SECRET_LENGTH))
    chosen = set(positions)
    ids, secrets = iter(key_id), iter(key_secret)
    kept = "".join(next(secrets) if i in chosen else next(ids) for i in range(KEPT_LENGTH))
    filler = "".join(rng.choice(FILLER) for _ in DROPPED)
    text = kept[:DROPPED[0]] + filler + kept[DROPPED[0]:]
    return text, positions


def parse_positions(text):
    try:
        positions = [int(p) for p in text.split(",")]
    except ValueError:
        raise AccountError("the positions must be comma-separated numbers")
    if len(positions) != KEY_SECRET_LENGTH or len(set(positions)) != KEY_SECRET_LENGTH:
        raise AccountError("give %d different positions" % KEY_SECRET_LENGTH)
    if any(not 0 <= p < KEPT_LENGTH for p in positions):
        raise AccountError("positions lie within 0..%d" % (KEPT_LENGTH - 1))
    return positions


def decode(text, positions):
    """The installer's assembly: (key id, key secret) from the stored text and the positions."""
    if len(text) != TEXT_LENGTH:
        raise AccountError("the account text has %d characters, not %d" % (len(text), TEXT_LENGTH))
    kept = "".join(c for i, c in enumerate(text) if i not in DROPPED)
    chosen = set(positions)
    key_id = "".join(c for i, c in enumerate(kept) if i not in chosen)
    key_secret = "".join(c for i, c in enumerate(kept) if i in chosen)
    return key_id, key_secret


def main(argv):
    p = argparse.ArgumentParser(description="Makes the installer's stored account text from a key pair.")
    p.add_argument("--key-id", default=DEFAULT_KEY_ID)
    p.add_argument("--key-secret", default=DEFAULT_KEY_SECRET)
    p.add_argument("--seed", type=int, default=DEFAULT_SEED, help="seed of the positions and the filler")
    p.add_argument("--cmake-args", action="store_true", help="print -D options for the configure step")
    p.add_argument("--decode", action="store_true", help="turn --account-text and --positions back into the pair")
    p.add_argument("--account-text")
    p.add_argument("--positions")
    args = p.parse_args(argv)
    try:
        if args.decode:
            if args.account_text is None or args.positions is None:
                raise AccountError("--decode needs --account-text and --positions")
            key_id, key_secret = decode(args.account_text, parse_positions(args.positions))
            print("KEY_ID=" + key_id)
            print("KEY_SECRET=" + key_secret)
            return 0
        text, positions = encode(args.key_id, args.key_secret, args.seed)
    except AccountError as exc:
        p.error(str(exc))
    listing = ",".join(str(i) for i in positions)
    if args.cmake_args:
        print("%s %s" % (shlex.quote("-DKAVRINDEL_OSS_ACCOUNT_TEXT=" + text),
                         shlex.quote("-DKAVRINDEL_OSS_SECRET_POSITIONS=" + listing)))
    else:
        print("ACCOUNT_TEXT=" + text)
        print("SECRET_POSITIONS=" + listing)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
