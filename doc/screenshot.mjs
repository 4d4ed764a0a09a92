// Makes the picture of the browser page that README.md shows: the page in
// headless Chromium, converting the sample.
//   node doc/screenshot.mjs build/page/quillmar-VERSION.html doc/page.png
import {readFileSync} from 'node:fs';
import {resolve} from 'node:path';

import {openPage} from '../tests/page/browser.mjs';

const [pagePath, output] = process.argv.slice(2);
const {page, convert, close} = await openPage(resolve(pagePath), 'chromium');
await page.setViewport({width: 900, height: 900});
await convert([{name: 'ZUL.kvr', bytes: readFileSync('samples/ZUL.kvr')}]);
await page.screenshot({path: output, fullPage: true});
await close();
