// The WebAssembly toolchain (playground.js, loaded by the page as a
// script): the editor's text written into its in-memory file system in
// code page 932, compiled, listed and run there. Nothing leaves the page.
const kFolder = '/work';
// Compiled once while the page loads, so that the browser has compiled the
// toolchain's code before the first source the author sees.
const kWarmUpName = 'warm-up.oxs';
const kWarmUp = 'int n;\nstr s;\nf(int &v) { v = v + 1; }\nOnLoad(int &result)\n{\n    f(n);\n    if (n > 0) { strcpy(s, "x"); }\n    while (n < 3) { n = n + 1; }\n    result = 1;\n}\n';

export class Toolchain {
  static async load() {
    const wasm = await globalThis.createPlayground();
    wasm.FS.mkdir(kFolder);
    const toolchain = new Toolchain(wasm);
    toolchain.compile(kWarmUpName, kWarmUp, true);
    return toolchain;
  }

  constructor(wasm) {
    this.wasm = wasm;
  }

  // An example's other files (include files, resources), bytes as they are.
  addFile(name, bytes) {
    const parts = name.split('/');
    for (let i = 1; i < parts.length; i++) {
      const folder = `${kFolder}/${parts.slice(0, i).join('/')}`;
      if (!this.wasm.FS.analyzePath(folder).exists) this.wasm.FS.mkdir(folder);
    }
    this.wasm.FS.writeFile(`${kFolder}/${name}`, bytes);
  }

  // Compiles the text as the source NAME: the messages (file, line, text;
  // a note of characters the source's code page cannot hold), and the
  // module and its listing when it has no error.
  compile(name, text, english) {
    const w = this.wasm;
    const path = `${kFolder}/${name}`;
    const unmappable = w.ccall('playground_write_source', 'number', ['string', 'string'], [path, text]);
    const errors = w.ccall('playground_compile', 'number', ['string', 'string', 'number'], [path, name, english ? 1 : 0]);
    const messages = parseMessages(w.UTF8ToString(w._playground_messages()));
    if (unmappable > 0) messages.push({ file: '', line: 0, text: `${unmappable} character(s) without a code page 932 form, compiled as '?'` });
    if (errors !== 0) return { errors, messages, module: null, listing: '' };
    const at = w._playground_module();
    const module = w.HEAPU8.slice(at, at + w._playground_module_size());
    return { errors, messages, module, listing: w.UTF8ToString(w._playground_listing()) };
  }

  // Runs the last clean compile with the script: the status (0, 1 a
  // runtime error, 2 refused), the trace and the error line.
  run(script) {
    const w = this.wasm;
    const status = w.ccall('playground_run', 'number', ['string', 'string'], [script, 'script']);
    return { status, trace: w.UTF8ToString(w._playground_trace()), error: w.UTF8ToString(w._playground_run_error()) };
  }
}

// "file(line):message detail" lines; other lines (a fatal stop) belong to no line.
const kMessageLine = /^(.*?)\((\d+)\):\s?(.*)$/;

export function parseMessages(text) {
  return text.split('\n').filter((l) => l.trim() !== '').map((line) => {
    const m = kMessageLine.exec(line);
    return m ? { file: m[1], line: Number(m[2]), text: m[3].trimEnd() } : { file: '', line: 0, text: line };
  });
}
