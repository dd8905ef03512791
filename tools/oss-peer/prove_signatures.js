#!/usr/bin/env node
// Proves the local bucket's signature check against the storage service's official Node.js
// client, ali-oss: requests that ali-oss signs are accepted, tampered ones are refused with
// 403 SignatureDoesNotMatch, and on every request of the run ali-oss's own algorithm and the
// local bucket come to the same verdict.
//
// Runs inside tools/local-bucket/with_bucket.py (it reads the KAV_BUCKET_* variables) and puts
// its own objects into the bucket folder. Exit status 0 when every check holds.
'use strict';

const fs = require('fs');
const path = require('path');
const signUtils = require('ali-oss/lib/common/signUtils');
const { checkLines } = require('./check_log');
const peer = require('./peer_run');

const target = peer.localBucket('prove_signatures');
const { endpoint, port, bucket, keyId, keySecret, root } = target;
const control = peer.requireEnv('prove_signatures', 'KAV_BUCKET_CONTROL');
const { check, finish } = peer.checks();
const { outcome } = peer;
const client = (options = {}) => peer.ossClient(target, options);
const raw = (method, urlPath, headers) => peer.raw(target, method, urlPath, headers);

const CHECK = '9.5KAvrindelIE/peer/check.txt';
const SPACED = '9.5KAvrindelIE/peer/name with space+plus&more.zip';
const CHINESE = '9.5KAvrindelIE/peer/安装包.ini';
const MISSING = '9.5KAvrindelIE/peer/missing.zip';
const CONTENT = {
  [CHECK]: Buffer.from('123456789'),
  [SPACED]: Buffer.from('spaced name'),
  [CHINESE]: Buffer.from('[cfgstamp]\r\ntime=42\r\n'),
};
const CHECK_CRC = '11051210869376104954';

function xmlCode(body) {
  const m = /<Code>([^<]*)<\/Code>/.exec(body.toString('utf8'));
  return m ? m[1] : null;
}

function encodeKey(key) {
  return key.split('/').map(encodeURIComponent).join('/');
}

// A path-style request signed with ali-oss's signing code, the way the installer's client sends
// it: a Date header, no x-oss-date. `tamper` changes the request after signing.
async function signedPathStyle(method, key, { subres, secret = keySecret, tamper = {} } = {}) {
  const date = new Date().toUTCString();
  const resource = `/${bucket}/${key}`;
  const stringToSign = signUtils.buildCanonicalString(method, resource, { headers: {}, parameters: subres }, date);
  const authorization = signUtils.authorization(keyId, secret, stringToSign, 'utf-8');
  const sentKey = tamper.key || key;
  const query = tamper.subres !== undefined ? tamper.subres : subres;
  const urlPath = `/${bucket}/${encodeKey(sentKey)}${query ? '?' + Object.keys(query).join('&') : ''}`;
  const sentDate = tamper.date ? new Date(Date.parse(date) + 1000).toUTCString() : date;
  return raw(method, urlPath, { Date: sentDate, Authorization: authorization, Host: endpoint });
}

async function main() {
  for (const [key, data] of Object.entries(CONTENT)) {
    const file = path.join(root, key);
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, data);
  }
  const good = client();

  // ali-oss's own calls (for an IP endpoint it addresses the bucket through the Host header).
  let r = await outcome(good.getObjectMeta(CHECK));
  check('getObjectMeta (HEAD ?objectMeta) is accepted', r.status === 200, r.error || r.status);
  check('getObjectMeta carries the CRC-64 and the length',
    r.headers && r.headers['x-oss-hash-crc64ecma'] === CHECK_CRC && r.headers['content-length'] === '9',
    r.headers && JSON.stringify(r.headers));
  r = await outcome(good.head(CHECK));
  check('head is accepted', r.status === 200 && /^"[0-9A-F]{32}"$/.test(r.headers.etag), r.error || r.status);
  for (const key of [CHECK, SPACED, CHINESE]) {
    r = await outcome(good.get(key));
    check(`get ${key} is accepted and returns the object`,
      r.status === 200 && Buffer.compare(r.content, CONTENT[key]) === 0, r.error || r.status);
  }
  r = await outcome(good.get(MISSING));
  check('get of a missing key gives NoSuchKey with a request id',
    r.error && r.error.status === 404 && r.error.code === 'NoSuchKey' && /^[0-9A-F]{24}$/.test(r.error.requestId),
    r.error ? `${r.error.status} ${r.error.code} ${r.error.requestId}` : r.status);
  r = await outcome(good.getObjectMeta(MISSING));
  check('getObjectMeta of a missing key gives 404', r.error && r.error.status === 404, r.error || r.status);

  const wrongSecret = client({ accessKeySecret: keySecret.slice(0, -1) + 'X' });
  r = await outcome(wrongSecret.get(CHECK));
  check('get signed with a wrong secret is refused with SignatureDoesNotMatch',
    r.error && r.error.status === 403 && r.error.code === 'SignatureDoesNotMatch', r.error ? r.error.code : r.status);
  r = await outcome(wrongSecret.getObjectMeta(CHECK));
  check('getObjectMeta signed with a wrong secret is refused', r.error && r.error.status === 403, r.error || r.status);
  r = await outcome(client({ accessKeyId: 'LTAI5tSomebodyElsesKey99' }).get(CHECK));
  check('an unknown key id is refused with InvalidAccessKeyId',
    r.error && r.error.status === 403 && r.error.code === 'InvalidAccessKeyId', r.error ? r.error.code : r.status);

  // Path-style requests with a Date header, signed by ali-oss's signing code.
  const meta = { objectMeta: null };
  let x = await signedPathStyle('HEAD', CHECK, { subres: meta });
  check('path-style HEAD ?objectMeta is accepted', x.status === 200 && x.headers['x-oss-hash-crc64ecma'] === CHECK_CRC,
    x.status);
  x = await signedPathStyle('GET', CHECK);
  check('path-style GET is accepted', x.status === 200 && x.body.toString() === '123456789', x.status);
  x = await signedPathStyle('GET', CHINESE);
  check('path-style GET of a UTF-8 name is accepted', x.status === 200, x.status);
  const tampered = [
    ['a modified Date', 'GET', CHECK, { tamper: { date: true } }],
    ['a modified path', 'GET', CHECK, { tamper: { key: SPACED } }],
    ['a wrong secret', 'GET', CHECK, { secret: 'KavrindelLocalBucketSecret0002' }],
    ['objectMeta sent but not signed', 'HEAD', CHECK, { tamper: { subres: meta } }],
    ['objectMeta signed but not sent', 'HEAD', CHECK, { subres: meta, tamper: { subres: null } }],
  ];
  for (const [name, method, key, opts] of tampered) {
    x = await signedPathStyle(method, key, opts);
    const code = method === 'GET' ? xmlCode(x.body) : 'SignatureDoesNotMatch';
    check(`path-style ${method} with ${name} is refused with SignatureDoesNotMatch`,
      x.status === 403 && code === 'SignatureDoesNotMatch', `${x.status} ${code}`);
  }

  // ali-oss's signed URL (query-string signature), path-style.
  // ali-oss makes no signed URL for an IP endpoint: name the loopback host, send to the IP.
  const url = new URL(client({ endpoint: `http://localhost:${port}`, sldEnable: true }).signatureUrl(CHECK, { expires: 300 }));
  x = await raw('GET', url.pathname + url.search, { Host: endpoint });
  check('a signed URL is accepted', x.status === 200 && x.body.toString() === '123456789', `${x.status} ${url}`);
  url.searchParams.set('Expires', String(Number(url.searchParams.get('Expires')) + 1));
  x = await raw('GET', url.pathname + url.search, { Host: endpoint });
  check('a signed URL with a modified expiry is refused', x.status === 403 && xmlCode(x.body) === 'SignatureDoesNotMatch',
    x.status);

  // Every request of this run, judged again by ali-oss's algorithm from the request log.
  const log = await raw('GET', '/_kav_control/log', { Host: endpoint });
  check('the request log is served', log.status === 200 && control.endsWith('/_kav_control'), log.status);
  const text = log.body.toString('latin1');
  const entries = text.split('\n').filter(l => l);
  const accepted = entries.filter(l => JSON.parse(l).signature_ok).length;
  check('the log holds accepted and refused requests', accepted >= 8 && entries.length - accepted >= 8,
    `${accepted} accepted of ${entries.length}`);
  check('ali-oss and the local bucket agree on every logged request', checkLines(text, keyId, keySecret, false) === 0);

  finish();
}

peer.run(main);
