#!/usr/bin/env python3
"""Prints a signed URL (query-string signature, version 1) for one object of the local bucket.

For programs that cannot sign a request themselves, such as curl in a benchmark:

    curl -o /dev/null "$(python3 tools/local-bucket/signed_url.py 9.5KAvrindelIE/base.zip)"

The endpoint, bucket and key pair come from the KAV_BUCKET_* variables that with_bucket.py sets,
or from the options. The key is taken as UTF-8 text, or as hex bytes with --key-hex.
"""

import argparse
import base64
import hashlib
import hmac
import os
import sys
import time
import urllib.parse

DEFAULT_VALIDITY_S = 3600


def signed_url(endpoint, bucket, key_id, key_secret, key, method="GET", validity_s=DEFAULT_VALIDITY_S, now=None):
    expires = int(now if now is not None else time.time()) + validity_s
    text = b"%s\n\n\n%d\n/%s/%s" % (method.encode("ascii"), expires, bucket.encode("ascii"), key)
    signature = base64.b64encode(hmac.new(key_secret.encode("utf-8"), text, hashlib.sha1).digest()).decode("ascii")
    query = urllib.parse.urlencode({"OSSAccessKeyId": key_id, "Expires": str(expires), "Signature": signature})
    return "http://%s/%s/%s?%s" % (endpoint, bucket, urllib.parse.quote_from_bytes(key, safe="/"), query)


def main(argv):
    env = os.environ
    p = argparse.ArgumentParser(description="Prints a signed URL for an object of the local bucket.")
    p.add_argument("key", help="object key (UTF-8 text, or hex bytes with --key-hex)")
    p.add_argument("--key-hex", action="store_true")
    p.add_argument("--method", default="GET", choices=("GET", "HEAD"))
    p.add_argument("--endpoint", default=env.get("KAV_BUCKET_ENDPOINT"))
    p.add_argument("--bucket", default=env.get("KAV_BUCKET_NAME", "kavbucket"))
    p.add_argument("--key-id", default=env.get("KAV_BUCKET_KEY_ID", "LTAI5tKavrindelTestKey01"))
    p.add_argument("--key-secret", default=env.get("KAV_BUCKET_KEY_SECRET", "KavrindelLocalBucketSecret0001"))
    p.add_argument("--validity", type=int, default=DEFAULT_VALIDITY_S, help="seconds the URL stays good")
    args = p.parse_args(argv)
    if not args.endpoint:
        p.error("no --endpoint and no KAV_BUCKET_ENDPOINT")
    try:
        key = bytes.fromhex(args.key) if args.key_hex else args.key.encode("utf-8")
    except ValueError:
        p.error("--key-hex needs hex digits")
    print(signed_url(args.endpoint, args.bucket, args.key_id, args.key_secret, key, args.method, args.validity))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
