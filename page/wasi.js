// The page's answers to the five WASI calls the module imports, over a
// host that gives the terminal's input and output: standard input, output
// and error are a terminal (a character device) and nothing else is open.
// host.read(max) gives the bytes of a read, or a promise of them (JSPI);
// host.write(fd, bytes) shows them. proc_exit throws Exit, which unwinds
// the module's stack to whoever called _start.
'use strict';
(function (exports) {
  const Success = 0, BadDescriptor = 8, CharacterDevice = 2;

  class Exit {
    constructor(status) { this.status = status; }
  }

  function imports(host, memory) {
    // The iovec array at iovs: a view of each buffer it names.
    const buffers = (iovs, count) => {
      const view = new DataView(memory().buffer);
      return Array.from({ length: count }, (_, i) => new Uint8Array(
          memory().buffer, view.getUint32(iovs + 8 * i, true),
          view.getUint32(iovs + 8 * i + 4, true)));
    };
    const setCount = (at, n) =>
        new DataView(memory().buffer).setUint32(at, n, true);
    return {
      fd_write(fd, iovs, count, written) {
        if (fd !== 1 && fd !== 2) return BadDescriptor;
        let total = 0;
        for (const buffer of buffers(iovs, count)) {
          host.write(fd, buffer.slice());
          total += buffer.length;
        }
        setCount(written, total);
        return Success;
      },
      fd_read(fd, iovs, count, read) {
        if (fd !== 0) return BadDescriptor;
        const room = buffers(iovs, count).reduce((n, b) => n + b.length, 0);
        const deliver = (bytes) => {
          let at = 0;
          for (const buffer of buffers(iovs, count)) {
            const part = bytes.subarray(at, at + buffer.length);
            buffer.set(part);
            at += part.length;
          }
          setCount(read, at);
          return Success;
        };
        const bytes = host.read(room);
        return bytes instanceof Promise ? bytes.then(deliver) : deliver(bytes);
      },
      fd_fdstat_get(fd, stat) {
        if (fd < 0 || fd > 2) return BadDescriptor;
        const view = new DataView(memory().buffer);
        view.setUint8(stat, CharacterDevice);
        view.setUint16(stat + 2, 0, true);  // flags
        view.setBigUint64(stat + 8, fd ? 0x40n : 0x2n, true);  // write, read
        view.setBigUint64(stat + 16, 0n, true);
        return Success;
      },
      random_get(at, length) {
        crypto.getRandomValues(new Uint8Array(memory().buffer, at, length));
        return Success;
      },
      proc_exit(status) {
        throw new Exit(status);
      },
    };
  }

  exports.Exit = Exit;
  exports.imports = imports;
})(typeof module === 'object' ? module.exports : (globalThis.Wasi = {}));
