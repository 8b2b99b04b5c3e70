// Starts oxls, the language server, for module sources (.oxs) and their
// include files (.oxh). The server's path comes from the setting
// "oxs.server.path" (default: oxls on the PATH, oxls.exe on Windows), the
// messages' language from "oxs.messages". Debugging (type "oxrun") starts
// the runner from "oxs.runner.path" as oxrun --dap.
const path = require('path');
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

// On Windows the programs are oxls.exe and oxrun.exe: a name or path given
// without an extension gets it.
function programCommand(configured) {
  if (process.platform !== 'win32' || path.extname(configured) !== '') return configured;
  return configured + '.exe';
}

const debugAdapters = {
  createDebugAdapterDescriptor() {
    const runner = vscode.workspace.getConfiguration('oxs').get('runner.path') || 'oxrun';
    return new vscode.DebugAdapterExecutable(programCommand(runner), ['--dap']);
  },
};

function activate(context) {
  context.subscriptions.push(vscode.debug.registerDebugAdapterDescriptorFactory('oxrun', debugAdapters));
  const settings = vscode.workspace.getConfiguration('oxs');
  const command = programCommand(settings.get('server.path') || 'oxls');
  client = new LanguageClient('oxls', 'oxls', { command, args: [] }, {
    documentSelector: [{ scheme: 'file', language: 'oxs' }, { scheme: 'untitled', language: 'oxs' }],
    initializationOptions: { messages: settings.get('messages') || 'ja' },
  });
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
