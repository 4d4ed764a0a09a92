// Runs a wasm32-wasi program under Node.js's WASI, with its standard
// streams and no files, and ends with its exit status.
//   node run_wasi.mjs PROGRAM [ARGS...]
import {readFileSync} from 'node:fs';
import {WASI} from 'node:wasi';

const [program, ...args] = process.argv.slice(2);
const wasi = new WASI({version: 'preview1', args: [program, ...args], returnOnExit: true});
const module = await WebAssembly.compile(readFileSync(program));
const instance = await WebAssembly.instantiate(module, wasi.getImportObject());
process.exitCode = wasi.start(instance);
