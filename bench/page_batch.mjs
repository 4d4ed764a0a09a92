// Times the page in a headless browser on a batch of small files, then on
// one file of 10 MB of head type lines, and measures how long its thread
// was kept from answering the user in each: the longest gap between ticks
// of a 20 ms timer, and the gaps over 200 ms.
//   node bench/page_batch.mjs PAGE chromium|firefox [FILES]
// (after npm ci and the page preset's build; PAGE is the built page)
import {resolve} from 'node:path';

import {openPage} from '../tests/page/browser.mjs';

const [pagePath, browserName, count = '2000'] = process.argv.slice(2);
const {page, convert, close} = await openPage(resolve(pagePath), browserName);
const files = Array.from({length: Number(count)}, (_, i) => ({
  name: `head ${i}.kvr`,
  bytes: Buffer.from(`1000-4=XAAR128\r\n4162-1=${i}\r\n9040-1=True\r\n2000-1=text\r\n`),
}));
// Runs the files through the page; tells how long it took and stalled,
// apart from the stall in which the browser lists the picked files before
// the page has them (the input's change event).
async function timed(label, files) {
  await page.evaluate(() => {
    globalThis.gaps = [];
    let last = performance.now();
    clearInterval(globalThis.ticks);
    globalThis.ticks = setInterval(() => {
      const now = performance.now();
      globalThis.gaps.push([last, now - last]);
      last = now;
    }, 20);
    document.getElementById('files').addEventListener('change', (event) => {
      globalThis.picked = event.timeStamp;
    }, {once: true});
  });
  const start = Date.now();
  await convert(files, 600000);
  const seconds = (Date.now() - start) / 1000;
  const {gaps, picked} = await page.evaluate(() => ({gaps: globalThis.gaps, picked: globalThis.picked}));
  // A stall in which the page got the files counts from then on.
  const after = gaps.map(([at, gap]) => Math.min(gap, at + gap - picked)).filter((gap) => gap > 0);
  const before = gaps.map(([at, gap]) => Math.min(gap, picked - at)).filter((gap) => gap > 0);
  console.log(`${browserName}: ${label} in ${seconds.toFixed(1)} s; longest stall ` +
              `${Math.max(0, ...after).toFixed(0)} ms, ${after.filter((gap) => gap > 200).length} over 200 ms; ` +
              `before the page had the files: ${Math.max(0, ...before).toFixed(0)} ms`);
}
await timed(`${count} files`, files);
const heads = Buffer.from('1000-4=XAAR128\r\n'.repeat(10e6 / 16));
await timed('10 MB of head type lines', [{name: 'heads.kvr', bytes: heads}]);
await close();
