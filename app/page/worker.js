// The page's worker: converts one picked file at a time with the core,
// reading it in slices as the core asks, so that neither the file nor its
// copy need be held whole in memory, and the page stays responsive. It
// only carries bytes and words between the core and the page.
'use strict';

// The core, as the page's build inlines it.
const coreBase64 = '@CORE_BASE64@';
const core = WebAssembly.compile(Uint8Array.from(atob(coreBase64), (c) => c.charCodeAt(0)));

const utf8 = new TextEncoder();
const text = new TextDecoder();
// A copy is kept in parts this large; the browser may keep each on disk.
const partSize = 16 << 20;
// Progress is told at most this often, in ms.
const progressEvery = 100;

// The C library's calls to the system, which a conversion never needs
// (the core's own imports carry all its input and output): each fails.
const noSystem = new Proxy({}, {get: () => () => 8});

async function convert(file, outName) {
  let memory;
  const bytes = (ptr, len) => new Uint8Array(memory.buffer, ptr, len);
  const str = (ptr, len) => text.decode(bytes(ptr, len));
  const report = {type: 'done', console: '', heads: [], changes: [], reasons: [], status: 1};
  let at = 0;
  let told = 0;
  const reader = new FileReaderSync();
  const parts = [];
  let pending = [];
  let pendingSize = 0;
  const imports = {
    quillmar: {
      read(ptr, len) {
        const n = Math.min(len, file.size - at);
        if (n <= 0) return 0;
        try {
          bytes(ptr, n).set(new Uint8Array(reader.readAsArrayBuffer(file.slice(at, at + n))));
        } catch {
          return -1;  // the file was changed, moved or cannot be read
        }
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
        try {
          reader.readAsArrayBuffer(file.slice(Math.max(0, end - 1), end));
        } catch {
          return 0;
        }
        return end === file.size ? 1 : 0;
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
        report.console += str(ptr, len);
      },
      head_type(line, ptr, len, known) {
        report.heads.push({line, name: str(ptr, len), known: known !== 0});
      },
      changed(line, before, beforeLen, after, afterLen) {
        report.changes.push({line, before: str(before, beforeLen), after: str(after, afterLen)});
      },
      ended(status, lines, rewritten) {
        Object.assign(report, {status, lines, rewritten});
      },
      reason(ptr, len) {
        report.reasons.push(str(ptr, len));
      },
    },
    wasi_snapshot_preview1: noSystem,
  };
  let instance;
  try {
    instance = await WebAssembly.instantiate(await core, imports);
  } catch (error) {
    return {...report, unavailable: String(error)};  // WebAssembly refused
  }
  try {
    memory = instance.exports.memory;
    instance.exports._initialize();
    const names = [file.name, outName].map((name) => {
      const encoded = utf8.encode(name);
      const ptr = instance.exports.quillmar_alloc(encoded.length);
      bytes(ptr, encoded.length).set(encoded);
      return [ptr, encoded.length];
    });
    instance.exports.quillmar_convert(...names[0], ...names[1]);
  } catch (error) {
    // The core ends at once where memory runs out: a line too long to
    // hold, in the memory that the browser and the page allow.
    report.status = 1;
    report.trapped = String(error);
    report.reasons = [];
  }
  if (report.status === 0) {
    parts.push(new Blob(pending));
    report.copy = new Blob(parts, {type: 'application/octet-stream'});
  }
  return report;
}

onmessage = async ({data}) => {
  postMessage(await convert(data.file, data.outName));
};
