// Sessions of `corvamat-run --dap` driven by Microsoft's DebugClient on an SDCC --debug program:
// every request the adapter offers, pause during a long run, serial output and input, refused and
// malformed requests, and a client that disappears.
// Usage: node session_test.js CORVAMAT_RUN PROGRAM.ihx SOURCE.c
'use strict';
const assert = require('assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
let DebugClient;
try {
  ({ DebugClient } = require('@vscode/debugadapter-testsupport'));
} catch (e) {
  console.log('FAIL: @vscode/debugadapter-testsupport is not installed in tests/dap: run scripts/install-deps.sh');
  process.exit(1);
}

const [runner, program, source] = process.argv.slice(2);
const text = fs.readFileSync(source, 'utf8').split('\n');
// The line of a marker comment in the program's source.
const line = (marker) => text.findIndex((l) => l.includes(`/* ${marker} */`)) + 1;

let passed = 0, failed = 0;
async function check(name, body) {
  try {
    await body();
    passed++;
  } catch (e) {
    failed++;
    console.log(`FAIL: ${name}: ${e.stack || e}`);
  }
}

async function client() {
  const dc = new DebugClient(runner, '--dap', 'corvamat');
  dc.defaultTimeout = 10000;
  // Every message the adapter sends, answers to nobody included (a malformed message gets one).
  dc.raw = [];
  const dispatch = dc.dispatch.bind(dc);
  dc.dispatch = (body) => { dc.raw.push(JSON.parse(body)); dispatch(body); };
  await dc.start();
  dc._adapterProcess.stdin.on('error', () => {});  // writes after the adapter has gone
  return dc;
}

async function scopeValues(dc, frameId, scopeName) {
  const scopes = (await dc.scopesRequest({ frameId })).body.scopes;
  const scope = scopes.find((s) => s.name === scopeName);
  assert.ok(scope, `scope ${scopeName} in ${scopes.map((s) => s.name)}`);
  const vars = (await dc.variablesRequest({ variablesReference: scope.variablesReference })).body.variables;
  return { ref: scope.variablesReference, vars, get: (n) => vars.find((v) => v.name === n) };
}

async function topFrame(dc) {
  return (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames[0];
}

async function sessionOne() {
  const dc = await client();
  let output = '';
  dc.on('output', (e) => { if (e.body.category === 'stdout') output += e.body.output; });

  await check('initialize announces the capabilities', async () => {
    const caps = (await dc.initializeRequest()).body;
    for (const c of ['supportsConfigurationDoneRequest', 'supportsFunctionBreakpoints', 'supportsInstructionBreakpoints',
      'supportsDataBreakpoints', 'supportsSetVariable', 'supportsReadMemoryRequest', 'supportsWriteMemoryRequest',
      'supportsDisassembleRequest', 'supportsSteppingGranularity', 'supportsTerminateRequest'])
      assert.strictEqual(caps[c], true, c);
  });

  await check('malformed and unknown requests are refused and the session goes on', async () => {
    const body = '{"seq": 1, "type": "request", "command"';
    dc._adapterProcess.stdin.write(`Content-Length: ${body.length}\r\n\r\n${body}`);
    await assert.rejects(dc.customRequest('fly'), /unknown request 'fly'/);
    assert.ok(dc.raw.some((m) => m.type === 'response' && m.success === false && /not JSON/.test(m.message)));
    await assert.rejects(dc.setBreakpointsRequest({ source: { path: source }, breakpoints: [{ line: 'x' }] }), /line/);
    await assert.rejects(dc.stackTraceRequest({ threadId: 1 }), /no program/);
    await assert.rejects(dc.launchRequest({ program: '/nonexistent/x.ihx' }), /x\.ihx/);
    await assert.rejects(dc.launchRequest({ program, serialIn: '/dev/zero' }), /16 MB/);
    await assert.rejects(dc.launchRequest({ program, cpu: '8086' }), /8051 or 8052/);
  });

  const initialized = dc.waitForEvent('initialized');
  await dc.launchRequest({ program, cpu: '8052', frequency: 11059200 });
  await initialized;

  await check('breakpoints by line and function are verified or refused with a reason', async () => {
    const lines = (await dc.setBreakpointsRequest({
      source: { path: source }, breakpoints: [{ line: line('add-body') }, { line: 9999 }],
    })).body.breakpoints;
    assert.deepStrictEqual([lines[0].verified, lines[0].line], [true, line('add-body')]);
    assert.strictEqual(lines[1].verified, false);
    assert.match(lines[1].message, /no code/);
    const fns = (await dc.setFunctionBreakpointsRequest({ breakpoints: [{ name: 'spin' }, { name: 'nosuch' }] })).body.breakpoints;
    assert.deepStrictEqual(fns.map((b) => b.verified), [true, false]);
    const threads = (await dc.threadsRequest()).body.threads;
    assert.deepStrictEqual(threads, [{ id: 1, name: '8051' }]);
  });

  await check('the run stops at the line breakpoint with the call stack', async () => {
    const stopped = dc.waitForEvent('stopped');
    await dc.configurationDoneRequest();
    assert.strictEqual((await stopped).body.reason, 'breakpoint');
    const frames = (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames;
    assert.deepStrictEqual(frames.map((f) => [f.name, f.line]), [['add', line('add-body')], ['main', line('main-call')]]);
    assert.strictEqual(path.basename(frames[0].source.path), 'session.c');
    assert.match(frames[0].instructionPointerReference, /^0x[0-9A-F]{4}$/);
  });

  await check('scopes: locals with parameters, globals, registers, SFRs; setVariable', async () => {
    const frameId = (await topFrame(dc)).id;
    const locals = await scopeValues(dc, frameId, 'Locals');
    assert.deepStrictEqual(['x', 'y'].map((n) => locals.get(n).value), ['2', '3']);
    const set = await dc.setVariableRequest({ variablesReference: locals.ref, name: 'y', value: '10' });
    assert.strictEqual(set.body.value, '10');
    await assert.rejects(dc.setVariableRequest({ variablesReference: locals.ref, name: 'y', value: 'ten' }));
    const globals = await scopeValues(dc, frameId, 'Globals');
    const pr = globals.get('pr');
    assert.ok(pr.variablesReference > 0);
    const members = (await dc.variablesRequest({ variablesReference: pr.variablesReference })).body.variables;
    assert.deepStrictEqual(members.map((m) => [m.name, m.value]), [['a', '1'], ['b', '2']]);
    const regs = await scopeValues(dc, frameId, 'Registers');
    for (const r of ['A', 'B', 'PSW', 'SP', 'DPTR', 'R0', 'R7', 'PC']) assert.ok(regs.get(r), r);
    const flags = (await dc.variablesRequest({ variablesReference: regs.get('PSW').variablesReference })).body.variables;
    assert.deepStrictEqual(flags.map((f) => f.name), ['CY', 'AC', 'F0', 'RS1', 'RS0', 'OV', 'P']);
    const sfrs = await scopeValues(dc, frameId, 'SFRs');
    assert.strictEqual(sfrs.get('SCON').value, '50h');
  });

  await check('next, stepOut and an instruction step', async () => {
    let stopped = dc.waitForEvent('stopped');
    await dc.nextRequest({ threadId: 1 });
    assert.strictEqual((await stopped).body.reason, 'step');
    assert.strictEqual((await topFrame(dc)).line, line('add-total'));
    assert.strictEqual((await dc.evaluateRequest({ expression: 's', context: 'watch' })).body.result, '12');
    stopped = dc.waitForEvent('stopped');
    await dc.stepOutRequest({ threadId: 1 });
    await stopped;
    const back = await topFrame(dc);
    assert.deepStrictEqual([back.name, back.line], ['main', line('main-after')]);
    stopped = dc.waitForEvent('stopped');
    await dc.stepInRequest({ threadId: 1, granularity: 'instruction' });
    await stopped;
    assert.notStrictEqual((await topFrame(dc)).instructionPointerReference, back.instructionPointerReference);
  });

  await check('evaluate names, registers, SFRs and memory cells', async () => {
    const ev = async (expression) => (await dc.evaluateRequest({ expression, context: 'repl' })).body.result;
    assert.strictEqual(await ev('k'), '12');
    assert.strictEqual(await ev('total'), '12');
    assert.strictEqual(await ev('pr.a'), '1');
    assert.strictEqual(await ev('SCON'), '50h');
    assert.strictEqual(await ev('code[0x0]'), '02h');
    assert.match(await ev('PSW'), /h$/);
    assert.strictEqual(await ev('iram[0x81]'), await ev('iram[129]'));
    await assert.rejects(dc.evaluateRequest({ expression: 'nosuch', context: 'repl' }), /nosuch/);
  });

  await check('a data breakpoint on a variable stops after the write; memory reads and writes', async () => {
    const info = (await dc.dataBreakpointInfoRequest({ name: 'buf' })).body;
    assert.strictEqual(info.dataId, 'var:buf');
    const iram = (await dc.dataBreakpointInfoRequest({ name: 'iram:0x30' })).body;
    assert.strictEqual(iram.dataId, 'iram:0x30');
    const refused = (await dc.dataBreakpointInfoRequest({ name: 'nosuch' })).body;
    assert.strictEqual(refused.dataId, null);
    const set = (await dc.setDataBreakpointsRequest({ breakpoints: [{ dataId: info.dataId }, { dataId: 'bad:1' }] })).body;
    assert.deepStrictEqual(set.breakpoints.map((b) => b.verified), [true, false]);
    const stopped = dc.waitForEvent('stopped');
    await dc.continueRequest({ threadId: 1 });
    const ev = await stopped;
    assert.strictEqual(ev.body.reason, 'data breakpoint');
    assert.deepStrictEqual(ev.body.hitBreakpointIds, [set.breakpoints[0].id]);
    await dc.setDataBreakpointsRequest({ breakpoints: [] });
    const ref = (await dc.evaluateRequest({ expression: 'buf', context: 'watch' })).body.memoryReference;
    assert.match(ref, /^xram:/);
    const read = (await dc.customRequest('readMemory', { memoryReference: ref, offset: 1, count: 1 })).body;
    assert.deepStrictEqual([...Buffer.from(read.data, 'base64')], [12]);
    await dc.customRequest('writeMemory', { memoryReference: ref, offset: 2, data: Buffer.from([0x55]).toString('base64') });
    assert.strictEqual((await dc.evaluateRequest({ expression: 'buf[2]', context: 'repl' })).body.result, "85 'U'");
    const code = (await dc.customRequest('readMemory', { memoryReference: 'code:0xFFFE', count: 4 })).body;
    assert.strictEqual(code.unreadableBytes, 2);
    await assert.rejects(dc.customRequest('readMemory', { memoryReference: 'disk:0', count: 1 }), /unknown memory/);
  });

  await check('disassemble around the program counter with names and lines', async () => {
    const pc = (await topFrame(dc)).instructionPointerReference;
    const list = (await dc.disassembleRequest({ memoryReference: pc, instructionOffset: -3, instructionCount: 6 })).body.instructions;
    assert.strictEqual(list.length, 6);
    assert.strictEqual(list[3].address, pc);
    const start = (await dc.disassembleRequest({ memoryReference: 'code:0x0', instructionOffset: -1, instructionCount: 2 })).body.instructions;
    assert.strictEqual(start[0].presentationHint, 'invalid');
    assert.match(start[1].instruction, /^LJMP /);
    const all = (await dc.disassembleRequest({ memoryReference: '0x0', instructionCount: 400 })).body.instructions;
    assert.ok(all.some((i) => /LCALL _add/.test(i.instruction) && i.line === line('main-call')), 'a call by name on its line');
  });

  await check('serial output, a function breakpoint, pause during a long run and goto', async () => {
    let stopped = dc.waitForEvent('stopped');
    await dc.continueRequest({ threadId: 1 });
    assert.strictEqual((await stopped).body.reason, 'breakpoint');
    assert.strictEqual((await topFrame(dc)).name, 'spin');
    assert.strictEqual(output, 'k=12\n');
    await dc.setFunctionBreakpointsRequest({ breakpoints: [] });  // spin's first instruction is its loop
    stopped = dc.waitForEvent('stopped');
    await dc.continueRequest({ threadId: 1 });
    await new Promise((r) => setTimeout(r, 300));
    await dc.pauseRequest({ threadId: 1 });
    assert.strictEqual((await stopped).body.reason, 'pause');
    assert.strictEqual((await topFrame(dc)).name, 'spin');
    const targets = (await dc.customRequest('gotoTargets', { source: { path: source }, line: line('spin') })).body.targets;
    stopped = dc.waitForEvent('stopped');
    await dc.gotoRequest({ threadId: 1, targetId: targets[0].id });
    assert.strictEqual((await stopped).body.reason, 'goto');
    assert.strictEqual((await topFrame(dc)).instructionPointerReference, targets[0].instructionPointerReference);
  });

  await check('console input reaches the receiver; the end gives exited and terminated', async () => {
    const globals = await scopeValues(dc, (await topFrame(dc)).id, 'Globals');
    await dc.setVariableRequest({ variablesReference: globals.ref, name: 'go', value: '1' });
    const sent = (await dc.evaluateRequest({ expression: '>hi', context: 'repl' })).body.result;
    assert.match(sent, /3 bytes/);
    const exited = dc.waitForEvent('exited');
    const terminated = dc.waitForEvent('terminated');
    await dc.continueRequest({ threadId: 1 });
    assert.strictEqual((await exited).body.exitCode, 0);
    await terminated;
    assert.strictEqual(output, 'k=12\nhi\ndone 12\n');
  });
  await dc.disconnectRequest({});
  dc.stop();
}

// Serial input from a file, a stop on entry, an instruction breakpoint and terminate.
async function sessionTwo() {
  const dc = await client();
  const input = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'dap-')), 'in.txt');
  fs.writeFileSync(input, 'ok\n');
  await check('serialIn, stopOnEntry, an instruction breakpoint and terminate', async () => {
    let output = '';
    dc.on('output', (e) => { if (e.body.category === 'stdout') output += e.body.output; });
    await dc.initializeRequest();
    const initialized = dc.waitForEvent('initialized');
    await dc.launchRequest({ program, serialIn: input, stopOnEntry: true, cwd: path.dirname(program) });
    await initialized;
    let stopped = dc.waitForEvent('stopped');
    await dc.configurationDoneRequest();
    assert.strictEqual((await stopped).body.reason, 'entry');
    assert.strictEqual((await topFrame(dc)).instructionPointerReference, '0x0000');
    // The start-up code clears the globals: set one once main has begun.
    await dc.setFunctionBreakpointsRequest({ breakpoints: [{ name: 'main' }] });
    stopped = dc.waitForEvent('stopped');
    await dc.continueRequest({ threadId: 1 });
    await stopped;
    await dc.setFunctionBreakpointsRequest({ breakpoints: [] });
    const frame = await topFrame(dc);
    assert.strictEqual(frame.name, 'main');
    const globals = await scopeValues(dc, frame.id, 'Globals');
    await dc.setVariableRequest({ variablesReference: globals.ref, name: 'go', value: '1' });
    const at = (await dc.customRequest('gotoTargets', { source: { path: source }, line: line('main-done') })).body.targets[0];
    const bps = (await dc.customRequest('setInstructionBreakpoints', { breakpoints: [{ instructionReference: at.instructionPointerReference }] })).body.breakpoints;
    assert.strictEqual(bps[0].verified, true);
    stopped = dc.waitForEvent('stopped');
    await dc.continueRequest({ threadId: 1 });
    assert.strictEqual((await stopped).body.reason, 'breakpoint');
    assert.strictEqual((await dc.evaluateRequest({ expression: 'c', context: 'watch' })).body.result, '10');
    assert.strictEqual(output, 'k=5\nok\n');
    const terminated = dc.waitForEvent('terminated');
    await dc.terminateRequest({});
    await terminated;
    await dc.disconnectRequest({});
  });
  dc.stop();
}

// Two modules with a static function "tick" and a static "n" in each, and a recursion: targets by
// unique names and the resolvers' refusals, and line steps that follow the frames.
async function sessionFour() {
  const dc = await client();
  await check('unique names in breakpoints, data breakpoints and evaluate; steps in a recursion', async () => {
    await dc.initializeRequest();
    await dc.launchRequest({ program });
    const fns = (await dc.setFunctionBreakpointsRequest({ breakpoints: [{ name: 'tick' }, { name: 'tick.c:tick' }] })).body.breakpoints;
    assert.deepStrictEqual([fns[0].verified, fns[0].message], [false, 'tick is ambiguous: session.c:tick, tick.c:tick']);
    assert.deepStrictEqual([fns[1].verified, path.basename(fns[1].source.path)], [true, 'tick.c']);
    await dc.setFunctionBreakpointsRequest({ breakpoints: [] });
    assert.match((await dc.dataBreakpointInfoRequest({ name: 'tick.n' })).body.description, /ambiguous/);
    const info = (await dc.dataBreakpointInfoRequest({ name: 'tick.c:tick.n' })).body;
    const set = (await dc.setDataBreakpointsRequest({ breakpoints: [{ dataId: info.dataId, condition: 'changed' }] })).body.breakpoints;
    assert.strictEqual(set[0].verified, true);
    await dc.setBreakpointsRequest({ source: { path: source }, breakpoints: [{ line: line('fact-base') }] });

    // The start-up code clears n and session.c's tick writes its own n first: only tick.c's write
    // changes this n.
    let stopped = dc.waitForEvent('stopped');
    await dc.configurationDoneRequest();
    assert.deepStrictEqual((await stopped).body.hitBreakpointIds, [set[0].id]);
    const inTick = await topFrame(dc);
    assert.deepStrictEqual([inTick.name, path.basename(inTick.source.path)], ['tick', 'tick.c']);
    const ev = async (expression) => (await dc.evaluateRequest({ expression, context: 'watch' })).body.result;
    assert.deepStrictEqual([await ev('session.c:tick.n'), await ev('tick.c:tick.n')], ['1', '5']);
    const globals = await scopeValues(dc, inTick.id, 'Globals');
    assert.deepStrictEqual([globals.get('session.c:tick.n').value, globals.get('tick.c:tick.n').value], ['1', '5']);
    await dc.setDataBreakpointsRequest({ breakpoints: [] });

    stopped = dc.waitForEvent('stopped');
    await dc.continueRequest({ threadId: 1 });
    await stopped;
    const depth = async () => (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames.filter((f) => f.name === 'fact').length;
    assert.deepStrictEqual([await depth(), await ev('n')], [4, '1']);
    // A step from the closing brace returns into the caller's line and stops at the same brace one
    // call up, with the product so far in DPTR; Step Out finishes the caller's line likewise.
    const step = async (request, lineWanted, factFrames, dptr) => {
      stopped = dc.waitForEvent('stopped');
      await request({ threadId: 1 });
      assert.strictEqual((await stopped).body.reason, 'step');
      assert.deepStrictEqual([(await topFrame(dc)).line, await depth(), dptr && await ev('DPTR')],
        [lineWanted, factFrames, dptr]);
    };
    await step((a) => dc.nextRequest(a), line('fact-end'), 4, undefined);
    await step((a) => dc.nextRequest(a), line('fact-end'), 3, '0002h');
    await step((a) => dc.stepOutRequest(a), line('fact-end'), 2, '0006h');
    await step((a) => dc.stepOutRequest(a), line('fact-end'), 1, '0018h');
    await step((a) => dc.stepOutRequest(a), line('main-fact') + 1, 0, undefined);
    assert.strictEqual(await ev('result'), '24');
    await dc.disconnectRequest({});
  });
  dc.stop();
}

// Time travel: stepBack by line and by instruction to earlier values, reverseContinue to a
// breakpoint and to the entry, and a forward run again over the recorded future.
async function sessionBack() {
  const dc = await client();
  await check('stepBack and reverseContinue reach earlier lines, values and breakpoints', async () => {
    assert.strictEqual((await dc.initializeRequest()).body.supportsStepBack, true);
    await dc.launchRequest({ program });
    const setAddBody = () => dc.setBreakpointsRequest({ source: { path: source }, breakpoints: [{ line: line('add-body') }] });
    await setAddBody();
    let stopped = dc.waitForEvent('stopped');
    await dc.configurationDoneRequest();
    await stopped;
    const ev = async (expression) => (await dc.evaluateRequest({ expression, context: 'watch' })).body.result;
    const move = async (request, args = {}) => {
      stopped = dc.waitForEvent('stopped');
      await request({ threadId: 1, ...args });
      const body = (await stopped).body;
      return [body.reason, (await topFrame(dc)).line];
    };
    await move((a) => dc.nextRequest(a));
    assert.deepStrictEqual(await move((a) => dc.nextRequest(a)), ['step', line('add-total') + 1]);
    assert.strictEqual(await ev('total'), '5');
    assert.deepStrictEqual(await move((a) => dc.stepBackRequest(a)), ['step', line('add-total')]);
    assert.deepStrictEqual([await ev('total'), await ev('s')], ['0', '5']);
    assert.deepStrictEqual(await move((a) => dc.stepBackRequest(a), { granularity: 'instruction' }), ['step', line('add-body')]);
    assert.deepStrictEqual(await move((a) => dc.reverseContinueRequest(a)), ['breakpoint', line('add-body')]);
    assert.deepStrictEqual([await ev('x'), await ev('y')], ['2', '3']);
    await dc.setBreakpointsRequest({ source: { path: source }, breakpoints: [] });
    assert.strictEqual((await move((a) => dc.reverseContinueRequest(a)))[0], 'entry');
    assert.strictEqual((await topFrame(dc)).instructionPointerReference, '0x0000');
    await setAddBody();
    assert.deepStrictEqual(await move((a) => dc.continueRequest(a)), ['breakpoint', line('add-body')]);
    await dc.disconnectRequest({});
  });
  dc.stop();
}

// A client that goes away while the program runs: the adapter ends by itself.
async function sessionThree() {
  const dc = await client();
  await check('the adapter ends when its client disappears during a run', async () => {
    const proc = dc._adapterProcess;
    const exited = new Promise((resolve) => proc.on('exit', (code, signal) => resolve({ code, signal })));
    await dc.initializeRequest();
    await dc.launchRequest({ program });
    await dc.configurationDoneRequest();
    proc.stdin.end();
    proc.stdout.destroy();
    const result = await Promise.race([exited, new Promise((r) => setTimeout(() => r('hangs'), 5000))]);
    assert.deepStrictEqual(result, { code: 0, signal: null });
  });
}

// The extension declares the debug type and every launch attribute the adapter reads.
async function extensionManifest() {
  await check('the extension declares the corvamat debug type and its launch attributes', async () => {
    const manifest = JSON.parse(fs.readFileSync(path.join(__dirname, '../../editors/vscode/package.json'), 'utf8'));
    const debug = manifest.contributes.debuggers.find((d) => d.type === 'corvamat');
    const attributes = Object.keys(debug.configurationAttributes.launch.properties);
    for (const a of ['program', 'symbols', 'cpu', 'frequency', 'binOffset', 'serialIn', 'stopOnEntry', 'cwd', 'ini'])
      assert.ok(attributes.includes(a), a);
    assert.ok(manifest.contributes.configuration.properties['corvamat.runnerPath']);
  });
}

(async () => {
  await extensionManifest();
  await sessionOne();
  await sessionTwo();
  await sessionFour();
  await sessionBack();
  await sessionThree();
  console.log(`dap: ${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})();
