// The WebAssembly build held to the native compiler under Node:
//   node acceptance.mjs PLAYGROUND_JS OXBUILD FOLDER...
// Every .oxs file at the top of each FOLDER is compiled by both, the
// folder's files (resources, include files) in the in-memory file system
// for the first; both must agree on success and give the same module
// bytes. Where NAME.oxt and NAME.trace stand beside a clean source, the
// WebAssembly run of the script must give the expected trace. Prints the
// counts and one FAIL line per difference; exit status 1 on any. A broken
// script must be refused, as oxrun refuses it.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

const [playgroundJs, oxbuildArg, ...folders] = process.argv.slice(2);
const oxbuild = path.resolve(oxbuildArg);
const createPlayground = createRequire(import.meta.url)(path.resolve(playgroundJs));
const wasm = await createPlayground();
const counts = { sources: 0, modules: 0, refused: 0, traces: 0, failures: 0 };

function fail(what) {
  console.log(`FAIL ${what}`);
  counts.failures++;
}

// Copies a folder of the disk into the in-memory file system, subfolders too.
function mirror(from, to) {
  wasm.FS.mkdir(to);
  for (const entry of fs.readdirSync(from, { withFileTypes: true })) {
    const source = path.join(from, entry.name);
    if (entry.isDirectory()) mirror(source, `${to}/${entry.name}`);
    else wasm.FS.writeFile(`${to}/${entry.name}`, fs.readFileSync(source));
  }
}

// The native compiler's module, or null when it made none.
function nativeModule(folder, name) {
  const work = fs.mkdtempSync(path.join(path.dirname(folder), 'native-'));
  fs.cpSync(folder, work, { recursive: true });
  spawnSync(oxbuild, [name], { cwd: work });
  const module = path.join(work, name.replace(/\.oxs$/, '.oxb'));
  const bytes = fs.existsSync(module) ? fs.readFileSync(module) : null;
  fs.rmSync(work, { recursive: true, force: true });
  return bytes;
}

function wasmCompile(file, name) {
  const errors = wasm.ccall('playground_compile', 'number', ['string', 'string', 'number'], [file, name, 1]);
  if (errors !== 0) return null;
  const at = wasm._playground_module();
  return Buffer.from(wasm.HEAPU8.subarray(at, at + wasm._playground_module_size()));
}

function checkTrace(folder, name, label) {
  const script = path.join(folder, name.replace(/\.oxs$/, '.oxt'));
  const expected = path.join(folder, name.replace(/\.oxs$/, '.trace'));
  if (!fs.existsSync(script) || !fs.existsSync(expected)) return;
  counts.traces++;
  const status = wasm.ccall('playground_run', 'number', ['string', 'string'], [fs.readFileSync(script, 'utf8'), script]);
  const trace = wasm.UTF8ToString(wasm._playground_trace());
  if (status !== 0 || trace !== fs.readFileSync(expected, 'utf8')) fail(`${label}: the trace differs from ${expected}`);
}

function checkSource(folder, memory, name) {
  const label = path.join(folder, name);
  counts.sources++;
  const native = nativeModule(folder, name);
  const built = wasmCompile(`${memory}/${name}`, name);
  if (native === null && built === null) {
    counts.refused++;
  } else if (native === null || built === null) {
    fail(`${label}: ${native === null ? 'only the WebAssembly build' : 'only the native build'} made a module`);
  } else if (!native.equals(built)) {
    fail(`${label}: the modules differ (${native.length} and ${built.length} bytes)`);
  } else {
    counts.modules++;
    checkTrace(folder, name, label);
  }
}

// A script that does not parse is refused with its line, the exception
// caught inside the WebAssembly build rather than aborting it.
function checkRefusedScript() {
  wasm.FS.writeFile('/loads.oxs', 'OnLoad(int &result)\n{\n    result = 1;\n}\n');
  if (wasmCompile('/loads.oxs', 'loads.oxs') === null) fail('a small source does not compile');
  const status = wasm.ccall('playground_run', 'number', ['string', 'string'], ['OnClick 1\n', 'bad.oxt']);
  const error = wasm.UTF8ToString(wasm._playground_run_error());
  if (status !== 2 || !error.startsWith('bad.oxt(1): ')) fail(`a broken script: status ${status}, "${error}"`);
}

folders.forEach((folder, index) => {
  const memory = `/check${index}`;
  mirror(folder, memory);
  for (const name of fs.readdirSync(folder).sort()) if (name.endsWith('.oxs')) checkSource(folder, memory, name);
});
checkRefusedScript();
console.log(`web acceptance: ${counts.sources} sources, ${counts.modules} identical modules, ` +
  `${counts.refused} refused by both, ${counts.traces} traces checked`);
process.exit(counts.failures === 0 ? 0 : 1);
