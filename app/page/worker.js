// The page's worker: converts the picked files one at a time with the
// core, reading a large one in slices as the core asks, so that neither
// the file nor its copy need be held whole in memory, and the page stays
// responsive. It only carries bytes and words between the core and the
// page. A second one packs the copies into a ZIP, away from the page's
// thread.
'use strict';

// The core, as the page's build inlines it.
const coreBase64 = '@CORE_BASE64@';
const core = WebAssembly.compile(Uint8Array.from(atob(coreBase64), (c) => c.charCodeAt(0)));

const utf8 = new TextEncoder();
const text = new TextDecoder();
// A copy is kept in parts this large; the browser may keep each on disk.
const partSize = 16 << 20;
// A file up to this size is read whole at once, and ahead: each read of
// a picked file asks the browser for it, which takes longer than
// converting a small file. One that cannot be read so is read in slices,
// where a fault is told as one.
const wholeSize = 4 << 20;
// Progress is told at most this often, in ms.
const progressEvery = 100;

// The C library's calls to the system, which a conversion never needs
// (the core's own imports carry all its input and output): each fails.
const noSystem = new Proxy({}, {get: () => () => 8});

// The console text of a run, bounded: a file of a million head type lines
// would make a text past the browser's limit for a string. Keeps its
// first and last `keep` lines (each with its line feed; the last may have
// none), and counts those between.
function boundedText(keep) {
  const first = [];
  let last = [];
  let omitted = 0;
  let rest = '';
  return {
    add(piece) {
      const parts = (rest + piece).split('\n');
      rest = parts.pop();
      for (const line of parts) {
        if (first.length < keep) {
          first.push(`${line}\n`);
          continue;
        }
        last.push(`${line}\n`);
        if (last.length === 2 * keep) {
          last = last.slice(keep);
          omitted += keep;
        }
      }
    },
    get text() {
      const tail = last.slice(-keep);
      const lines = [...first, ...tail];
      if (rest) lines.push(rest);
      return {lines, omitted: omitted + last.length - tail.length};
    },
  };
}

// The core's instance, kept from file to file: a new one for each small
// file would spend more time taking memory than converting. A file that
// made it take much memory leaves it to the next new one, as one that
// trapped does. Its imports call those of the file in hand.
let instance = null;
let job;
const keptMemory = 64 << 20;
const calls = new Proxy({}, {get: (_, name) => (...args) => job[name](...args)});

async function convert(file, outName, whole) {
  const bytes = (ptr, len) => new Uint8Array(instance.exports.memory.buffer, ptr, len);
  const str = (ptr, len) => text.decode(bytes(ptr, len));
  const report = {type: 'done', heads: [], changes: [], reasons: [], status: 1};
  const consoleText = boundedText(500);
  let at = 0;
  // The first after that long: a small file ends before.
  let told = Date.now();
  const reader = new FileReaderSync();
  // The bytes from `from` to `to`, or null where the file cannot be read.
  const slice = (from, to) => {
    if (whole) return whole.subarray(from, to);
    try {
      return new Uint8Array(reader.readAsArrayBuffer(file.slice(from, to)));
    } catch {
      return null;  // the file was changed, moved or cannot be read
    }
  };
  const parts = [];
  let pending = [];
  let pendingSize = 0;
  job = {
    read(ptr, len) {
      const n = Math.min(len, file.size - at);
      if (n <= 0) return 0;
      const got = slice(at, at + n);
      if (!got || got.length !== n) return -1;
      bytes(ptr, n).set(got);
      at += n;
      const now = Date.now();
      if (now - told >= progressEvery) {
        told = now;
        postMessage({type: 'progress', done: at, size: file.size});
      }
      return n;
    },
    ends_at(end) {
      // A picked file that changed on disk can no longer be read.
      return end === file.size && slice(Math.max(0, end - 1), end) ? 1 : 0;
    },
    write(ptr, len) {
      pending.push(bytes(ptr, len).slice());
      pendingSize += len;
      if (pendingSize >= partSize) {
        parts.push(new Blob(pending));
        pending = [];
        pendingSize = 0;
      }
      return 1;
    },
    console(ptr, len) {
      consoleText.add(str(ptr, len));
    },
    head_type(line, ptr, len, known) {
      report.heads.push({line, name: str(ptr, len), known: known !== 0});
    },
    changed(line, before, beforeLen, after, afterLen) {
      report.changes.push({line, before: str(before, beforeLen), after: str(after, afterLen)});
    },
    ended(status, lines, rewritten, headLines) {
      Object.assign(report, {status, lines, rewritten, headLines});
    },
    reason(ptr, len) {
      report.reasons.push(str(ptr, len));
    },
  };
  if (!instance) {
    try {
      instance = await WebAssembly.instantiate(await core, {quillmar: calls, wasi_snapshot_preview1: noSystem});
      instance.exports._initialize();
    } catch (error) {
      instance = null;
      return {...report, console: consoleText.text, unavailable: String(error)};  // WebAssembly refused
    }
  }
  try {
    const names = [file.name, outName].map((name) => {
      const encoded = utf8.encode(name);
      const ptr = instance.exports.quillmar_alloc(encoded.length);
      bytes(ptr, encoded.length).set(encoded);
      return [ptr, encoded.length];
    });
    instance.exports.quillmar_convert(...names[0], ...names[1]);
    for (const [ptr] of names) instance.exports.quillmar_free(ptr);
    if (instance.exports.memory.buffer.byteLength > keptMemory) instance = null;
  } catch (error) {
    // The core ends at once where memory runs out: a line too long to
    // hold, in the memory that the browser and the page allow.
    instance = null;
    report.status = 1;
    report.trapped = String(error);
    report.reasons = [];
  }
  if (report.status === 0) {
    // A small copy is one blob: each takes the browser a moment to keep.
    if (parts.length > 0) pending = [...parts, new Blob(pending)];
    report.copy = new Blob(pending, {type: 'application/octet-stream'});
  }
  report.console = consoleText.text;
  return report;
}

// A ZIP of the copies, stored as they are: settings files are small, and
// a stored file needs no library to write or to read.
const crcTable = Uint32Array.from({length: 256}, (_, n) => {
  for (let k = 0; k < 8; k++) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
  return n;
});

function crc32(blob) {
  const reader = new FileReaderSync();
  let crc = ~0;
  for (let at = 0; at < blob.size; at += 1 << 24) {
    const bytes = new Uint8Array(reader.readAsArrayBuffer(blob.slice(at, at + (1 << 24))));
    for (let i = 0; i < bytes.length; i++) crc = crcTable[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
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

// A name that unpacks as one file in the folder it is unpacked in, on
// every system: no folder separator, drive colon, character that Windows
// refuses in a name or control character (each becomes _), no leading
// dots, no trailing dot or space, no device name. "..\..\evil.kvr"
// becomes "_.._evil.kvr", as browsers name a single download.
function safeName(name) {
  let safe = name.replace(/[\\/:*?"<>|\x00-\x1f\x7f]/g, '_').replace(/^\.+/, '').replace(/[. ]+$/, '');
  if (/^(con|prn|aux|nul|com\d|lpt\d)(\.|$)/i.test(safe)) safe = `_${safe}`;
  return safe || '_';
}

// A name not yet in the ZIP, as systems that ignore case see names too:
// "ZUL.kvr", then "ZUL (2).kvr".
function uniqueName(name, taken) {
  const dot = name.lastIndexOf('.') > 0 ? name.lastIndexOf('.') : name.length;
  let unique = name;
  for (let n = 2; taken.has(unique.toLowerCase()); n++) unique = `${name.slice(0, dot)} (${n})${name.slice(dot)}`;
  taken.add(unique.toLowerCase());
  return unique;
}

// The report first, under a name that no copy takes, then the copies.
// Entries say they were made on Unix, with names in UTF-8 and the mode
// rw-r--r--: unpackers then take the names as UTF-8, never as an MS-DOS
// code page.
function zip(copies, report) {
  const now = new Date();
  const time = (now.getHours() << 11) | (now.getMinutes() << 5) | (now.getSeconds() >> 1);
  const date = ((now.getFullYear() - 1980) << 9) | ((now.getMonth() + 1) << 5) | now.getDate();
  const utf8 = new TextEncoder();
  const taken = new Set();
  const files = [{name: 'quillmar-report.txt', blob: new Blob([report])},
                 ...copies.map(({name, blob}) => ({name: safeName(name), blob}))];
  const parts = [];
  const directory = [];
  let offset = 0;
  for (const {name, blob} of files) {
    const encoded = utf8.encode(uniqueName(name, taken));
    const crc = crc32(blob);
    // Version 2.0 to extract, names in UTF-8, stored.
    const common = [[2, 20], [2, 0x800], [2, 0], [2, time], [2, date], [4, crc], [4, blob.size],
                    [4, blob.size], [2, encoded.length], [2, 0]];
    directory.push(record(0x02014b50, [[2, 0x0314], ...common, [2, 0], [2, 0], [2, 0],
                                       [4, 0o100644 << 16 >>> 0], [4, offset]], encoded));
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

// Files convert one after the other, in the order given; a small one is
// read while the one before converts.
let converted = Promise.resolve();
onmessage = ({data}) => {
  if (data.type === 'zip') return postMessage({archive: zip(data.copies, data.report)});
  const whole = data.file.size > wholeSize
    ? null
    : data.file.arrayBuffer().then((bytes) => new Uint8Array(bytes), () => null);
  converted = converted.then(async () => postMessage(await convert(data.file, data.outName, await whole)));
};
