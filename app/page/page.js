// The page's script: takes the files picked or dropped, hands them to the
// worker one at a time, and shows what the core told of each: how it
// ended, its copy, what changed and its console text, under a summary of
// the whole list. "Download all" has a second worker pack the copies that
// completed, with a report of every file, into one ZIP. No rule of the
// conversion is here.
'use strict';

const version = '@VERSION@';
const $ = (id) => document.getElementById(id);

// Elements, made in one call: tag, attributes, then children or text.
function make(tag, attributes = {}, ...children) {
  const element = Object.assign(document.createElement(tag), attributes);
  element.append(...children);
  return element;
}

const plural = (n, one, many = `${one}s`) => `${n} ${n === 1 ? one : many}`;

const workerSource = URL.createObjectURL(new Blob([$('worker').textContent], {type: 'text/javascript'}));
let worker;
function startWorker() {
  try {
    worker = new Worker(workerSource);
  } catch (error) {
    return unavailable(error);
  }
  const mine = worker;
  worker.onmessage = ({data}) => {
    // An ended worker's last words are dropped: its files went to the new one.
    if (mine !== worker) return;
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
    if (mine !== worker) return;
    if (sent.length === 0) return unavailable(event.message);
    restartWorker();
    finish({status: 1, trapped: event.message || 'the converter stopped', heads: [], changes: [],
            reasons: [], console: {lines: [], omitted: 0}});
  };
}

// The file that the old worker had failed; those sent after it go to the
// new one.
function restartWorker() {
  worker.terminate();
  startWorker();
  for (const entry of sent.slice(1)) post(entry);
}

// Where this browser will not run the converter at all.
function unavailable(why) {
  $('pick').disabled = true;
  $('drop').append(make('p', {role: 'alert'}, `This browser does not let the page run the converter (${why}). ` +
                        'Open the page in another browser, or use quillmar.exe.'));
}

// Every file in the list, in the order picked: {file, item, state, why},
// state being waiting, converting, converted, worth a look or failed.
// The worker has the first of `sent` in hand, and reads the next ones
// ahead, so that it never waits for the page; the rest wait in `queue`.
// `ended` counts the files of each outcome in the list, and `named` holds
// those that failed or are worth a look.
let entries = [];
const queue = [];
const sent = [];
const ended = {converted: 0, 'worth a look': 0, failed: 0};
let named = {failed: [], 'worth a look': []};
let numbered = 0;

function add(files) {
  for (const file of files) {
    const item = make('li', {id: `file-${++numbered}`}, make('h2', {}, file.name),
                      make('p', {className: 'outcome'}, 'Waiting.'));
    const entry = {file, item, state: 'waiting'};
    entries.push(entry);
    queue.push(entry);
  }
  // One change to the list for a batch, not one for each file.
  $('results').append(...entries.slice(entries.length - files.length).map((entry) => entry.item));
  next();
}

function next() {
  while (sent.length < 8 && queue.length > 0) {
    sent.push(queue.shift());
    post(sent.at(-1));
  }
  const current = sent[0];
  if (current && current.state === 'waiting') {
    current.state = 'converting';
    const bar = make('progress', {max: 1, value: 0});
    bar.setAttribute('aria-label', `Converting ${current.file.name}`);
    current.item.querySelector('.outcome').replaceChildren('Converting… ', bar);
  }
  summarize();
}

const post = ({file}) => worker.postMessage({file, outName: file.name});

function progress({done, size}) {
  const bar = sent[0]?.item.querySelector('progress');
  if (bar) bar.value = size > 0 ? done / size : 1;
}

// The notes on a copy, each a sentence.
const sentences = (notes) => notes.map((note) => note[0].toUpperCase() + note.slice(1)).join(' ');

// Shows how a file ended, in words first: the reason that ended a failed
// one, the notes on a copy that deserves a look; then its copy, its head
// type lines, what changed and its console text.
function finish(report) {
  const entry = sent.shift();
  const {file, item} = entry;
  const outcome = item.querySelector('.outcome');
  const converted = report.status === 0;
  if (converted) {
    entry.state = report.reasons.length > 0 ? 'worth a look' : 'converted';
    entry.why = sentences(report.reasons);
    outcome.replaceChildren(report.reasons.length > 0 ? `Worth a look: ${entry.why}` : 'Converted.');
  } else {
    entry.state = 'failed';
    entry.why = report.unavailable
      ? `this browser does not run the converter (${report.unavailable}).`
      : report.trapped
        ? `the converter ran out of memory for this file (${report.trapped}).`
        : report.reasons.join(' ');
    // The reason is the run's own message, which may end without a point:
    // what follows it goes on a line of its own.
    outcome.replaceChildren(`Failed: ${entry.why}`, make('span', {className: 'after'}, ' No copy was made.'));
  }
  item.className = {converted: 'converted', 'worth a look': 'converted worth-a-look', failed: 'failed'}[entry.state];
  ended[entry.state]++;
  named[entry.state]?.push(entry);
  entry.console = consoleText(report.console, 500);
  if (converted) {
    entry.copy = report.copy;
    item.append(make('p', {className: 'download'}, downloadLink(entry)));
  }
  for (const head of report.heads) {
    item.append(make('p', {}, `Head type in line ${head.line}: ${head.name}` +
                                  (head.known ? '.' : ', not known: the Xaar500 factor was used.')));
  }
  const unshown = (report.headLines ?? 0) - report.heads.length;
  if (unshown > 0) item.append(make('p', {}, `… and ${plural(unshown, 'head type line')} more, not shown.`));
  // A failed file has no copy, so no table of what its copy would hold.
  if (converted && report.changes.length > 0) item.append(changes(report));
  const shown = consoleText(report.console, 50);
  if (shown) item.append(make('pre', {className: 'console'}, shown));
  if (converted && !packing) $('all').disabled = false;
  next();
}

// The link to a copy. Its address is made once the link is near to use
// (pointed at, pressed or focused, before any click takes the address):
// making one takes a moment, which thousands of files would spend before
// anyone downloads any.
function downloadLink(entry) {
  const link = make('a', {href: `#${entry.item.id}`, download: entry.file.name},
                    `Download the copy ${entry.file.name}`);
  const address = () => {
    entry.url ??= URL.createObjectURL(entry.copy);
    link.href = entry.url;
  };
  for (const event of ['pointerenter', 'pointerdown', 'focus']) link.addEventListener(event, address, {once: true});
  return link;
}

// The console text of a run, as the worker kept it ({lines, omitted}:
// its first and last lines, and how many it left out between them): at
// most `keep` lines from each end, and how many more there were.
function consoleText({lines, omitted}, keep) {
  if (omitted === 0 && lines.length <= 2 * keep) return lines.join('');
  const hidden = lines.length + omitted - 2 * keep;
  return `${lines.slice(0, keep).join('')}… ${plural(hidden, 'line')} not shown\n${lines.slice(-keep).join('')}`;
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
                       make('summary', {}, `What changed: ${plural(changed, 'line')} rewritten`),
                       make('div', {className: 'scrolls', tabIndex: 0}, table));
  if (changed > report.changes.length) {
    details.append(make('p', {}, `… and ${changed - report.changes.length} more, not shown.`));
  }
  return details;
}

// The list's outcome in one line, which is the page's live region, and
// under it the files that failed and those worth a look, at most this
// many of each by name, each leading to its entry.
const shownByName = 10;
function summarize() {
  const look = ended['worth a look'];
  const done = ended.converted + look + ended.failed;
  let line = '';
  if (entries.length > 0) {
    line = `${plural(entries.length, 'file')}: ${ended.converted + look} converted` +
           `${look > 0 ? `, ${look} of them worth a look` : ''}; ${ended.failed} failed`;
  }
  if (sent.length > 0) line += `. Converting file ${done + 1} of ${entries.length}.`;
  if ($('counts').textContent !== line) $('counts').textContent = line;
  listed($('failures'), 'Failed', named.failed);
  listed($('doubts'), 'Worth a look', named['worth a look']);
  $('clear').disabled = done === 0;
}

// Lists the first of these entries by name, each leading to its entry,
// and counts the rest; only when they changed.
function listed(list, title, these) {
  if (list.dataset.count === `${these.length}`) return;
  list.dataset.count = these.length;
  if (these.length === 0) return list.replaceChildren();
  const items = these.slice(0, shownByName).map((entry) =>
    make('li', {}, make('a', {href: `#${entry.item.id}`}, entry.file.name), `: ${entry.why}`));
  if (these.length > shownByName) items.push(make('li', {}, `and ${these.length - shownByName} more in the list.`));
  list.replaceChildren(make('h2', {}, `${title}:`), make('ul', {}, ...items));
}

// Clears the files that have ended from the list; those still to convert
// stay.
function clear() {
  for (const entry of entries) {
    if (['waiting', 'converting'].includes(entry.state)) continue;
    entry.item.remove();
    if (entry.url) URL.revokeObjectURL(entry.url);
  }
  entries = entries.filter((entry) => ['waiting', 'converting'].includes(entry.state));
  for (const state in ended) ended[state] = 0;
  named = {failed: [], 'worth a look': []};
  $('all').disabled = true;
  $('all-status').textContent = '';
  summarize();
}

// The technician's record of the list: each file, how it ended and why,
// its notes and its console text; lines end in CR LF, as Notepad shows.
function report() {
  const lines = [`quillmar ${version} in a browser, ${new Date().toString()}`, ''];
  for (const entry of entries.filter((e) => !['waiting', 'converting'].includes(e.state))) {
    const state = entry.state[0].toUpperCase() + entry.state.slice(1);
    lines.push(`${entry.file.name}: ${state}${entry.why ? `: ${entry.why}` : '.'}`);
    const shown = entry.console.replace(/^\n/, '').replace(/\n$/, '');
    lines.push(...shown.split('\n').map((line) => (line ? `    ${line}` : '')), '');
  }
  return lines.join('\r\n');
}

// The ZIP is packed by a worker of its own, so that the page answers
// while it reads copies of hundreds of MB, and the converter goes on.
let packer;
let packing = false;
let packed = null;
function downloadAll() {
  const status = $('all-status');
  status.textContent = 'Packing…';
  $('all').disabled = true;
  packing = true;
  packer ??= new Worker(workerSource);
  const copies = entries.filter((entry) => entry.copy).map((entry) => ({name: entry.file.name, blob: entry.copy}));
  const look = ended['worth a look'];
  packer.onmessage = ({data}) => {
    packing = false;
    $('all').disabled = false;
    if (!data.archive) {
      status.textContent = 'The copies are too large for one ZIP: download them one by one.';
      return;
    }
    // What the ZIP holds, and what it does not.
    status.textContent = `${copies.length} cop${copies.length === 1 ? 'y' : 'ies'} and the report in ` +
                         `quillmar-copies.zip${look > 0 ? `; ${look} worth a look` : ''}` +
                         `${ended.failed > 0 ? `; ${plural(ended.failed, 'file')} failed, with no copy` : ''}.`;
    if (packed) URL.revokeObjectURL(packed);
    packed = URL.createObjectURL(data.archive);
    const link = make('a', {href: packed, download: 'quillmar-copies.zip'});
    document.body.append(link);
    link.click();
    link.remove();
  };
  packer.postMessage({type: 'zip', copies, report: report()});
}

startWorker();
summarize();
$('pick').addEventListener('click', () => $('files').click());
$('files').addEventListener('change', () => {
  add([...$('files').files]);
  $('files').value = '';
});
$('all').addEventListener('click', downloadAll);
$('clear').addEventListener('click', clear);
// Leaving the page while it converts loses the files still to come.
addEventListener('beforeunload', (event) => {
  if (sent.length === 0) return;
  event.preventDefault();
  event.returnValue = 'converting';
});
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
