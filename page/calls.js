// How the page and tools/wasi-run show a WASI call, in the notation of the
// traces in docs/traces: name(arguments) = result, with what the call read
// or wrote through a pointer shown in its place. A WASI call returns an
// errno: 0 for success, otherwise its number and WASI's name for it.
// Loaded by the page as a script, by its worker with importScripts, and by
// tools/wasi-run with require.
'use strict';
(function (exports) {
  const errnoNames = {
    8: 'badf', 28: 'inval', 29: 'io', 31: 'isdir', 51: 'nospc', 52: 'nosys',
    58: 'notsup', 63: 'perm', 64: 'pipe', 76: 'notcapable',
  };
  const fileTypes = ['UNKNOWN', 'BLOCK_DEVICE', 'CHARACTER_DEVICE',
    'DIRECTORY', 'REGULAR_FILE', 'SOCKET_DGRAM', 'SOCKET_STREAM',
    'SYMBOLIC_LINK'];

  // Bytes as strace quotes them.
  function quote(bytes) {
    let text = '"';
    for (const b of bytes) {
      const escapes = { 9: '\\t', 10: '\\n', 13: '\\r', 34: '\\"', 92: '\\\\' };
      if (escapes[b]) text += escapes[b];
      else if (b >= 32 && b < 127) text += String.fromCharCode(b);
      else text += '\\x' + b.toString(16).padStart(2, '0');
    }
    return text + '"';
  }

  // The iovec array at iovs: each buffer's bytes, up to shown bytes in
  // all, and its length.
  function iovecs(memory, iovs, count, shown) {
    const view = new DataView(memory.buffer);
    const parts = [];
    for (let i = 0; i < count; i++) {
      const at = view.getUint32(iovs + 8 * i, true);
      const length = view.getUint32(iovs + 8 * i + 4, true);
      const n = Math.max(0, Math.min(length, shown));
      shown -= n;
      parts.push('{' + quote(new Uint8Array(memory.buffer, at, n)) + ', ' +
                 length + '}');
    }
    return '[' + parts.join(', ') + ']';
  }

  // One call: its arguments as the module passed them; result is its errno
  // once it has returned, undefined while it waits.
  function describe(memory, name, args, result) {
    const view = new DataView(memory.buffer);
    const done = result !== undefined;
    const ok = result === 0;
    const end = done ? ' = ' + result +
                       (errnoNames[result] ? ' ' + errnoNames[result] : '')
                     : ' ...';
    const [fd] = args;
    switch (name) {
      case 'fd_write': {
        const written = ok ? view.getUint32(args[3], true) : 0;
        return `fd_write(${fd}, ${iovecs(memory, args[1], args[2], Infinity)}` +
               `, ${args[2]}, ${ok ? '[' + written + ']' : '...'})${end}`;
      }
      case 'fd_read': {
        const read = ok ? view.getUint32(args[3], true) : 0;
        return `fd_read(${fd}, ${iovecs(memory, args[1], args[2], read)}, ` +
               `${args[2]}, ${ok ? '[' + read + ']' : '...'})${end}`;
      }
      case 'fd_fdstat_get': {
        const type = fileTypes[view.getUint8(args[1])];
        return `fd_fdstat_get(${fd}, ` +
               `${ok ? '{fs_filetype=' + type + ', ...}' : '...'})${end}`;
      }
      case 'random_get':
        // The bytes are new for each run: not shown.
        return `random_get([...], ${args[1]})${end}`;
      case 'proc_exit':
        return `proc_exit(${fd}) = ?`;
      default:
        return `${name}(${args.join(', ')})${end}`;
    }
  }

  // The imports with each call shown through show: show.start(text) as it
  // is made, which returns a mark, and show.end(mark, text) once it has
  // returned, its result in the text. A call may return a promise (the
  // page's read under JSPI). memory() gives the module's memory.
  function traced(imports, memory, show) {
    const wrapped = {};
    for (const [name, call] of Object.entries(imports)) {
      wrapped[name] = (...args) => {
        const mark = show.start(describe(memory(), name, args));
        const finish = (result) => {
          show.end(mark, describe(memory(), name, args, result));
          return result;
        };
        const result = call(...args);
        return result && typeof result.then === 'function'
                   ? result.then(finish) : finish(result);
      };
    }
    return wrapped;
  }

  exports.describe = describe;
  exports.traced = traced;
})(typeof module === 'object' ? module.exports : (globalThis.Calls = {}));
