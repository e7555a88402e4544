// Starts `corvamat-run --dap` for debug sessions of type "corvamat"; the path comes from the
// setting corvamat.runnerPath (or the launch configuration's runnerPath).
'use strict';
const vscode = require('vscode');

function activate(context) {
  context.subscriptions.push(vscode.debug.registerDebugAdapterDescriptorFactory('corvamat', {
    createDebugAdapterDescriptor(session) {
      const runner = session.configuration.runnerPath ||
        vscode.workspace.getConfiguration('corvamat').get('runnerPath') || 'corvamat-run';
      return new vscode.DebugAdapterExecutable(runner, ['--dap']);
    },
  }));
}

function deactivate() {}

module.exports = { activate, deactivate };
