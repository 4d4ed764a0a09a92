// Runs the program's end-to-end cases through the page in a headless
// browser: each case's input is picked as a file, and the page's console
// text, outcome and downloaded copy are compared with what the case
// expects of the program. A case that cannot apply to a page is listed
// with the reason.
//   node cases_in_page.mjs PAGE chromium|firefox CASES...
import {readFileSync} from 'node:fs';

import {networkRequests, openPage, shown} from './browser.mjs';

// The cases' own format, as tests/e2e_runner.cc reads it: "=== name",
// then "key: value" lines whose values take \n \r \t \\ \xHH and \{N*TEXT}.
function decode(text) {
  const bytes = [];
  for (let i = 0; i < text.length; i++) {
    if (text[i] !== '\\' || i + 1 === text.length) {
      bytes.push(...Buffer.from(text[i], 'latin1'));
      continue;
    }
    const c = text[++i];
    if (c === '{') {
      const star = text.indexOf('*', i);
      const close = text.indexOf('}', i);
      const repeated = decode(text.slice(star + 1, close));
      for (let n = Number(text.slice(i + 1, star)); n > 0; n--) bytes.push(...repeated);
      i = close;
    } else if (c === 'x') {
      bytes.push(parseInt(text.slice(i + 1, i + 3), 16));
      i += 2;
    } else {
      bytes.push({n: 10, r: 13, t: 9, '\\': 92}[c]);
    }
  }
  return Buffer.from(bytes);
}

function readCases(path) {
  const cases = [];
  // Read as bytes, one character each, as the runner reads them.
  for (const line of readFileSync(path, 'latin1').split('\n')) {
    if (line === '' || line.startsWith('#')) continue;
    if (line.startsWith('=== ')) {
      cases.push({name: line.slice(4), args: [], files: new Map(), outs: new Map(), keys: [],
                  console: Buffer.alloc(0), absent: []});
      continue;
    }
    const c = cases.at(-1);
    let colon = line.indexOf(': ');
    if (colon < 0 && line.endsWith(':')) colon = line.length - 1;
    const key = line.slice(0, colon);
    const raw = line.slice(colon + 2);
    const value = decode(raw);
    const append = (map, name) => map.set(name, Buffer.concat([map.get(name) ?? Buffer.alloc(0), value]));
    if (key === 'args') {
      c.args = raw.split(/\s+/).filter((w) => w).map((w) => (w === "''" ? '' : decode(w).toString('latin1')));
    } else if (key.startsWith('file ')) {
      append(c.files, decode(key.slice(5)).toString('latin1'));
    } else if (key.startsWith('out ')) {
      append(c.outs, decode(key.slice(4)).toString('latin1'));
    } else if (key === 'console') {
      c.console = Buffer.concat([c.console, value]);
    } else if (key === 'status') {
      c.status = Number(value);
    } else if (key === 'absent') {
      c.absent.push(value.toString('latin1'));
    } else if (key === 'only') {
      c.only = raw;
    } else {
      c.keys.push(key);
    }
  }
  return cases;
}

// Why a case cannot apply to a page, or nothing when it can. A page is
// given a file that exists, by its name alone, and names the copy after it.
function whyNot(c) {
  if (c.only) return `it is for one platform only (${c.only.replace(' ', ': ')})`;
  if (c.keys.length > 0) return `it sets up ${c.keys.join(', ')}, which a page has not`;
  if (c.args.length < 2) return 'the page always names both files';
  const [input, output] = c.args;
  if (!c.files.has(input)) return 'a picked file always exists and is a file';
  if (/[/\\]|\{dir\}/.test(input + output)) return 'a picked file comes without a folder';
  if (input === output) return 'the copy is never the picked file';
  if (c.console.includes('Cannot open output file')) return 'the page names and opens the copy itself';
  if (!Buffer.from(input, 'latin1').equals(Buffer.from(Buffer.from(input, 'latin1').toString()))) {
    return 'a name that is not UTF-8 cannot be given to a browser';
  }
  return null;
}

const [pagePath, browserName, ...caseFiles] = process.argv.slice(2);
const {requests, errors, download, convert, close} = await openPage(pagePath, browserName);
let passed = 0;
const failed = [];
const skipped = [];
for (const path of caseFiles) {
  for (const c of readCases(path)) {
    const label = `${path.split('/').at(-1)}: ${c.name}`;
    const why = whyNot(c);
    if (why) {
      skipped.push(`${label}: ${why}`);
      continue;
    }
    // Names as the program is given them, as UTF-8.
    const name = Buffer.from(c.args[0], 'latin1').toString();
    const output = Buffer.from(c.args[1], 'latin1').toString();
    const [item] = await convert([{name, bytes: c.files.get(c.args[0])}]);
    const got = await shown(item);
    // The page names the copy after the picked file.
    const wanted = c.console.toString().replaceAll(` -> ${output}.\n`, ` -> ${name}.\n`)
                       .replaceAll(`output file ${output}.`, `output file ${name}.`);
    const problems = [];
    if (got.console !== wanted) problems.push(`console ${JSON.stringify(got.console)}, wanted ${JSON.stringify(wanted)}`);
    if (got.converted !== (c.status === 0)) problems.push(`status ${got.converted ? 0 : 1}, wanted ${c.status}`);
    const copy = c.outs.get(c.args[1]);
    if (got.link !== (c.status === 0)) problems.push(got.link ? 'a failed file offers a copy' : 'no copy offered');
    if (got.link && copy) {
      const {name: saved, bytes} = await download(await item.$('a[download]'));
      if (saved !== name) problems.push(`copy downloaded as ${saved}`);
      if (!bytes.equals(copy)) problems.push(`copy ${JSON.stringify(bytes.toString('latin1'))}, wanted ${JSON.stringify(copy.toString('latin1'))}`);
    }
    if (problems.length > 0) {
      failed.push(`${label}:\n  ${problems.join('\n  ')}`);
    } else {
      passed++;
    }
  }
}
await close();
const network = networkRequests(requests);
if (network.length > 0) failed.push(`network requests: ${network.join(' ')}`);
if (errors.length > 0) failed.push(`errors in the page: ${errors.join(' ')}`);
console.log(`Not applicable to a page (${skipped.length}):\n  ${skipped.join('\n  ')}`);
console.log(`${passed} cases passed through the page in ${browserName}, ${failed.length} failed`);
if (failed.length > 0) {
  console.log(failed.join('\n'));
  process.exit(1);
}
