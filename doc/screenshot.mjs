// Makes the picture of the browser page that README.md shows: the page in
// headless Chromium, having converted a batch of files made from the
// sample, one of them cut short and one empty, with its summary on top.
//   node doc/screenshot.mjs build/page/quillmar-VERSION.html doc/page.png
import {readFileSync} from 'node:fs';
import {resolve} from 'node:path';

import {openPage} from '../tests/page/browser.mjs';

const [pagePath, output] = process.argv.slice(2);
const {page, convert, close} = await openPage(resolve(pagePath), 'chromium');
await page.setViewport({width: 900, height: 1100});
const sample = readFileSync('samples/ZUL.kvr');
await convert([
  {name: 'ZUL.kvr', bytes: sample},
  {name: 'ZUL cut short.kvr', bytes: sample.subarray(0, sample.length - 2)},
  {name: 'empty.kvr', bytes: Buffer.alloc(0)},
  {name: 'ZUL line 2.kvr', bytes: sample},
]);
await page.evaluate(() => scrollTo(0, 0));
await page.screenshot({path: output});
await close();
