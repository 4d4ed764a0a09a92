// The page's script: takes the files picked or dropped, hands them to the
// worker one at a time, and shows what the core told of each: its console
// text, how it ended, what changed, and its copy. "Download all" packs the
// copies that completed into one ZIP. No rule of the conversion is here.
'use strict';

const $ = (id) => document.getElementById(id);
const utf8 = new TextEncoder();

// Elements, made in one call: tag, attributes, then children or text.
function make(tag, attributes = {}, ...children) {
  const element = Object.assign(document.createElement(tag), attributes);
  element.append(...children);
  return element;
}

let worker;
function startWorker() {
  const source = new Blob([$('worker').textContent], {type: 'text/javascript'});
  try {
    worker = new Worker(URL.createObjectURL(source));
  } catch (error) {
    return unavailable(error);
  }
  worker.onmessage = ({data}) => {
    if (data.type === 'progress') return progress(data);
    // The memory of a core that ran out of it goes with its worker, at once.
    if (data.trapped) restartWorker();
    finish(data);
  };
  // A worker that ends of itself, as when the browser takes its memory,
  // fails the file it had; the next file gets a new one. One that cannot
  // start at all is said once.
  worker.onerror = (event) => {
    event.preventDefault();
    if (!current) return unavailable(event.message);
    restartWorker();
    finish({status: 1, trapped: event.message || 'the converter stopped', console: '',
            heads: [], changes: [], reasons: []});
  };
}

function restartWorker() {
  worker.terminate();
  startWorker();
}

// Where this browser will not run the converter at all.
function unavailable(why) {
  $('pick').disabled = true;
  $('drop').append(make('p', {role: 'alert'}, `This browser does not let the page run the converter (${why}). ` +
                        'Open the page in another browser, or use quillmar.exe.'));
}

const queue = [];
let current = null;
const copies = [];

function add(files) {
  for (const file of files) {
    const item = make('li', {}, make('h2', {}, file.name),
                      make('p', {className: 'outcome'}, 'Waiting.'));
    $('results').append(item);
    queue.push({file, item});
  }
  next();
}

function next() {
  if (current || queue.length === 0) return;
  current = queue.shift();
  const bar = make('progress', {max: 1, value: 0});
  current.item.querySelector('.outcome').replaceChildren('Converting… ', bar);
  worker.postMessage({file: current.file, outName: current.file.name});
}

function progress({done, size}) {
  const bar = current?.item.querySelector('progress');
  if (bar) bar.value = size > 0 ? done / size : 1;
}

// Shows how a file ended, in words: the reason that ended a failed one,
// the notes on a copy that deserves a look.
function finish(report) {
  const {file, item} = current;
  current = null;
  const outcome = item.querySelector('.outcome');
  const converted = report.status === 0;
  item.className = converted ? 'converted' : 'failed';
  if (converted) {
    outcome.replaceChildren('Converted.');
    for (const note of report.reasons) outcome.append(' Worth a look: ', note);
  } else {
    const why = report.unavailable
      ? `this browser does not run the converter (${report.unavailable}).`
      : report.trapped
        ? `the converter ran out of memory for this file (${report.trapped}).`
        : report.reasons.join(' ');
    // The reason is the run's own message, which may end without a point:
    // what follows it goes on a line of its own.
    outcome.replaceChildren(`Failed: ${why}`, make('span', {className: 'after'}, ' No copy was made.'));
  }
  for (const head of report.heads) {
    item.append(make('p', {}, `Head type in line ${head.line}: ${head.name}` +
                                  (head.known ? '.' : ', not known: the Xaar500 factor was used.')));
  }
  if (report.changes.length > 0) item.append(changes(report));
  if (report.console) item.append(make('pre', {className: 'console'}, report.console));
  if (converted) {
    const name = file.name;
    copies.push({name, blob: report.copy});
    const link = make('a', {href: URL.createObjectURL(report.copy), download: name},
                      `Download the copy ${name}`);
    item.append(make('p', {}, link));
    $('all').disabled = false;
  }
  next();
}

// The table of what changed, as the core told it: at most its first
// rows, and how many more there were.
function changes(report) {
  const rows = report.changes.map(({line, before, after}) =>
    make('tr', {}, make('td', {}, String(line)), make('td', {}, before), make('td', {}, after)));
  const table = make('table', {},
                     make('thead', {}, make('tr', {}, make('th', {}, 'Line'),
                                         make('th', {}, 'Before'), make('th', {}, 'After'))),
                     make('tbody', {}, ...rows));
  const changed = report.rewritten ?? report.changes.length;
  // Open where it is short enough to read at a glance.
  const details = make('details', {className: 'changes', open: changed <= 50},
                       make('summary', {}, `What changed: ${changed} line${changed === 1 ? '' : 's'} rewritten`),
                       table);
  if (changed > report.changes.length) {
    details.append(make('p', {}, `… and ${changed - report.changes.length} more, not shown.`));
  }
  return details;
}

// A ZIP of the copies, stored as they are: settings files are small, and
// a stored file needs no library to write or to read.
const crcTable = Uint32Array.from({length: 256}, (_, n) => {
  for (let k = 0; k < 8; k++) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
  return n;
});

async function crc32(blob) {
  let crc = ~0;
  for (let at = 0; at < blob.size; at += 1 << 24) {
    const bytes = new Uint8Array(await blob.slice(at, at + (1 << 24)).arrayBuffer());
    for (const b of bytes) crc = crcTable[(crc ^ b) & 0xff] ^ (crc >>> 8);
  }
  return ~crc >>> 0;
}

// Little-endian fields of 2 and 4 bytes after a 4-byte signature.
function record(signature, fields, name = new Uint8Array()) {
  const size = 4 + fields.reduce((sum, [bytes]) => sum + bytes, 0);
  const out = new Uint8Array(size + name.length);
  const view = new DataView(out.buffer);
  view.setUint32(0, signature, true);
  let at = 4;
  for (const [bytes, value] of fields) {
    bytes === 2 ? view.setUint16(at, value, true) : view.setUint32(at, value, true);
    at += bytes;
  }
  out.set(name, size);
  return out;
}

// A name not yet in the ZIP: "ZUL.kvr", then "ZUL (2).kvr".
function uniqueName(name, taken) {
  const dot = name.lastIndexOf('.') > 0 ? name.lastIndexOf('.') : name.length;
  let unique = name;
  for (let n = 2; taken.has(unique); n++) unique = `${name.slice(0, dot)} (${n})${name.slice(dot)}`;
  taken.add(unique);
  return unique;
}

async function zip(files) {
  const now = new Date();
  const time = (now.getHours() << 11) | (now.getMinutes() << 5) | (now.getSeconds() >> 1);
  const date = ((now.getFullYear() - 1980) << 9) | ((now.getMonth() + 1) << 5) | now.getDate();
  const parts = [];
  const directory = [];
  const taken = new Set();
  let offset = 0;
  for (const {name, blob} of files) {
    const encoded = utf8.encode(uniqueName(name, taken));
    const crc = await crc32(blob);
    // Version 2.0, names in UTF-8, stored.
    const common = [[2, 20], [2, 0x800], [2, 0], [2, time], [2, date], [4, crc], [4, blob.size],
                    [4, blob.size], [2, encoded.length], [2, 0]];
    directory.push(record(0x02014b50, [[2, 20], ...common, [2, 0], [2, 0], [2, 0], [4, 0],
                                       [4, offset]], encoded));
    const local = record(0x04034b50, common, encoded);
    parts.push(local, blob);
    offset += local.length + blob.size;
  }
  const size = directory.reduce((sum, entry) => sum + entry.length, 0);
  if (offset + size >= 2 ** 32 || files.length >= 0xffff) return null;
  const end = record(0x06054b50, [[2, 0], [2, 0], [2, files.length], [2, files.length], [4, size],
                                  [4, offset], [2, 0]]);
  return new Blob([...parts, ...directory, end], {type: 'application/zip'});
}

async function downloadAll() {
  const status = $('all-status');
  status.textContent = 'Packing…';
  const archive = await zip(copies);
  if (!archive) {
    status.textContent = 'The copies are too large for one ZIP: download them one by one.';
    return;
  }
  status.textContent = `${copies.length} cop${copies.length === 1 ? 'y' : 'ies'} in quillmar-copies.zip.`;
  const link = make('a', {href: URL.createObjectURL(archive), download: 'quillmar-copies.zip'});
  document.body.append(link);
  link.click();
  link.remove();
}

startWorker();
$('pick').addEventListener('click', () => $('files').click());
$('files').addEventListener('change', () => {
  add([...$('files').files]);
  $('files').value = '';
});
$('all').addEventListener('click', downloadAll);
// Files dropped anywhere on the page are taken, never opened by the browser.
const drop = $('drop');
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  drop.classList.add('over');
});
document.addEventListener('dragleave', () => drop.classList.remove('over'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  add([...event.dataTransfer.files]);
});
