#!/usr/bin/env python3
"""The account-text script: its text is what the installer's assembly rule turns back into the pair."""

import os
import random
import string
import subprocess
import sys
import unittest

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(SOURCE_DIR, "tools", "account-text", "make_account_text.py")


def run(*args):
    result = subprocess.run([sys.executable, SCRIPT] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)
    values = dict(line.split("=", 1) for line in result.stdout.splitlines() if "=" in line)
    return result.returncode, values, result.stderr


def assemble(text, positions):
    """The installer's rule, written out again: drop characters 2 to 4, then split by position."""
    kept = text[:1] + text[4:]
    key_id = "".join(c for i, c in enumerate(kept) if i not in positions)
    secret = "".join(c for i, c in enumerate(kept) if i in positions)
    return key_id, secret


class AccountTextTest(unittest.TestCase):
    def test_encoded_text_assembles_back_into_the_pair(self):
        rng = random.Random(11)
        alphabet = string.ascii_letters + string.digits + "+/=_-.!"
        cases = [("LTAI5tKavrindelTestKey01", "KavrindelLocalBucketSecret0001", None)]
        for seed in (1, 2, 99999):
            cases.append(("".join(rng.choice(alphabet) for _ in range(24)),
                          "".join(rng.choice(alphabet) for _ in range(30)), seed))
        cases.append(("A" * 24, "A" * 30, 5))  # same letters everywhere: positions still decide
        for key_id, secret, seed in cases:
            with self.subTest(key_id=key_id, seed=seed):
                args = ["--key-id", key_id, "--key-secret", secret] + (["--seed", str(seed)] if seed else [])
                code, out, err = run(*args)
                self.assertEqual(code, 0, err)
                text = out["ACCOUNT_TEXT"]
                positions = [int(p) for p in out["SECRET_POSITIONS"].split(",")]
                self.assertEqual(len(text), 57)
                self.assertEqual(len(set(positions)), 30)
                self.assertTrue(all(0 <= p < 54 for p in positions))
                self.assertEqual(assemble(text, set(positions)), (key_id, secret))
                code, back, err = run("--decode", "--account-text", text, "--positions", out["SECRET_POSITIONS"])
                self.assertEqual(code, 0, err)
                self.assertEqual((back["KEY_ID"], back["KEY_SECRET"]), (key_id, secret))

    def test_output_depends_only_on_the_seed(self):
        first = run()[1]
        self.assertEqual(run()[1], first)
        self.assertEqual(run("--key-id", "LTAI5tKavrindelTestKey01", "--key-secret",
                             "KavrindelLocalBucketSecret0001")[1], first)
        other = run("--seed", "7")[1]
        self.assertNotEqual(other["SECRET_POSITIONS"], first["SECRET_POSITIONS"])

    def test_cmake_arguments(self):
        out = subprocess.run([sys.executable, SCRIPT, "--cmake-args"], stdout=subprocess.PIPE, text=True).stdout
        plain = run()[1]
        self.assertEqual(out.split(), ["-DKAVRINDEL_OSS_ACCOUNT_TEXT=" + plain["ACCOUNT_TEXT"],
                                       "-DKAVRINDEL_OSS_SECRET_POSITIONS=" + plain["SECRET_POSITIONS"]])

    def test_bad_input_is_refused(self):
        good_id, good_secret = "LTAI5tKavrindelTestKey01", "KavrindelLocalBucketSecret0001"
        text = run()[1]["ACCOUNT_TEXT"]
        positions = run()[1]["SECRET_POSITIONS"]
        cases = [
            ("key id of 23", ["--key-id", good_id[:-1], "--key-secret", good_secret]),
            ("key id of 25", ["--key-id", good_id + "x", "--key-secret", good_secret]),
            ("secret of 29", ["--key-id", good_id, "--key-secret", good_secret[:-1]]),
            ("secret of 31", ["--key-id", good_id, "--key-secret", good_secret + "x"]),
            ("semicolon", ["--key-id", good_id[:-1] + ";", "--key-secret", good_secret]),
            ("quote", ["--key-id", good_id, "--key-secret", good_secret[:-1] + '"']),
            ("space", ["--key-id", good_id, "--key-secret", good_secret[:-1] + " "]),
            ("non-ASCII", ["--key-id", good_id[:-1] + "é", "--key-secret", good_secret]),
            ("decode without positions", ["--decode", "--account-text", text]),
            ("decode a text of 56", ["--decode", "--account-text", text[:-1], "--positions", positions]),
            ("decode 29 positions", ["--decode", "--account-text", text, "--positions", positions.rsplit(",", 1)[0]]),
            ("decode a repeated position", ["--decode", "--account-text", text,
                                            "--positions", positions.rsplit(",", 1)[0] + ",0"]),
            ("decode position 54", ["--decode", "--account-text", text,
                                    "--positions", positions.rsplit(",", 1)[0] + ",54"]),
            ("decode non-numbers", ["--decode", "--account-text", text, "--positions", "a" + positions[1:]]),
        ]
        for name, args in cases:
            with self.subTest(name):
                code, out, err = run(*args)
                self.assertEqual(code, 2)
                self.assertEqual(out, {})
                self.assertIn("error", err)


if __name__ == "__main__":
    unittest.main()
