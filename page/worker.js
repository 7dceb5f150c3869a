// The portable way: the module runs in this worker, which blocks in
// Atomics.wait while the page waits for a line, since a WASI read must
// return what it read. The page and the worker share the line through a
// SharedArrayBuffer, which a browser allows only to a page its server
// isolates (tools/serve-page). Everything else goes to the page as
// messages: what the module writes, each call, and how the run ended.
'use strict';
importScripts('calls.js', 'wasi.js');

onmessage = async ({ data: { module, shared } }) => {
  const ready = new Int32Array(shared, 0, 2);
  const line = new Uint8Array(shared, 8);
  const started = performance.now();
  const time = () => performance.now() - started;
  const host = {
    read(max) {
      Atomics.store(ready, 0, 0);
      postMessage({ read: max });
      Atomics.wait(ready, 0, 0);
      return line.slice(0, ready[1]);
    },
    write(fd, bytes) { postMessage({ write: bytes }); },
  };
  const show = {
    start(text) {
      postMessage({ start: text, time: time() });
      return text;
    },
    end(mark, text) { postMessage({ end: text, time: time() }); },
  };
  let memory;
  const wasi = Calls.traced(Wasi.imports(host, () => memory), () => memory,
                            show);
  const { instance } = await WebAssembly.instantiate(
      module, { wasi_snapshot_preview1: wasi });
  memory = instance.exports.memory;
  try {
    instance.exports._start();
    postMessage({ exit: 0 });
  } catch (e) {
    postMessage(e instanceof Wasi.Exit ? { exit: e.status }
                                       : { trap: String(e.message) });
  }
};
