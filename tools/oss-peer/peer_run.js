// What the proofs against ali-oss share: the local bucket's settings from the environment that
// tools/local-bucket/with_bucket.py sets, an ali-oss client on it, plain HTTP requests to it, and
// the "ok"/"not ok" lines with the exit status they add up to.
'use strict';

const http = require('http');
const OSS = require('ali-oss');

// The KAV_BUCKET_* variable `name`; ends the script (status 2) when it is not set.
function requireEnv(script, name) {
  const value = process.env[name];
  if (!value) {
    console.error(`${script}: ${name} is not set (run through with_bucket.py)`);
    process.exit(2);
  }
  return value;
}

// The bucket the script runs against: {endpoint, host, port, bucket, keyId, keySecret, root}.
function localBucket(script) {
  const endpoint = requireEnv(script, 'KAV_BUCKET_ENDPOINT');
  const [host, port] = endpoint.split(':');
  return {
    endpoint,
    host,
    port: Number(port),
    bucket: requireEnv(script, 'KAV_BUCKET_NAME'),
    keyId: requireEnv(script, 'KAV_BUCKET_KEY_ID'),
    keySecret: requireEnv(script, 'KAV_BUCKET_KEY_SECRET'),
    root: requireEnv(script, 'KAV_BUCKET_ROOT_UNIX'),
  };
}

// An ali-oss client on the bucket that makes one attempt per call; `options` override.
function ossClient(target, options = {}) {
  return new OSS({
    endpoint: `http://${target.endpoint}`,
    bucket: target.bucket,
    accessKeyId: target.keyId,
    accessKeySecret: target.keySecret,
    timeout: 10000,
    retryMax: 0,
    ...options,
  });
}

// The outcome of an ali-oss call: {status, headers, content} or {error}.
async function outcome(promise) {
  try {
    const r = await promise;
    return { status: r.res.status, headers: r.res.headers, content: r.content };
  } catch (error) {
    return { error };
  }
}

// One HTTP request exactly as given (no client of its own adds or signs anything):
// {status, headers, body}.
function raw(target, method, urlPath, headers) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: target.host, port: target.port, method, path: urlPath, headers, agent: false },
      res => {
        const chunks = [];
        res.on('data', c => chunks.push(c));
        res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks) }));
      });
    req.on('error', reject);
    req.end();
  });
}

// Prints one line per check; finish() prints the summary and ends the process with 0 when every
// check held.
function checks() {
  let failures = 0;
  return {
    check(name, condition, detail) {
      if (condition) {
        console.log(`ok - ${name}`);
      } else {
        failures++;
        console.log(`not ok - ${name}${detail === undefined ? '' : ': ' + detail}`);
      }
    },
    finish() {
      console.log(failures === 0 ? 'all checks passed' : `${failures} checks failed`);
      process.exit(failures === 0 ? 0 : 1);
    },
  };
}

// Runs the script's main function; an exception ends the process with status 1.
function run(main) {
  main().catch(e => {
    console.error(e);
    process.exit(1);
  });
}

module.exports = { requireEnv, localBucket, ossClient, outcome, raw, checks, run };
