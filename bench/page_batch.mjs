// Times the page on a batch of small files in a headless browser, and
// measures how long its thread was kept from answering the user: the
// longest gap between ticks of a 20 ms timer, and the gaps over 200 ms.
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
await page.evaluate(() => {
  globalThis.gaps = [];
  let last = performance.now();
  setInterval(() => {
    const now = performance.now();
    globalThis.gaps.push(now - last);
    last = now;
  }, 20);
});
const start = Date.now();
await convert(files, 600000);
const seconds = (Date.now() - start) / 1000;
const gaps = await page.evaluate(() => globalThis.gaps);
await close();
console.log(`${browserName}: ${count} files in ${seconds.toFixed(1)} s; longest stall ` +
            `${Math.max(...gaps).toFixed(0)} ms, ${gaps.filter((gap) => gap > 200).length} over 200 ms`);
