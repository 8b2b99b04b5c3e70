// The grammar under the engine VS Code uses (vscode-textmate with the
// Oniguruma regular expressions): every example program tokenizes, and
// the constructs of the language get the scopes expected of them.
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const textmate = require('vscode-textmate');
const oniguruma = require('vscode-oniguruma');

const root = path.join(__dirname, '..', '..', '..');
const grammarPath = path.join(__dirname, '..', 'syntaxes', 'oxs.tmLanguage.json');

async function loadGrammar() {
  const wasm = fs.readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
  await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const registry = new textmate.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (patterns) => new oniguruma.OnigScanner(patterns),
      createOnigString: (s) => new oniguruma.OnigString(s),
    }),
    loadGrammar: async () => textmate.parseRawGrammar(fs.readFileSync(grammarPath, 'utf8'), grammarPath),
  });
  return registry.loadGrammar('source.oxs');
}

// Every token of the text: its text and its innermost scope, line by line.
function tokenize(grammar, text) {
  let state = textmate.INITIAL;
  const tokens = [];
  for (const line of text.split('\n')) {
    const result = grammar.tokenizeLine(line, state);
    for (const t of result.tokens) tokens.push({ text: line.slice(t.startIndex, t.endIndex), scopes: t.scopes });
    state = result.ruleStack;
  }
  return tokens;
}

function scopeOf(tokens, text) {
  const token = tokens.find((t) => t.text === text);
  assert.ok(token, `no token ${JSON.stringify(text)} in ${JSON.stringify(tokens.map((t) => t.text))}`);
  return token.scopes[token.scopes.length - 1];
}

// [source, token, scope it must have]
const cases = [
  ['int a;', 'int', 'storage.type.oxs'],
  ['uint b;', 'uint', 'storage.type.oxs'],
  ['str s;', 'str', 'storage.type.oxs'],
  ['while (x) { break; }', 'while', 'keyword.control.oxs'],
  ['} elseif (x) {', 'elseif', 'keyword.control.oxs'],
  ['return;', 'return', 'keyword.control.oxs'],
  ['Int x;', 'Int x;', 'source.oxs'],  // keywords are case-sensitive
  ['#include "dir\\file.oxh"', 'include', 'keyword.control.directive.include.oxs'],
  ['#include "dir\\file.oxh"', '"dir\\file.oxh"', 'string.quoted.double.include.oxs'],
  ['# define MAX 100', 'define', 'keyword.control.directive.define.oxs'],
  ['# define MAX 100', 'MAX', 'entity.name.constant.oxs'],
  ['#bitmap LOGO "res\\logo.bmp" 0', '"res\\logo.bmp"', 'string.quoted.double.file.oxs'],
  ['#wave 1 "click.wav"', 'wave', 'keyword.control.directive.oxs'],
  ['#menu 1 { POPUP "a" { MENUITEM "b", 1, 0 } }', 'MENUITEM', 'keyword.other.menu.oxs'],
  ['#module "x"', 'module', 'keyword.control.directive.oxs'],
  ['x = 0x1F;', '0x1F', 'constant.numeric.hex.oxs'],
  ['x = 0X;', '0X', 'constant.numeric.hex.oxs'],
  ['x = 010;', '010', 'constant.numeric.octal.oxs'],
  ['x = 0;', '0', 'constant.numeric.octal.oxs'],
  ['x = 4294967295;', '4294967295', 'constant.numeric.decimal.oxs'],
  ['x = 08;', '08', 'invalid.illegal.numeric.oxs'],
  ['x = 12ab;', '12ab', 'invalid.illegal.numeric.oxs'],
  ['strcpy(s, "a\\tb");', '\\t', 'constant.character.escape.oxs'],
  ['strcpy(s, "\\x414");', '\\x414', 'constant.character.escape.oxs'],
  ['strcpy(s, "say \\"hi\\"");', '\\"', 'constant.character.escape.oxs'],
  ['strcpy(s, "/* no comment */");', '/* no comment */', 'string.quoted.double.oxs'],
  ['strcpy(s, "日本語");', '日本語', 'string.quoted.double.oxs'],
  ['SetField(1, 2, 3, 4);', 'SetField', 'support.function.standard.oxs'],
  ['OnClick(int x, int y, int k)', 'OnClick', 'support.function.event.oxs'],
  ['helper(1);', 'helper', 'entity.name.function.oxs'],
  ['x = a << 2;', '<<', 'keyword.operator.oxs'],
  ['x = #-y;', '#-', 'keyword.operator.oxs'],
  ['// to the end', ' to the end', 'comment.line.double-slash.oxs'],
  ['/* a /* b */ c', ' c', 'source.oxs'],  // comments do not nest
  ['x/*note*/y', 'note', 'comment.block.oxs'],
  ['/*/ int a;', '/*/', 'comment.block.oxs'],  // opened and closed in three characters
  ['/*/ int a;', 'int', 'storage.type.oxs'],
  ['/**/ int a;', 'int', 'storage.type.oxs'],
  ['/* two\nlines */ int a;', 'lines ', 'comment.block.oxs'],
  ['/* two\nlines */ int a;', 'int', 'storage.type.oxs'],
];

// The grammar knows every standard function of the compiler's host table.
function checkStandardFunctions(grammar) {
  const table = fs.readFileSync(path.join(root, 'symbols', 'host_tables.cpp'), 'utf8');
  const names = [...table.matchAll(/\{0x[0-9A-Fa-f]+, "(\w+)"/g)].map((m) => m[1]);
  assert.strictEqual(names.length, 57);
  for (const name of names) assert.strictEqual(scopeOf(tokenize(grammar, `${name}(`), name), 'support.function.standard.oxs');
}

function checkExamples(grammar) {
  const dir = path.join(root, 'examples');
  const decoder = new TextDecoder('shift_jis');
  for (const file of fs.readdirSync(dir).filter((f) => /\.ox[sh]$/.test(f))) {
    const tokens = tokenize(grammar, decoder.decode(fs.readFileSync(path.join(dir, file))));
    assert.ok(tokens.some((t) => t.scopes.includes('storage.type.oxs') || t.scopes.includes('keyword.control.directive.define.oxs')),
              `${file}: nothing recognised`);
    assert.ok(!tokens.some((t) => t.scopes.some((s) => s.startsWith('invalid'))), `${file}: an invalid token`);
  }
}

(async () => {
  const grammar = await loadGrammar();
  let failures = 0;
  for (const [source, token, scope] of cases) {
    try {
      assert.strictEqual(scopeOf(tokenize(grammar, source), token), scope);
    } catch (e) {
      failures++;
      console.error(`FAIL ${JSON.stringify(source)} ${JSON.stringify(token)}: ${e.message}`);
    }
  }
  for (const check of [checkStandardFunctions, checkExamples]) {
    try {
      check(grammar);
    } catch (e) {
      failures++;
      console.error(`FAIL ${check.name}: ${e.message}`);
    }
  }
  console.log(`${cases.length + 2 - failures} passed, ${failures} failed`);
  process.exit(failures ? 1 : 0);
})();
