// Starts oxls, the language server, for module sources (.oxs) and their
// include files (.oxh). The server's path comes from the setting
// "oxs.server.path" (default: oxls on the PATH, oxls.exe on Windows), the
// messages' language from "oxs.messages".
const path = require('path');
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

// On Windows the server is oxls.exe: a name or path given without an
// extension gets it.
function serverCommand(configured) {
  if (process.platform !== 'win32' || path.extname(configured) !== '') return configured;
  return configured + '.exe';
}

function activate() {
  const settings = vscode.workspace.getConfiguration('oxs');
  const command = serverCommand(settings.get('server.path') || 'oxls');
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
