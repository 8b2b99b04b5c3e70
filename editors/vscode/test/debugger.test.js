// The debugger through the client VS Code's own adapters are tested with
// (DebugClient): oxrun --dap launched on a program with a script stops at a
// breakpoint in an event handler and in a function of an include file,
// shows the stack and the variables (a local, a global, a by-reference
// parameter), steps over, into and out, stops at a runtime error with its
// message, and runs to the end. Usage: node test/debugger.test.js OXRUN
'use strict';
const assert = require('assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const oxrun = process.argv[2] || 'oxrun';
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'oxrun-dap-'));
const prog = path.join(dir, 'prog.oxs');
const lib = path.join(dir, 'lib.oxi');
const script = path.join(dir, 'clicks.oxt');

fs.writeFileSync(lib, ['bump(int & n, int by)', '{', '    n = n + by;', '}', ''].join('\n'));
fs.writeFileSync(prog, [
  'int count;',                     // 1
  '#include "lib.oxi"',             // 2
  'OnClick(int x, int y, int keys)', // 3
  '{',                              // 4
  '    int step;',                  // 5
  '    step = x;',                  // 6
  '    bump(count, step);',         // 7
  '    MessageBeep(count / y);',    // 8
  '}',                              // 9
  ''].join('\n'));
// The first click bumps count to 2 and beeps; the second bumps it to 4 and
// divides by zero.
fs.writeFileSync(script, 'OnClick 2 1 0\nOnClick 2 0 0\n');

// name=value of a scope's variables, by the scope's name.
async function variables(dc, frameId, scopeName) {
  const scopes = (await dc.scopesRequest({ frameId })).body.scopes;
  const scope = scopes.find((s) => s.name === scopeName);
  const list = (await dc.variablesRequest({ variablesReference: scope.variablesReference })).body.variables;
  return list.map((v) => `${v.name}=${v.value}`).join(' ');
}

async function topFrame(dc) {
  return (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames[0];
}

async function stepTo(dc, request, where) {
  await Promise.all([dc[request]({ threadId: 1 }), dc.assertStoppedLocation('step', where)]);
}

async function session(dc) {
  let output = '';
  dc.on('output', (e) => { output += `${e.body.category}: ${e.body.output}`; });
  await dc.hitBreakpoint({ program: prog, script }, { path: prog, line: 7 });
  const frame = await topFrame(dc);
  assert.strictEqual(frame.name, 'OnClick');
  assert.strictEqual(await variables(dc, frame.id, 'Locals'), 'x=2 y=1 keys=0 step=2');
  assert.strictEqual(await variables(dc, frame.id, 'Globals'), 'count=0');

  await stepTo(dc, 'stepInRequest', { path: lib, line: 3 });
  const stack = (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames;
  assert.deepStrictEqual(stack.map((f) => `${f.name}:${f.line}`), ['bump:3', 'OnClick:7']);
  assert.strictEqual(await variables(dc, stack[0].id, 'Locals'), 'n=0 (refers to count) by=2');
  await stepTo(dc, 'stepOutRequest', { path: prog, line: 8 });
  await stepTo(dc, 'nextRequest', { path: prog, line: 9 });
  assert.strictEqual((await dc.evaluateRequest({ expression: 'count', context: 'hover' })).body.result, '2');

  const set = await dc.setBreakpointsRequest({ source: { path: lib }, breakpoints: [{ line: 2 }] });
  assert.strictEqual(set.body.breakpoints[0].line, 3);
  await Promise.all([dc.continueRequest({ threadId: 1 }), dc.assertStoppedLocation('breakpoint', { path: prog, line: 7 })]);
  await Promise.all([dc.continueRequest({ threadId: 1 }), dc.assertStoppedLocation('breakpoint', { path: lib, line: 3 })]);
  assert.strictEqual((await dc.evaluateRequest({ expression: 'n', frameId: (await topFrame(dc)).id })).body.result,
    '2 (refers to count)');

  const [, error] = await Promise.all([dc.continueRequest({ threadId: 1 }), dc.waitForEvent('stopped')]);
  assert.strictEqual(error.body.reason, 'exception');
  assert.strictEqual(error.body.text, 'division by zero');
  assert.strictEqual((await topFrame(dc)).line, 8);

  const [, exited] = await Promise.all([
    dc.continueRequest({ threadId: 1 }), dc.waitForEvent('exited'), dc.waitForEvent('terminated'),
  ]);
  assert.strictEqual(exited.body.exitCode, 1);
  assert.strictEqual(output, 'stdout: OnClick(2, 1, 0)\nstdout:   MessageBeep(2)\nstdout: OnClick(2, 0, 0)\n' +
    `stderr: oxrun: ${prog}(8): runtime error: division by zero (in OnClick, code address 56)\n`);
}

(async () => {
  const dc = new DebugClient(oxrun, '--dap', 'oxrun');
  let failed = false;
  try {
    await dc.start();
    await session(dc);
    console.log('debugger session passed');
  } catch (e) {
    failed = true;
    console.error(`FAIL ${e.stack || e.message}`);
  } finally {
    await dc.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
  process.exit(failed ? 1 : 0);
})();
