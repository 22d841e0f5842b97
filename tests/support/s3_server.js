// A local S3 server for the tests: s3rver (from the npm cache the test setup fills) on
// 127.0.0.1, a free port, one bucket, serving a data folder. Prints "PORT <n>" once it
// listens and ends when its standard input closes.
//
// s3rver checks only that a V4 request names a known access key, not its signature; a
// client that signs wrongly (or with a wrong secret) would pass. So every V4 request is
// checked here first, as a real service checks it, against the one secret.
//
// s3rver answers no AbortMultipartUpload: here an abort that names an open upload of its
// key drops the upload's parts, as a service does, and appends "ABORT <key>" to the
// record file. `--fail-part N` answers 500 to the Nth UploadPart request.
//
//   node s3_server.js --modules DIR --directory DIR --bucket NAME --secret SECRET
//                     --record FILE [--fail-part N]
'use strict';

const crypto = require('crypto');
const fs = require('fs');
const path = require('path');

const options = {};
for (let i = 2; i + 1 < process.argv.length; i += 2) {
  options[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
}
// s3rver wraps its continuation tokens with DES, which OpenSSL 3 no longer offers: every
// truncated listing would fail. The token only has to come back unchanged, so "DES" here
// passes the text through.
for (const name of ['createCipheriv', 'createDecipheriv']) {
  const original = crypto[name];
  crypto[name] = (algorithm, ...rest) =>
    algorithm === 'des'
      ? { update: (data, encoding) => Buffer.from(data, encoding), final: () => Buffer.alloc(0) }
      : original(algorithm, ...rest);
}
const S3rver = require(path.join(options.modules, 's3rver'));
const S3Error = require(path.join(options.modules, 's3rver/lib/models/error'));

const hmac = (key, text) => crypto.createHmac('sha256', key).update(text).digest();
const sha256 = text => crypto.createHash('sha256').update(text).digest('hex');
const encode = text =>
  encodeURIComponent(text).replace(/[!'()*]/g, c => '%' + c.charCodeAt(0).toString(16).toUpperCase());

// The canonical form of a query: each name and value encoded, sorted by name.
function canonicalQuery(raw) {
  if (!raw) return '';
  return raw
    .split('&')
    .filter(Boolean)
    .map(pair => {
      const at = pair.indexOf('=');
      const name = decodeURIComponent(at < 0 ? pair : pair.slice(0, at));
      const value = at < 0 ? '' : decodeURIComponent(pair.slice(at + 1).replace(/\+/g, '%20'));
      return [encode(name), encode(value)];
    })
    .sort((a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : a[1] < b[1] ? -1 : 1))
    .map(([name, value]) => name + '=' + value)
    .join('&');
}

function checkSignature(ctx, next) {
  const header = ctx.get('authorization');
  const match = /^AWS4-HMAC-SHA256 Credential=([^/]+)\/(\d{8})\/([^/]+)\/([^/]+)\/aws4_request, ?SignedHeaders=([^,]+), ?Signature=([0-9a-f]{64})$/.exec(header);
  if (!match || match[1] !== 'S3RVER') {
    return next(); // no V4 header, or a key s3rver refuses by itself
  }
  const [, key, day, region, service, signedHeaders, signature] = match;
  const [rawPath, rawQuery] = ctx.req.url.split('?');
  const canonicalPath = rawPath
    .split('/')
    .map(segment => encode(decodeURIComponent(segment)))
    .join('/');
  const headers = signedHeaders
    .split(';')
    .map(name => name + ':' + ctx.get(name).trim().replace(/\s+/g, ' ') + '\n')
    .join('');
  const request = [ctx.method, canonicalPath, canonicalQuery(rawQuery), headers, signedHeaders,
                   ctx.get('x-amz-content-sha256')].join('\n');
  const scope = [day, region, service, 'aws4_request'].join('/');
  const toSign = ['AWS4-HMAC-SHA256', ctx.get('x-amz-date'), scope, sha256(request)].join('\n');
  let signingKey = hmac('AWS4' + options.secret, day);
  for (const part of [region, service, 'aws4_request']) signingKey = hmac(signingKey, part);
  if (hmac(signingKey, toSign).toString('hex') !== signature) {
    throw new S3Error(
      'SignatureDoesNotMatch',
      'The request signature we calculated does not match the signature you provided. ' +
        'Check your key and signing method.',
      { AWSAccessKeyId: key },
    );
  }
  return next();
}

let partRequests = 0;

// Where s3rver keeps the parts of the open upload `id` (its key in the file "key").
const uploadFolder = id =>
  path.join(options.directory, options.bucket, '._S3rver_uploads', id);

async function failPartAndAbort(ctx, next) {
  const [rawPath, rawQuery] = ctx.req.url.split('?');
  const query = new URLSearchParams(rawQuery || '');
  if (ctx.method === 'PUT' && query.has('uploadId') && query.has('partNumber')) {
    partRequests += 1;
    if (partRequests === Number(options['fail-part'])) {
      for await (const chunk of ctx.req); // the client hears the answer after its part
      throw new S3Error('InternalError', 'We encountered an internal error. Please try again.');
    }
  }
  if (ctx.method !== 'DELETE' || !query.has('uploadId')) {
    return next();
  }
  const key = rawPath.split('/').slice(2).map(decodeURIComponent).join('/');
  const id = query.get('uploadId');
  const folder = uploadFolder(id);
  if (!/^[\w-]+$/.test(id) || !fs.existsSync(folder) ||
      fs.readFileSync(path.join(folder, 'key'), 'utf8') !== key) {
    throw new S3Error('NoSuchUpload', 'The specified upload does not exist.', { UploadId: id });
  }
  fs.rmSync(folder, { recursive: true });
  fs.appendFileSync(options.record, 'ABORT ' + key + '\n');
  ctx.status = 204;
}

const server = new S3rver({
  address: '127.0.0.1',
  port: 0,
  silent: true,
  directory: options.directory,
  configureBuckets: [{ name: options.bucket, configs: [] }],
});
server.middleware.unshift(checkSignature, failPartAndAbort);
server.run().then(
  address => process.stdout.write('PORT ' + address.port + '\n'),
  error => {
    process.stderr.write(String(error) + '\n');
    process.exit(1);
  },
);
process.stdin.on('end', () => process.exit(0));
process.stdin.resume();
