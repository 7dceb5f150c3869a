// Runs the module at a terminal on the page and shows each WASI call as
// the module makes it. Two ways to let the module wait for a line, since a
// WASI read returns only once it has read: JSPI, where the engine suspends
// the module while the read's promise waits (no special server needed), or
// a worker that blocks (worker.js), which needs a server that isolates the
// page (tools/serve-page).
'use strict';

const terminal = new Terminal({ cols: 80, rows: 24, convertEol: false });
terminal.open(document.getElementById('terminal'));
const callList = document.getElementById('calls');
const statusLine = document.getElementById('status');
const encoder = new TextEncoder();

// What a Linux terminal does in line mode, here: it shows each key typed
// and keeps the line being typed; Backspace takes back a character, Enter
// ends the line with LF, and Ctrl-D hands over the line typed so far with
// no end, or, at the start of a line, the end of input (a read of nothing).
// Lines wait here until a read takes them, whichever run makes it: like a
// terminal, the page keeps what no program has read.
const discipline = {
  typing: [], lines: [], reader: null,
  key(data) {
    for (const c of data) {
      if (c === '\r') {
        this.typing.push(10);
        terminal.write('\r\n');
        this.endLine();
      } else if (c === '\x04') {
        this.endLine();
      } else if (c === '\x7f' || c === '\b') {
        let cut = this.typing.length;
        while (cut > 0 && (this.typing[--cut] & 0xc0) === 0x80);
        if (cut < this.typing.length) terminal.write('\b \b');
        this.typing.length = cut;
      } else if (c >= ' ') {
        const bytes = encoder.encode(c);
        // A terminal's line holds 4095 characters; the rest is not taken.
        if (this.typing.length + bytes.length > 4095) continue;
        this.typing.push(...bytes);
        terminal.write(c);
      }
    }
  },
  endLine() {
    this.lines.push(Uint8Array.from(this.typing));
    this.typing = [];
    if (this.reader) this.reader();
  },
  // The next line, at most max bytes of it; its rest waits for the next
  // read, as at a terminal.
  read(max) {
    return new Promise((resolve) => {
      this.reader = () => {
        this.reader = null;
        const line = this.lines.shift();
        if (line.length > max) this.lines.unshift(line.subarray(max));
        resolve(line.subarray(0, max));
      };
      if (this.lines.length) this.reader();
    });
  },
};
terminal.onData((data) => { if (run.live) discipline.key(data); });

// A terminal's output processing: LF is shown as CR LF.
function show(bytes) {
  const out = [];
  for (const b of bytes) out.push(...(b === 10 ? [13, 10] : [b]));
  terminal.write(Uint8Array.from(out));
}

// The call list: a row for each call as it is made, finished once the
// call has returned; a call that waits is marked so, with how long it has.
// A run that another has replaced shows nothing more.
const run = { id: 0, live: false, started: 0, worker: null };
function startCall(text, time) {
  const row = document.createElement('li');
  row.innerHTML = '<span class="time"></span><code></code>';
  row.querySelector('.time').textContent = time.toFixed(1) + ' ms';
  row.querySelector('code').textContent = text;
  row.className = 'waiting';
  row.started = time;
  callList.append(row);
  row.scrollIntoView({ block: 'nearest' });
  if (text.startsWith('fd_read(')) setState('reading', 'the read waits for a line: type one and press Enter, or Ctrl-D');
  return row;
}
function endCall(row, text, time) {
  row.querySelector('code').textContent = text;
  row.className = 'done';
  // A call that waited says how long.
  const took = time - row.started;
  if (took >= 1) {
    const note = document.createElement('span');
    note.className = 'took';
    note.textContent = ` (returned after ${took.toFixed(0)} ms)`;
    row.append(note);
  }
  if (run.live) setState('running', 'running');
}
function endRun(text, state, message) {
  // proc_exit never returns, nor does a call the module trapped in.
  for (const row of callList.querySelectorAll('.waiting')) row.className = 'done';
  const row = startCall(text, performance.now() - run.started);
  row.className = 'done';
  run.live = false;
  setState(state, message);
}
function setState(state, message) {
  document.body.dataset.state = state;
  statusLine.textContent = message;
}

const modeChoice = document.getElementById('mode');
const programChoice = document.getElementById('program');
const jspi = typeof WebAssembly.Suspending === 'function';
const isolated = globalThis.crossOriginIsolated === true;
modeChoice.querySelector('[value=jspi]').disabled = !jspi;
modeChoice.querySelector('[value=worker]').disabled = !isolated;
const asked = new URLSearchParams(location.search).get('mode');
modeChoice.value = asked || (jspi ? 'jspi' : 'worker');
document.getElementById('how').textContent =
    (jspi ? 'JSPI works in this browser. ' :
            'This browser has no JSPI (WebAssembly.Suspending). ') +
    (isolated ? 'The page is isolated: the worker works.' :
                'The page is not isolated, so the worker cannot block: ' +
                'serve it with tools/serve-page for that way.');

async function start() {
  const id = ++run.id;
  setState('starting', 'starting');
  if (run.worker) run.worker.terminate();
  run.worker = null;
  run.live = false;
  terminal.reset();
  callList.replaceChildren();
  discipline.reader = null;
  const name = programChoice.value;
  const bytes = await (await fetch(name + '.wasm')).arrayBuffer();
  if (id !== run.id) return;
  run.live = true;
  run.started = performance.now();
  setState('running', 'running');
  const current = () => id === run.id;
  if (modeChoice.value === 'worker') startWorker(bytes);
  else startJspi(bytes, current);
  terminal.focus();
}

function ended(outcome) {
  if ('exit' in outcome)
    endRun(`+++ exited with ${outcome.exit} +++`, 'exited',
           `exited with status ${outcome.exit}`);
  else
    endRun(`+++ trapped: ${outcome.trap} +++`, 'trapped',
           `the module trapped (${outcome.trap}): its stack guard's check ` +
           'failed, and the run ended at once');
}

async function startJspi(bytes, current) {
  let memory;
  const time = () => performance.now() - run.started;
  const host = {
    read: (max) => discipline.read(max),
    write: (fd, data) => current() && show(data),
  };
  const wasi = Calls.traced(Wasi.imports(host, () => memory), () => memory, {
    start: (text) => current() && startCall(text, time()),
    end: (row, text) => current() && endCall(row, text, time()),
  });
  wasi.fd_read = new WebAssembly.Suspending(wasi.fd_read);
  const { instance } = await WebAssembly.instantiate(
      bytes, { wasi_snapshot_preview1: wasi });
  memory = instance.exports.memory;
  let outcome = { exit: 0 };
  try {
    await WebAssembly.promising(instance.exports._start)();
  } catch (e) {
    outcome = e instanceof Wasi.Exit ? { exit: e.status } : { trap: e.message };
  }
  if (current()) ended(outcome);
}

function startWorker(bytes) {
  const shared = new SharedArrayBuffer(8 + 4096);
  const ready = new Int32Array(shared, 0, 2);
  const line = new Uint8Array(shared, 8);
  const worker = run.worker = new Worker('worker.js');
  let row = null;
  worker.onmessage = async ({ data }) => {
    if (run.worker !== worker) return;
    if ('start' in data) row = startCall(data.start, data.time);
    else if ('end' in data) endCall(row, data.end, data.time);
    else if ('write' in data) show(data.write);
    else if ('read' in data) {
      const bytes = await discipline.read(data.read);
      line.set(bytes);
      ready[1] = bytes.length;
      Atomics.store(ready, 0, 1);
      Atomics.notify(ready, 0);
    } else {
      worker.terminate();
      run.worker = null;
      ended(data);
    }
  };
  worker.postMessage({ module: bytes, shared });
}

document.getElementById('run').onclick = start;
// For whoever studies the page in the browser's console, and its test.
globalThis.page = { terminal, discipline, start };
start();
