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

// Several files at once, one failing, on a phone's screen: each ends as
// it would alone, and the summary above the list tells how they ended.
await page.setViewport({width: 390, height: 844});
const clean = crlf('1000-4=HP600', '4162-1=10');
// Names that other systems give, which the ZIP must not take as paths.
const foreign = ['Düsen Kopf 3 & more.kvr', '..\\..\\evil.kvr', 'C:\\Windows\\x.kvr', 'a\u0001b.kvr',
                 '_.._evil.kvr'];
const items = await convert([everyKind, missingBreak, plain, ...foreign.map((name) => ({name, bytes: clean}))]);
const [kinds, broken, untouched] = await Promise.all(items.map(shown));
assert.equal(kinds.converted, true);
assert.equal(kinds.console, '\nConverting every kind.kvr -> every kind.kvr.\n' +
             'Detecting head type: XAAR128\nError: Headtype not found - Xaar500 value is used..\n' +
             'Conversion Complete.\n');
assert.match(kinds.outcome, /^Worth a look: Its head type "NOPE" is not known/);
assert.deepEqual(kinds.rows, [
  ['2', '4162-4=12.9', '4172-4=23'],
  ['3', '9040-1=True', '9040-1=False'],
  ['4', '4162-5=-7', '4172-5=-14'],
  ['6', '4162-6=100', '4172-6=188'],
]);
assert.equal(kinds.more, '');
assert.equal(broken.converted, false);
assert.equal(broken.outcome,
             'Failed: Error: Wrong Format (line 2: the file ends without a line break) No copy was made.');
assert.equal(broken.link, false);
assert.deepEqual(broken.rows, [], 'a failed file shows a table of changes');
assert.equal(untouched.converted, true);
assert.match(untouched.outcome, /It names no head type: the Xaar500 factor was used\. .*No line was changed: /);
assert.deepEqual(await page.evaluate(() => ({
  counts: document.getElementById('counts').textContent,
  failed: [...document.querySelectorAll('#failures li')].map((li) => [li.textContent, li.querySelector('a').hash]),
  doubtful: [...document.querySelectorAll('#doubts a')].map((a) => a.textContent),
  states: [...document.querySelectorAll('#results > li')].map((li) => li.className),
  live: [...document.querySelectorAll('[aria-live], [role=status], [role=alert]')].map((e) => e.id),
})), {
  counts: '8 files: 7 converted, 2 of them worth a look; 1 failed',
  failed: [['no break.kvr: Error: Wrong Format (line 2: the file ends without a line break)', '#file-2']],
  doubtful: ['every kind.kvr', 'plain.kvr'],
  states: ['converted worth-a-look', 'failed', 'converted worth-a-look', ...foreign.map(() => 'converted')],
  // Only the summary's line and the ZIP's are read out as they change.
  live: ['all-status', 'counts'],
});
// On a phone no value breaks across lines, and the copy's link comes
// right after the outcome.
assert.deepEqual(await items[0].evaluate((li) => [...li.querySelectorAll('td')].filter((td) => {
  const range = document.createRange();
  range.selectNodeContents(td);
  return new Set([...range.getClientRects()].map((rect) => rect.top)).size !== 1;
}).map((td) => td.textContent)), []);
assert.equal(await items[0].evaluate((li) => !!li.querySelector('.outcome + .download a[download]')), true);
await page.setViewport({width: 1280, height: 800});

const kindsCopy = crlf('1000-4=XAAR128', '4172-4=23', '9040-1=False', '4172-5=-14', '1000-4=NOPE',
                       '4172-6=188', '2000-1=x');
const kindsDownload = await download(await items[0].$('a[download]'));
assert.equal(kindsDownload.name, everyKind.name);
assert.deepEqual(kindsDownload.bytes, kindsCopy);

// "Download all": one ZIP of the copies that completed, under names that
// unpack as files of this folder, and the report of every file; checked,
// listed and unpacked by unzip.
const archive = await download(await page.$('#all'));
assert.equal(archive.name, 'quillmar-copies.zip');
assert.equal(await page.$eval('#all-status', (status) => status.textContent),
             '7 copies and the report in quillmar-copies.zip; 2 worth a look; 1 file failed, with no copy.');
const unpacked = mkdtempSync(join(tmpdir(), 'quillmar-zip-'));
writeFileSync(join(unpacked, 'all.zip'), archive.bytes);
const unzip = (...args) => execFileSync('unzip', args, {cwd: unpacked, env: {...process.env, LANG: 'C.UTF-8'}});
unzip('-tq', 'all.zip');
assert.deepEqual(unzip('-Z1', 'all.zip').toString().split('\n'),
                 ['quillmar-report.txt', 'every kind.kvr', 'plain.kvr', 'Düsen Kopf 3 & more.kvr',
                  '_.._evil.kvr', 'C__Windows_x.kvr', 'a_b.kvr', '_.._evil (2).kvr', '']);
assert.match(unzip('-l', 'all.zip').toString(), / Düsen Kopf 3 & more\.kvr\n/);
assert.deepEqual(unzip('-p', 'all.zip', 'every kind.kvr'), kindsCopy);
assert.deepEqual(unzip('-p', 'all.zip', 'plain.kvr'), plain.bytes);
const record = unzip('-p', 'all.zip', 'quillmar-report.txt').toString();
assert.match(record, /^quillmar \d+\.\d+\.\d+ in a browser, /);
assert.match(record, /\r\nno break\.kvr: Failed: Error: Wrong Format \(line 2: the file ends without a line break\)\r\n/);
assert.match(record, /\r\nplain\.kvr: Worth a look: It names no head type/);
assert.match(record, /\r\nDüsen Kopf 3 & more\.kvr: Converted\.\r\n {4}Converting /);
rmSync(unpacked, {recursive: true});

// A file of many head type lines shows the first of them, and the first
// and last lines of its console text, and counts the rest.
const [manyHeads] = await Promise.all((await convert([
  {name: 'many heads.kvr', bytes: crlf(...Array(3000).fill('1000-4=HP600'))}])).map(shown));
assert.equal(await items[0].evaluate(() => document.querySelector('#results > li:last-child').querySelectorAll('p').length),
             1000 + 3);
assert.match(manyHeads.console, /^\nConverting many heads\.kvr -> many heads\.kvr\.\n(Detecting head type: HP600\n){48}… 2903 lines not shown\n(Detecting head type: HP600\n){49}Conversion Complete\.\n$/);

// Clearing the list leaves it and its summary empty.
await page.click('#clear');
assert.deepEqual(await page.evaluate(() => [document.querySelectorAll('#results > li').length,
                                            document.getElementById('counts').textContent]), [0, '']);

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
  // The converter's worker and the one that packed the ZIP.
  assert.equal(page.workers().length, 2);
  for (const worker of page.workers()) assert.deepEqual(await worker.evaluate(tryToConnect), ['connect-src']);
}
assert.deepEqual(networkRequests(requests), []);

// Leaving the page while a file converts asks first; told to stay, the
// page stays and the file converts.
const asked = [];
page.on('dialog', (dialog) => {
  asked.push(dialog.type());
  dialog.dismiss();
});
const leaving = convert([{name: 'large again.kvr', bytes: large}], 600000);
await page.waitForFunction(() => /Converting file/.test(document.getElementById('counts').textContent));
assert.equal(await page.$eval('progress', (bar) => bar.getAttribute('aria-label')), 'Converting large again.kvr');
await page.evaluate(() => {
  location.href = 'about:blank';
});
assert.equal((await shown((await leaving)[0])).converted, true);
assert.deepEqual(asked, ['beforeunload']);
await close();
console.log('the page\'s own cases passed');
