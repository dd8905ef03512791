#!/usr/bin/env node
// Proves the local bucket's byte ranges and If-Match against the storage service's official
// Node.js client, ali-oss: ranged gets come back as 206 with Content-Range and the whole object's
// CRC-64, a range beyond the object as 416 InvalidRange, a stale If-Match as 412
// PreconditionFailed; and ali-oss's signing code leaves Range and If-Match out of a version-1
// signature, as the local bucket does.
//
// Runs inside tools/local-bucket/with_bucket.py (it reads the KAV_BUCKET_* variables) and puts
// its own object into the bucket folder. Exit status 0 when every check holds.
'use strict';

const crypto = require('crypto');
const fs = require('fs');
const path = require('path');
const signUtils = require('ali-oss/lib/common/signUtils');
const { checkLines } = require('./check_log');
const peer = require('./peer_run');

const target = peer.localBucket('prove_ranges');
const { endpoint, bucket, keyId, keySecret, root } = target;
const { check, finish } = peer.checks();
const { outcome } = peer;
const raw = (method, urlPath, headers) => peer.raw(target, method, urlPath, headers);

const KEY = '9.5KAvrindelIE/peer/ranged.bin';
const SIZE = 100000;
const DATA = crypto.createHash('sha256').update('ranged').digest().toString('hex').repeat(SIZE / 64 + 1)
  .slice(0, SIZE);
const CONTENT = Buffer.from(DATA, 'latin1');

const describe = r => (r.error ? `${r.error.status} ${r.error.code}` : `${r.status} ${JSON.stringify(r.headers)}`);

async function main() {
  const file = path.join(root, KEY);
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, CONTENT);
  const client = peer.ossClient(target);

  const whole = await outcome(client.get(KEY));
  check('a plain get returns the whole object', whole.status === 200 && Buffer.compare(whole.content, CONTENT) === 0,
    describe(whole));
  const etag = whole.headers.etag;
  const crc = whole.headers['x-oss-hash-crc64ecma'];

  const parts = [
    ['bytes=60000-', 60000, SIZE - 1],
    ['bytes=10-19', 10, 19],
    ['bytes=99990-200000', 99990, SIZE - 1],
    ['bytes=-100', SIZE - 100, SIZE - 1],
  ];
  for (const [range, first, last] of parts) {
    const r = await outcome(client.get(KEY, { headers: { Range: range, 'If-Match': etag } }));
    check(`get with Range ${range} and the object's If-Match is 206 with the part`,
      r.status === 206 && Buffer.compare(r.content, CONTENT.subarray(first, last + 1)) === 0 &&
        r.headers['content-range'] === `bytes ${first}-${last}/${SIZE}` &&
        r.headers['content-length'] === String(last + 1 - first), describe(r));
    check(`the 206 for ${range} carries the whole object's CRC-64 and ETag`,
      r.headers && r.headers['x-oss-hash-crc64ecma'] === crc && r.headers.etag === etag, describe(r));
  }

  let r = await outcome(client.get(KEY, { headers: { Range: `bytes=${SIZE}-` } }));
  check('a range that starts at the end is 416 InvalidRange',
    r.error && r.error.status === 416 && r.error.code === 'InvalidRange' && /^[0-9A-F]{24}$/.test(r.error.requestId),
    describe(r));
  r = await outcome(client.get(KEY, { headers: { Range: 'bytes=0-', 'If-Match': '"0123456789ABCDEF0123456789ABCDEF"' } }));
  check('a stale If-Match is 412 PreconditionFailed', r.error && r.error.status === 412 &&
    r.error.code === 'PreconditionFailed', describe(r));
  r = await outcome(client.getObjectMeta(KEY));
  check('the object meta names the same CRC-64', r.status === 200 && r.headers['x-oss-hash-crc64ecma'] === crc,
    describe(r));

  // A version-1 signature covers neither header: ali-oss builds the same string to sign with or
  // without them, and the local bucket accepts a request signed without them but sent with them.
  const date = new Date().toUTCString();
  const resource = `/${bucket}/${KEY}`;
  const plain = signUtils.buildCanonicalString('GET', resource, { headers: {} }, date);
  const withHeaders = signUtils.buildCanonicalString('GET', resource,
    { headers: { Range: 'bytes=5-', 'If-Match': etag } }, date);
  check('ali-oss leaves Range and If-Match out of the string to sign', plain === withHeaders,
    JSON.stringify(withHeaders));
  const authorization = signUtils.authorization(keyId, keySecret, plain, 'utf-8');
  const x = await raw('GET', `/${bucket}/${KEY}`,
    { Date: date, Authorization: authorization, Host: endpoint, Range: 'bytes=5-', 'If-Match': etag });
  check('the local bucket accepts that signature on a ranged, conditional request',
    x.status === 206 && Buffer.compare(x.body, CONTENT.subarray(5)) === 0, x.status);

  // Every request of this run, judged again by ali-oss's algorithm from the request log.
  const log = await raw('GET', '/_kav_control/log', { Host: endpoint });
  const text = log.body.toString('latin1');
  const entries = text.split('\n').filter(l => l).map(l => JSON.parse(l));
  check('the log records each request\'s Range and If-Match',
    entries.filter(e => e.range !== null).length === parts.length + 3 &&
      entries.filter(e => e.if_match === etag).length === parts.length + 1, text);
  check('ali-oss and the local bucket agree on every logged request', checkLines(text, keyId, keySecret, true) === 0);

  finish();
}

peer.run(main);
