// What the page's tests share: headless Chromium or Firefox with the page
// opened from disk, every request it makes recorded, and files picked, converted and
// downloaded as a user does it.
import {mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';

import puppeteer from 'puppeteer-core';

// Opens the page in a browser of its own: "chromium" or "firefox".
// `requests` receives the URL of every request the page or its worker
// makes.
export async function openPage(pagePath, browserName) {
  const downloads = mkdtempSync(join(tmpdir(), 'quillmar-downloads-'));
  const browser = browserName === 'firefox'
    ? await puppeteer.launch({
      browser: 'firefox',
      executablePath: '/usr/bin/firefox-esr',
      headless: true,
      extraPrefsFirefox: {
        'browser.download.folderList': 2,
        'browser.download.dir': downloads,
        'browser.download.useDownloadDir': true,
        'browser.download.always_ask_before_handling_new_types': false,
        'browser.helperApps.neverAsk.saveToDisk': 'application/octet-stream,application/zip',
      },
    })
    : await puppeteer.launch({
      executablePath: '/usr/bin/chromium',
      headless: true,
      // As root in a container: no sandbox. And none of the browser's own
      // traffic, which this machine's closed network refuses.
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
  const page = await browser.newPage();
  if (browserName !== 'firefox') {
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: downloads});
  }
  const requests = [];
  const errors = [];
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => errors.push(error.message));
  await page.goto(`file://${pagePath}`, {waitUntil: 'load'});

  // Clicks the element and returns the name and bytes of the file that it
  // downloads, once complete, which it removes.
  async function download(handle) {
    // In view first, and laid out: entries that come into view for the
    // first time take their size then.
    await handle.evaluate((element) => new Promise((resolve) => {
      element.scrollIntoView({block: 'center'});
      requestAnimationFrame(() => requestAnimationFrame(resolve));
    }));
    await handle.click();
    for (let i = 0; i < 600; i++) {
      await new Promise((resolve) => setTimeout(resolve, 50));
      const [name, ...more] = readdirSync(downloads);
      if (!name || more.length > 0 || /\.(crdownload|part)$/.test(name)) continue;
      const bytes = readFileSync(join(downloads, name));
      rmSync(join(downloads, name));
      return {name, bytes};
    }
    throw new Error(`nothing was downloaded: ${readdirSync(downloads).join(', ')}`);
  }

  // Picks the files (name, bytes) and waits until the page has told how
  // each ended. Returns each file's entry in the page.
  async function convert(files, timeout = 30000) {
    const folder = mkdtempSync(join(tmpdir(), 'quillmar-picked-'));
    const paths = files.map(({name, bytes}) => {
      writeFileSync(join(folder, name), bytes);
      return join(folder, name);
    });
    const before = (await page.$$('#results > li')).length;
    // Picked as a user without a mouse picks them: the button, by Enter.
    // The browser catches the file chooser once it has answered the call
    // after the wait for it, the focus. (Firefox leaves its window
    // unfocused after a download, and Enter opens nothing until the user
    // clicks back into it: there the button is clicked.)
    const chooser = page.waitForFileChooser();
    await page.focus('#pick');
    if (browserName === 'firefox') {
      await page.click('#pick');
    } else {
      await page.keyboard.press('Enter');
    }
    await (await chooser).accept(paths);
    await page.waitForFunction(
        (n) => document.querySelectorAll('#results > li.converted, #results > li.failed').length >= n,
        {timeout, polling: 50}, before + files.length);
    rmSync(folder, {recursive: true});
    return (await page.$$('#results > li')).slice(before);
  }

  async function close() {
    await browser.close();
    rmSync(downloads, {recursive: true});
  }
  return {page, requests, errors, download, convert, close};
}

// What the page shows of a file: how it ended, its console text, the rows
// of its table of changes and the note under it, and its download link.
export async function shown(item) {
  return item.evaluate((li) => ({
    converted: li.classList.contains('converted'),
    outcome: li.querySelector('.outcome').textContent,
    console: li.querySelector('pre.console')?.textContent ?? '',
    rows: [...li.querySelectorAll('.changes tbody tr')].map(
        (tr) => [...tr.cells].map((td) => td.textContent)),
    more: li.querySelector('.changes > p')?.textContent ?? '',
    link: !!li.querySelector('a[download]'),
  }));
}

// Only these schemes are the page's own: the file itself, and the blobs
// that it makes in memory for its worker and its downloads.
export function networkRequests(requests) {
  return requests.filter((url) => !/^(file|blob|data):/.test(url));
}
