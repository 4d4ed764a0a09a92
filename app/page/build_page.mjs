// Builds the page: the template with its style, its script, and the worker
// with the core's WebAssembly inlined, under a Content-Security-Policy that
// allows these and nothing else: no request of any kind. The same inputs
// give the same bytes.
//   node build_page.mjs PAGE_DIR CORE_WASM VERSION OUTPUT
import {createHash} from 'node:crypto';
import {readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';

const [dir, wasm, version, output] = process.argv.slice(2);
const read = (name) => readFileSync(join(dir, name), 'utf8');
const hash = (text) => `'sha256-${createHash('sha256').update(text).digest('base64')}'`;

const style = read('page.css');
const script = read('page.js').replaceAll('@VERSION@', version);
const worker = read('worker.js').replace('@CORE_BASE64@', readFileSync(wasm).toString('base64'));
// The worker starts from a blob: URL, the one way from a page opened from
// disk; it compiles the core, which needs 'wasm-unsafe-eval'.
const policy = [
  "default-src 'none'",
  `script-src ${hash(script)} 'wasm-unsafe-eval'`,
  `style-src ${hash(style)}`,
  'worker-src blob:',
  "base-uri 'none'",
  "form-action 'none'",
].join('; ');

const fill = {VERSION: version, POLICY: policy, STYLE: style, WORKER: worker, SCRIPT: script};
const page = read('page.html').replace(/@([A-Z]+)@/g, (whole, name) => fill[name] ?? whole);
for (const part of [style, script, worker]) {
  if (/<\/(script|style)/i.test(part)) throw new Error('a part would end its element early');
}
writeFileSync(output, page);
