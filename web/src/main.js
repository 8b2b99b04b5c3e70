// The playground page: the editor, the compiler's messages at their lines
// as you type, the module's listing beside the source, the run panel, the
// module's download, the examples and the share link.
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { EditorState, StateEffect, StateField } from '@codemirror/state';
import { Decoration, EditorView, WidgetType, keymap, lineNumbers } from '@codemirror/view';
import { oxsHighlighting } from './grammar.js';
import { fragmentOf, sourceOf } from './share.js';
import { Toolchain } from './toolchain.js';

const kSourceName = 'main.oxs';
const kCompileDelayMs = 120;
const kStarter = 'OnLoad(int &result)\n{\n    MessageBeep(0);\n    result = 1;\n}\n';

const $ = (id) => document.getElementById(id);

// A message shown at the end of its line.
class MessageWidget extends WidgetType {
  constructor(text, kind) {
    super();
    this.text = text;
    this.kind = kind;
  }
  eq(other) {
    return other.text === this.text && other.kind === this.kind;
  }
  toDOM() {
    const span = document.createElement('span');
    span.className = `cm-message cm-message-${this.kind}`;
    span.textContent = this.text;
    return span;
  }
}

const setMarks = StateEffect.define();

// marks: [{line, text, kind}] for lines of the source in the editor.
function decorationsOf(doc, marks) {
  const ranges = [];
  for (const m of [...marks].sort((a, b) => a.line - b.line)) {
    const line = doc.line(Math.min(Math.max(m.line, 1), doc.lines));
    ranges.push(Decoration.line({ class: `cm-marked-${m.kind}` }).range(line.from));
    ranges.push(Decoration.widget({ widget: new MessageWidget(m.text, m.kind), side: 1 }).range(line.to));
  }
  return Decoration.set(ranges, true);
}

const marksField = StateField.define({
  create: () => Decoration.none,
  update(value, tr) {
    value = value.map(tr.changes);
    for (const e of tr.effects) if (e.is(setMarks)) value = decorationsOf(tr.state.doc, e.value);
    return value;
  },
  provide: (f) => EditorView.decorations.from(f),
});

class Playground {
  constructor(toolchain, examples) {
    this.toolchain = toolchain;
    this.examples = examples;
    this.result = null;
    this.compileMs = [];
    this.timer = 0;
    this.stale = false;
    this.view = new EditorView({
      parent: $('editor'),
      state: EditorState.create({
        doc: '',
        extensions: [lineNumbers(), history(), keymap.of([...defaultKeymap, ...historyKeymap]), oxsHighlighting,
          marksField, EditorView.updateListener.of((u) => this.changed(u))],
      }),
    });
  }

  // An edit compiles soon; once the author edits, the text is no longer the example picked.
  changed(update) {
    if (!update.docChanged) return;
    if (update.transactions.some((tr) => tr.isUserEvent('input') || tr.isUserEvent('delete'))) $('example').value = '';
    this.scheduleCompile();
  }

  get source() {
    return this.view.state.doc.toString();
  }

  setSource(text) {
    this.view.dispatch({ changes: { from: 0, to: this.view.state.doc.length, insert: text } });
    this.compile();
  }

  scheduleCompile() {
    this.stale = true;
    clearTimeout(this.timer);
    this.timer = setTimeout(() => this.compile(), kCompileDelayMs);
  }

  compile() {
    clearTimeout(this.timer);
    this.stale = false;
    const english = $('language').value === 'en';
    const started = performance.now();
    this.compiled = this.source;
    this.result = this.toolchain.compile(kSourceName, this.compiled, english);
    const ms = performance.now() - started;
    this.compileMs.push(ms);
    const { errors, messages, module, listing } = this.result;
    this.view.dispatch({ effects: setMarks.of(messages.filter((m) => m.file === kSourceName)
      .map((m) => ({ line: m.line, text: m.text, kind: 'error' }))) });
    $('messages').textContent = messages.map((m) => (m.file ? `${m.file}(${m.line}): ${m.text}` : m.text)).join('\n');
    $('listing').textContent = listing;
    $('download').disabled = module === null;
    $('run').disabled = module === null;
    $('status').textContent = errors === 0 ? `${module.length} bytes, compiled in ${ms.toFixed(1)} ms`
      : `${errors} error(s)`;
    $('status').className = errors === 0 ? 'ok' : 'failed';
  }

  // Runs and downloads take the text as it stands, not a compile still waiting.
  current() {
    if (this.stale) this.compile();
    return this.result;
  }

  run() {
    if (!this.current()?.module) return;
    const { status, trace, error } = this.toolchain.run($('script').value);
    $('trace').textContent = trace;
    $('run-error').textContent = error;
    const at = /^(.*?)\((\d+)\): runtime error: (.*)$/.exec(error);
    const marks = at && at[1] === kSourceName ? [{ line: Number(at[2]), text: at[3], kind: 'runtime' }] : [];
    if (marks.length > 0) this.view.dispatch({ effects: setMarks.of(marks) });
    $('run-status').textContent = ['finished', 'runtime error', 'refused'][status] ?? `status ${status}`;
  }

  download() {
    if (!this.current()?.module) return;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([this.result.module], { type: 'application/octet-stream' }));
    link.download = kSourceName.replace(/\.oxs$/, '.oxb');
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 0);
  }

  async share() {
    const url = `${location.origin}${location.pathname}${await fragmentOf(this.source)}`;
    window.history.replaceState(null, '', url);
    $('share-link').value = url;
    $('share-link').hidden = false;
    $('share-link').select();
  }

  async pick(name) {
    const example = this.examples.find((e) => e.name === name);
    if (!example) return;
    $('example').value = name;
    const [source, ...rest] = example.files;
    for (const file of rest) this.toolchain.addFile(file, new Uint8Array(await fetchBytes(`examples/${file}`)));
    $('script').value = new TextDecoder().decode(await fetchBytes(`examples/${example.script}`));
    this.setSource(new TextDecoder('shift_jis').decode(await fetchBytes(`examples/${source}`)));
    this.picked = name;
  }
}

async function fetchBytes(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status}`);
  return response.arrayBuffer();
}

async function start() {
  const [toolchain, examples] = await Promise.all([Toolchain.load(),
    fetchBytes('examples/index.json').then((b) => JSON.parse(new TextDecoder().decode(b)))]);
  const page = new Playground(toolchain, examples);
  for (const e of examples) $('example').append(new Option(`${e.name}.oxs`, e.name));
  $('example').addEventListener('change', (ev) => page.pick(ev.target.value));
  $('language').addEventListener('change', () => page.compile());
  $('run').addEventListener('click', () => page.run());
  $('download').addEventListener('click', () => page.download());
  $('share').addEventListener('click', () => page.share());
  const shared = await sourceOf(location.hash);
  if (shared !== null) page.setSource(shared);
  else if (examples.length > 0) await page.pick(examples[0].name);
  else page.setSource(kStarter);
  globalThis.playground = page;
  document.body.dataset.ready = 'yes';
}

start().catch((e) => {
  $('status').textContent = `the toolchain did not load: ${e.message}`;
  $('status').className = 'failed';
});
