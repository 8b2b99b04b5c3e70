// Starts oxls, the language server, for module sources (.oxs) and their
// include files (.oxh). The server's path comes from the setting
// "oxs.server.path" (default: oxls on the PATH).
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

function activate() {
  const command = vscode.workspace.getConfiguration('oxs').get('server.path') || 'oxls';
  client = new LanguageClient('oxls', 'oxls', { command, args: [] }, {
    documentSelector: [{ scheme: 'file', language: 'oxs' }, { scheme: 'untitled', language: 'oxs' }],
  });
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
