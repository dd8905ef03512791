#!/usr/bin/env node
// Recomputes the signature of every request in a local-bucket request log with the storage
// service's official Node.js client (ali-oss's own signing code) and compares it with the
// Authorization header that was sent.
//
//   node check_log.js LOG.jsonl [--expect-valid]
//
// Exit status 0 when, for every signed request, ali-oss and the local bucket agree on whether the
// signature is right (the local bucket's verdict is the log's signature_ok). --expect-valid also
// requires every logged request to carry a right signature (for logs of the installer's client).
'use strict';

const fs = require('fs');
const signUtils = require('ali-oss/lib/common/signUtils');

// Query parameters that carry a query-string signature rather than a sub-resource.
const QUERY_AUTH = new Set(['OSSAccessKeyId', 'Expires', 'Signature', 'security-token']);

function latin1FromHex(hex) {
  return Buffer.from(hex || '', 'hex').toString('latin1');
}

// The parameters part of the signed resource, as ali-oss builds it from a request's sub-resources.
function subresources(query) {
  const out = {};
  if (!query) return out;
  for (const part of query.split('&')) {
    if (!part) continue;
    const eq = part.indexOf('=');
    const name = decodeURIComponent(eq < 0 ? part : part.slice(0, eq));
    if (QUERY_AUTH.has(name)) continue;
    // An empty value ("objectMeta=") is signed as the bare name.
    out[name] = eq < 0 || eq === part.length - 1 ? null : decodeURIComponent(part.slice(eq + 1));
  }
  return out;
}

// ali-oss's verdict on one logged request: {signed, valid, expected, provided, stringToSign}.
function verify(entry, keyId, keySecret) {
  const auth = (entry.headers || {}).authorization;
  if (!auth || !auth.startsWith('OSS ')) return { signed: false, valid: false };
  const sep = auth.lastIndexOf(':');
  const id = auth.slice(4, sep).trim();
  const provided = auth.slice(sep + 1);
  const resource = `/${entry.bucket}/${latin1FromHex(entry.raw_key)}`;
  const headers = entry.headers;
  // ali-oss signs its own date as x-oss-date; a client that sends only Date signs that one.
  const dateLine = headers['x-oss-date'] === undefined ? headers.date || '' : undefined;
  const stringToSign = signUtils.buildCanonicalString(entry.method, resource,
    { headers, parameters: subresources(entry.query) }, dateLine);
  const expected = signUtils.computeSignature(keySecret, stringToSign, 'latin1');
  return { signed: true, valid: id === keyId && expected === provided, expected, provided, stringToSign };
}

function checkLog(path, keyId, keySecret, expectValid) {
  return checkLines(fs.readFileSync(path, 'latin1'), keyId, keySecret, expectValid);
}

// Returns the number of requests on which ali-oss and the local bucket disagree (or, with
// expectValid, that are not signed right).
function checkLines(text, keyId, keySecret, expectValid) {
  const lines = text.split('\n').filter(l => l.trim() !== '');
  let failures = 0;
  let signed = 0;
  for (const line of lines) {
    const entry = JSON.parse(line);
    const v = verify(entry, keyId, keySecret);
    const what = `${entry.method} ${entry.path}${entry.query ? '?' + entry.query : ''}`;
    if (!v.signed) {
      if (expectValid) {
        failures++;
        console.log(`UNSIGNED ${what}`);
      }
      continue;
    }
    signed++;
    const agree = v.valid === Boolean(entry.signature_ok);
    if (!agree || (expectValid && !v.valid)) {
      failures++;
      console.log(`${agree ? 'INVALID' : 'DISAGREE'} ${what}: ali-oss ${v.valid ? 'accepts' : 'refuses'}, ` +
                  `local bucket ${entry.signature_ok ? 'accepted' : 'refused'}; ` +
                  `expected ${v.expected}, sent ${v.provided}; string to sign ${JSON.stringify(v.stringToSign)}`);
    } else {
      console.log(`ok ${v.valid ? 'valid  ' : 'refused'} ${what}`);
    }
  }
  if (expectValid && signed === 0) {
    failures++;
    console.log('the log holds no signed request');
  }
  return failures;
}

module.exports = { verify, checkLog, checkLines };

if (require.main === module) {
  const args = process.argv.slice(2);
  const expectValid = args.includes('--expect-valid');
  const files = args.filter(a => !a.startsWith('--'));
  const keyId = process.env.KAV_BUCKET_KEY_ID || 'LTAI5tKavrindelTestKey01';
  const keySecret = process.env.KAV_BUCKET_KEY_SECRET || 'KavrindelLocalBucketSecret0001';
  if (files.length !== 1) {
    console.error('usage: check_log.js LOG.jsonl [--expect-valid]');
    process.exit(2);
  }
  process.exit(checkLog(files[0], keyId, keySecret, expectValid) === 0 ? 0 : 1);
}
