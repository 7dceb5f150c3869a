// The console's four operations for WebAssembly, over WASI preview 1: the
// engine that runs the module (Node's node:wasi, or the page's own) answers
// each call. Standard input and output are descriptors 0 and 1; a handle is
// the descriptor.
//
// WASI can neither look at what waits in a pipe without taking it nor put
// a byte back, so a line is read a byte at a time: from a pipe or a file
// the read takes the line and no byte past it, and the next reader finds
// the rest. At a terminal (a character device, the one kind of input
// fd_fdstat_get tells apart that matters here) the whole line is taken,
// however long: what the caller has not asked for yet is kept for its next
// read, and dropped when the process ends, so the rest of an overlong line
// is never left for whoever reads the terminal next.
#include "../descriptor.h"
#include "../line.h"
#include "../platform.h"
#include "wasi.h"

namespace {

// A terminal's line in line mode is at most 4095 characters and its end:
// a read of this many takes any line whole.
constexpr DWORD TerminalLineMax = 4096;
char lineRest[TerminalLineMax];
DWORD lineRestStart, lineRestEnd;
int lineRestFd;

// What the calls are given and write back, kept here rather than on the
// stack: a frame with nothing on it needs no stack guard, and the module
// stays small.
wasi::Iovec bytes;
uint32_t moved;
wasi::Fdstat status;

}  // namespace

namespace platform {

HANDLE GetStdHandle(DWORD stdHandle) { return StdDescriptor(stdHandle); }

BOOL WriteConsoleA(HANDLE console, const void* buffer, DWORD charsToWrite,
                   DWORD* charsWritten, void*) {
  DWORD written = 0;
  while (written < charsToWrite) {
    bytes = {(const char*)buffer + written, charsToWrite - written};
    if (wasi::fd_write(Descriptor(console), &bytes, 1, &moved) != 0 ||
        moved == 0)
      break;
    written += moved;
  }
  *charsWritten = written;
  return written == charsToWrite;
}

BOOL ReadConsoleA(HANDLE console, void* buffer, DWORD charsToRead,
                  DWORD* charsRead, void*) {
  const int fd = Descriptor(console);
  BOOL read = true;
  if (lineRestStart == lineRestEnd || fd != lineRestFd) {
    DWORD length = 0;
    if (wasi::fd_fdstat_get(fd, &status) != 0) {
      read = false;
    } else {
      // A terminal hands a read one line, which ends at its LF or where the
      // user pressed Ctrl-D: one read takes it whole, and its end. Text
      // that reached the terminal out of line mode may hold more lines;
      // what follows the first is not the line's, and is dropped. Anything
      // else is read a byte at a time up to the line's end.
      const bool terminal = status.filetype == wasi::CharacterDevice;
      const DWORD max = terminal ? TerminalLineMax : charsToRead;
      while (length < max) {
        bytes = {lineRest + length, terminal ? max : 1};
        if (wasi::fd_read(fd, &bytes, 1, &moved) != 0) {
          read = false;
          break;
        }
        length += LineLength(lineRest + length, moved);
        if (terminal || moved == 0 || lineRest[length - 1] == '\n') break;
      }
    }
    lineRestFd = fd;
    lineRestStart = 0;
    lineRestEnd = length;
  }
  // What no read takes is dropped when the process ends.
  *charsRead =
      HandOut(lineRest, lineRestStart, lineRestEnd, (char*)buffer, charsToRead);
  return read;
}

void ExitProcess(UINT exitCode) { wasi::proc_exit(exitCode); }

}  // namespace platform
