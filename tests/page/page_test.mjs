// The page's own cases, in a headless browser: several files at once with
// one failing, "Download all" unpacked, the table of what changed, a line
// too long for memory, a file of over 100 MB, and no request beyond the
// page's own file and blobs.
//   node page_test.mjs PAGE chromium|firefox
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {mkdtempSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';

import {networkRequests, openPage, shown} from './browser.mjs';

const [pagePath, browserName] = process.argv.slice(2);
const {page, requests, errors, download, convert, close} = await openPage(pagePath, browserName);
const crlf = (...lines) => Buffer.from(lines.map((line) => `${line}\r\n`).join(''));

// Every kind of line the rules change, and two they leave.
const everyKind = {
  name: 'every kind.kvr',
  bytes: crlf('1000-4=XAAR128', '4162-4=12.9', '9040-1=True', '4162-5=-7', '1000-4=NOPE',
              '4162-6=100', '2000-1=x'),
};
const missingBreak = {name: 'no break.kvr', bytes: Buffer.from('1000-4=XAAR128\r\n4162-1=5')};
const plain = {name: 'plain.kvr', bytes: crlf('2000-1=x')};

// Several files at once, one failing: each ends as it would alone.
const items = await convert([everyKind, missingBreak, plain]);
const [kinds, broken, untouched] = await Promise.all(items.map(shown));
assert.equal(kinds.converted, true);
assert.equal(kinds.console, '\nConverting every kind.kvr -> every kind.kvr.\n' +
             'Detecting head type: XAAR128\nError: Headtype not found - Xaar500 value is used..\n' +
             'Conversion Complete.\n');
assert.match(kinds.outcome, /^Converted\. Worth a look: its head type "NOPE" is not known/);
assert.deepEqual(kinds.rows, [
  ['2', '4162-4=12.9', '4172-4=23'],
  ['3', '9040-1=True', '9040-1=False'],
  ['4', '4162-5=-7', '4172-5=-14'],
  ['6', '4162-6=100', '4172-6=188'],
]);
assert.equal(broken.converted, false);
assert.equal(broken.outcome,
             'Failed: Error: Wrong Format (line 2: the file ends without a line break) No copy was made.');
assert.equal(broken.link, false);
assert.equal(untouched.converted, true);
assert.match(untouched.outcome, /it names no head type: the Xaar500 factor was used\. .*no line was changed: /);

const kindsCopy = crlf('1000-4=XAAR128', '4172-4=23', '9040-1=False', '4172-5=-14', '1000-4=NOPE',
                       '4172-6=188', '2000-1=x');
const kindsDownload = await download(await items[0].$('a[download]'));
assert.equal(kindsDownload.name, everyKind.name);
assert.deepEqual(kindsDownload.bytes, kindsCopy);

// "Download all": one ZIP of the copies that completed, checked and
// unpacked by unzip.
const archive = await download(await page.$('#all'));
assert.equal(archive.name, 'quillmar-copies.zip');
const unpacked = mkdtempSync(join(tmpdir(), 'quillmar-zip-'));
writeFileSync(join(unpacked, 'all.zip'), archive.bytes);
execFileSync('unzip', ['-tq', 'all.zip'], {cwd: unpacked});
assert.deepEqual(execFileSync('unzip', ['-Z1', 'all.zip'], {cwd: unpacked}).toString().split('\n'),
                 ['every kind.kvr', 'plain.kvr', '']);
assert.deepEqual(execFileSync('unzip', ['-p', 'all.zip', 'every kind.kvr'], {cwd: unpacked}),
                 kindsCopy);
assert.deepEqual(execFileSync('unzip', ['-p', 'all.zip', 'plain.kvr'], {cwd: unpacked}),
                 plain.bytes);
rmSync(unpacked, {recursive: true});

// A file dropped on the page converts as a picked one.
await page.evaluate(() => {
  const transfer = new DataTransfer();
  transfer.items.add(new File(['9040-1=True\r\n'], 'dropped.kvr'));
  const drop = new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true});
  document.getElementById('drop').dispatchEvent(drop);
});
await page.waitForSelector('#results > li:last-child:is(.converted, .failed)');
const dropped = await shown(await page.$('#results > li:last-child'));
assert.equal(dropped.console, '\nConverting dropped.kvr -> dropped.kvr.\nConversion Complete.\n');

// A line too long for the memory that the page allows fails its file
// alone, with a message, and the next file converts.
const [tooLong, next] = await Promise.all((await convert([
  {name: 'long line.kvr', bytes: Buffer.concat([Buffer.from('K='), Buffer.alloc(600e6, 'v'), Buffer.from('\r\n')])},
  plain,
], 300000)).map(shown));
assert.match(tooLong.outcome,
             /^Failed: the converter ran out of memory for this file \(RuntimeError: .*\)\. No copy was made\.$/);
assert.equal(tooLong.link, false);
assert.equal(next.converted, true);

// A file of over 100 MB, made of a head and a block repeated: its copy is
// the head's copy and the block's copy repeated, each converted alone.
const head = crlf('1000-4=HP', '9040-1=True');
const lines = [];
for (let i = 0; i < 100; i++) lines.push(`4162-${i}=${i * 37 % 1000}.5`, `2000-${i}=text of line ${i}`);
const block = crlf(...lines);
const times = Math.ceil(100e6 / block.length);
const large = Buffer.concat([head, ...Array(times).fill(block)]);
const [headItem, blockItem] = await convert([{name: 'head.kvr', bytes: head},
                                             {name: 'head and block.kvr', bytes: Buffer.concat([head, block])}]);
const headCopy = (await download(await headItem.$('a[download]'))).bytes;
const blockCopy = (await download(await blockItem.$('a[download]'))).bytes.subarray(headCopy.length);
// The memory of the browser's processes, in MiB, as it converts: their
// proportional shares, so that what they share counts once.
const processes = browserName === 'firefox' ? 'firefox-esr|Web Content|Isolated Web Co|WebExtensions|RDD Process|Socket Process|Utility Process' : 'chromium';
const memory = () => Number(execFileSync('sh', ['-c',
    `for p in $(pgrep -x '${processes}'); do cat /proc/$p/smaps_rollup; done 2>/dev/null | awk '/^Pss:/ {s += $2} END {print s}'`])) / 1024;
let peak = memory();
const idle = peak;
const sampler = setInterval(() => (peak = Math.max(peak, memory())), 200);
const start = Date.now();
const [largeItem] = await convert([{name: 'large.kvr', bytes: large}], 600000);
const seconds = (Date.now() - start) / 1000;
clearInterval(sampler);
const largeShown = await shown(largeItem);
assert.equal(largeShown.converted, true, largeShown.outcome);
assert.equal(largeShown.rows.length, 1000);
assert.equal(largeShown.more, `… and ${times * 100 + 1 - 1000} more, not shown.`);
const largeCopy = (await download(await largeItem.$('a[download]'))).bytes;
assert.ok(largeCopy.equals(Buffer.concat([headCopy, ...Array(times).fill(blockCopy)])),
          'the large copy is not the head and the block converted');
console.log(`${browserName}: ${(large.length / 1e6).toFixed(1)} MB converted in ${seconds.toFixed(1)} s; ` +
            `the browser's processes: ${idle.toFixed(0)} MiB idle, ${peak.toFixed(0)} MiB at most`);

assert.deepEqual(errors, []);

// No request leaves the page, and its policy refuses any that the page or
// its worker tried.
const tryToConnect = async () => {
  const seen = [];
  globalThis.addEventListener('securitypolicyviolation', (event) => seen.push(event.effectiveDirective));
  await fetch('http://127.0.0.1:9/').catch(() => {});
  await new Promise((resolve) => setTimeout(resolve, 100));
  return seen;
};
assert.deepEqual(await page.evaluate(tryToConnect), ['connect-src']);
if (browserName !== 'firefox') {
  assert.equal(page.workers().length, 1);
  assert.deepEqual(await page.workers()[0].evaluate(tryToConnect), ['connect-src']);
}
assert.deepEqual(networkRequests(requests), []);
await close();
console.log('the page\'s own cases passed');
