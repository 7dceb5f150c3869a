// The console's four operations for Linux, over raw system calls.
//
// Standard input and output are descriptors 0 and 1; a handle is the
// descriptor. A read delivers one line and takes no byte beyond it, so the
// next reader of the same input finds the rest: a file is repositioned, a
// pipe or a stream socket is looked at before it is read, a terminal is
// read as the terminal ends its lines, and what can be neither looked at
// nor repositioned is read a byte at a time. A message socket gives one
// message a read.
//
// The kernel's numbers and layouts come from its own headers, which need no
// libc. They come first: <linux/stat.h> leaves the file type bits out when
// a libc's headers came before it, as where the tests build this file.
#include <asm-generic/errno-base.h>
#include <asm/ioctls.h>
#include <asm/signal.h>
#include <asm/socket.h>
#include <asm/termbits.h>
#include <asm/unistd.h>
#include <linux/fcntl.h>
#include <linux/fs.h>
#include <linux/poll.h>
#include <linux/stat.h>
#include <linux/time.h>

#include "../descriptor.h"
#include "../line.h"
#include "../platform.h"
#include "syscall.h"

namespace {

// The kernel keeps this out of the headers it exports; SOCK_STREAM, which
// differs between architectures, comes with the system calls.
constexpr long PeekOnly = 0x2;  // MSG_PEEK

// A canonical-mode terminal line is at most 4095 characters and its end.
constexpr uint32_t TerminalLineMax = 4096;

// How a line is taken from input that is not a terminal.
enum class Way {
  Seek,  // in bulk, then repositioned just past the line
  Tee,   // a pipe: looked at and taken through a pipe of our own
  Recv,  // a stream socket: looked at with MSG_PEEK
};

// The rest of a terminal line longer than the caller asked for. It is handed
// out by later reads, and dropped when the process ends, so the overflow of
// a long line never reaches the shell as a command of its own.
char lineRest[TerminalLineMax];
uint32_t lineRestStart;
uint32_t lineRestEnd;
int lineRestFd;

// Our own pipe, which tee fills with a copy of what waits in a pipe, and
// splice with the line taken from it.
int peekPipe[2];
bool peekPipeOpen;

bool writeSignalsIgnored;
// The error the read under way met, or 0; bytes read before it are still
// delivered.
long readError;
// How long a read of a non-blocking descriptor waits for input, when not
// for as long as it takes.
timespec* inputWaitLimit;

// Waits until fd is ready for events, or no longer than limit when there is
// one: the number of descriptors ready, 0 once the limit is reached, or
// -errno.
__attribute__((noinline)) long WaitFor(int fd, short events, timespec* limit) {
  pollfd poll = {fd, events, 0};
  long result;
  do {
    result = Syscall5(__NR_ppoll, (long)&poll, 1, (long)limit, 0, 0);
  } while (result == -EINTR);
  return result;
}

// Makes a system call that takes input from fd, again when interrupted,
// and when fd is non-blocking once there is input, waiting no longer than
// inputWaitLimit when there is one: its result, 0 when the limit was
// reached, with an error noted in readError.
long Take(long number, int fd, long b, long c, long d, long e) {
  for (;;) {
    long result = Syscall6(number, fd, b, c, d, e, 0);
    if (result == -EINTR) continue;
    if (result == -EAGAIN) {
      const long ready = WaitFor(fd, POLLIN, inputWaitLimit);
      if (ready > 0) continue;
      if (ready == 0) result = 0;
    }
    if (result < 0) readError = result;
    return result;
  }
}

// At most size bytes: bytes read, 0 at the end, or -errno.
long ReadSome(int fd, char* buffer, uint32_t size) {
  return Take(__NR_read, fd, (long)buffer, size, 0, 0);
}

// Brings up to size bytes of the pipe fd into buffer through our own pipe:
// a copy that leaves them in fd (tee), or the bytes themselves (splice).
// What a writer wrote to a pipe it opened with O_DIRECT is a packet, and a
// read that takes part of a packet drops the rest of it; the reading end
// cannot tell. tee and splice keep the rest, and copy the packets' bounds
// into our pipe, which is read a packet at a time. Bytes brought, 0 at the
// end, or -errno.
long ThroughPeekPipe(bool move, int fd, char* buffer, uint32_t size) {
  const long n = move ? Take(__NR_splice, fd, 0, peekPipe[1], 0, size)
                      : Take(__NR_tee, fd, peekPipe[1], size, 0, 0);
  for (long got = 0; got < n;) {
    const long more = ReadSome(peekPipe[0], buffer + got, n - got);
    if (more <= 0) return got;
    got += more;
  }
  return n;
}

// Shows up to size bytes waiting at fd without taking them, once there is
// one: bytes shown, 0 at the end, or -errno.
long Peek(int fd, Way way, char* buffer, uint32_t size) {
  if (way == Way::Recv)
    return Take(__NR_recvfrom, fd, (long)buffer, size, PeekOnly, 0);
  return ThroughPeekPipe(false, fd, buffer, size);
}

// Reads one line of at most max bytes a byte at a time, where nothing can
// be given back. A pseudo-terminal's master in packet mode (TIOCPKT) starts
// every read with a status byte: there a read of two bytes carries it and a
// byte of data, and one that carries the status alone is dropped.
uint32_t ReadBytes(int fd, char* buffer, uint32_t max, bool packets) {
  uint32_t length = 0;
  char got[2];
  while (length < max) {
    const long n = ReadSome(fd, got, 1 + packets);
    if (n <= 0) break;
    if (n == 1 + packets && (buffer[length++] = got[packets]) == '\n') break;
  }
  return length;
}

// Reads one line of at most max bytes and takes no byte past it. Bytes
// read before an error or the end are delivered.
uint32_t ReadLine(int fd, char* buffer, uint32_t max, Way way) {
  uint32_t length = 0;
  while (length < max) {
    uint32_t wanted = max - length;
    if (way != Way::Seek) {
      const long shown = Peek(fd, way, buffer + length, wanted);
      if (shown <= 0) break;
      wanted = LineLength(buffer + length, (uint32_t)shown);
    }
    const long n = way == Way::Tee
                       ? ThroughPeekPipe(true, fd, buffer + length, wanted)
                       : ReadSome(fd, buffer + length, wanted);
    if (n <= 0) break;
    const uint32_t taken = LineLength(buffer + length, (uint32_t)n);
    // A pipe or a socket brings bytes past the line end only when another
    // reader took from it after the look, and some files refuse a seek back
    // (/proc/kmsg hands out whole records). Bytes that cannot be given back
    // are delivered rather than lost, and the read ends there.
    if (taken < (uint32_t)n &&
        (way != Way::Seek || !SeekBy(fd, (long)taken - n)))
      return length + (uint32_t)n;
    length += taken;
    if (buffer[length - 1] == '\n') break;
  }
  return length;
}

// Whether c ends a line at a terminal with these settings.
bool EndsTerminalLine(char c, const termios& termios) {
  return c == '\n' || (c != '\0' && (c == (char)termios.c_cc[VEOL] ||
                                     c == (char)termios.c_cc[VEOL2]));
}

// Takes what waits at a terminal a byte at a time into line, from length
// on, up to the first line end, asking again for what arrived meanwhile
// until nothing more waits: true once the line has ended, or can take no
// more. Text that arrived out of line mode is one line to the terminal,
// whatever ends it holds (a paste at a shell's prompt, say), so in line
// mode it is ended here as the terminal would have ended it, and what does
// not fit is taken and dropped. Out of line mode a line ends at LF, and
// what does not fit stays.
bool TakeWaiting(int fd, char* line, uint32_t room, uint32_t& length,
                 const termios& termios) {
  const bool lineMode = termios.c_lflag & ICANON;
  for (;;) {
    int waiting = 0;
    Syscall3(__NR_ioctl, fd, FIONREAD, (long)&waiting);
    if (waiting <= 0) return false;
    for (; waiting > 0; --waiting) {
      char c;
      if ((!lineMode && length == room) || ReadSome(fd, &c, 1) <= 0)
        return true;
      if (lineMode && c == '\r' && (termios.c_iflag & IGNCR)) continue;
      if (lineMode && c == '\r' && (termios.c_iflag & ICRNL)) c = '\n';
      if (length < room) line[length++] = c;
      if (c == '\n' || (lineMode && EndsTerminalLine(c, termios))) return true;
    }
  }
}

// The rest of the line is dropped unless a later read takes it.
uint32_t TakeLineRest(char* buffer, uint32_t max) {
  return HandOut(lineRest, lineRestStart, lineRestEnd, buffer, max);
}

// In line mode the whole line is taken: the part beyond max waits here for
// the next read, and never reaches the shell. When nothing waits, one read
// takes it, since the terminal ends it.
uint32_t ReadTerminalLine(int fd, char* buffer, uint32_t max,
                          const termios& termios) {
  uint32_t length = 0;
  while (!TakeWaiting(fd, lineRest, TerminalLineMax, length, termios)) {
    // What does not fit is read all the same, and dropped.
    char dropped[256];
    const bool full = length == TerminalLineMax;
    char* const into = full ? dropped : lineRest + length;
    const uint32_t room = full ? sizeof dropped : TerminalLineMax - length;
    const long n = ReadSome(fd, into, room);
    if (n <= 0) break;
    if (!full) length += (uint32_t)n;
    if ((uint32_t)n < room || EndsTerminalLine(into[n - 1], termios)) break;
  }
  if (length == 0) return 0;
  lineRestFd = fd;
  lineRestStart = 0;
  lineRestEnd = length;
  return TakeLineRest(buffer, max);
}

// At a terminal. Out of line mode it has no lines: the first byte is waited
// for as a read of one byte waits there, and the line ends at LF or where
// nothing more waits. That read returns as soon as a byte has come, however
// large VMIN is, and with VMIN 0 waits VTIME tenths of a second at most
// (not at all when VTIME is 0 too); a non-blocking terminal, which would
// not wait, is waited on as long.
uint32_t ReadTerminal(int fd, char* buffer, uint32_t max,
                      const termios& termios) {
  if (termios.c_lflag & ICANON)
    return ReadTerminalLine(fd, buffer, max, termios);
  // The remainder by subtraction: 32-bit ARM has no divide instruction, and
  // at -Os GCC would call a runtime routine for it, which is not linked.
  const long tenths = termios.c_cc[VTIME];
  const long seconds = tenths / 10;
  timespec limit = {seconds, (tenths - seconds * 10) * 100000000};
  if (termios.c_cc[VMIN] == 0) inputWaitLimit = &limit;
  const long n = max ? ReadSome(fd, buffer, 1) : 0;
  inputWaitLimit = nullptr;
  if (n <= 0) return 0;
  uint32_t length = 1;
  if (buffer[0] != '\n') TakeWaiting(fd, buffer, max, length, termios);
  return length;
}

unsigned FileType(int fd) {
  struct statx status;
  status.stx_mode = 0;
  Syscall5(__NR_statx, fd, (long)"", AT_EMPTY_PATH, STATX_TYPE, (long)&status);
  return status.stx_mode & S_IFMT;
}

uint32_t ReadInput(int fd, char* buffer, uint32_t max) {
  switch (FileType(fd)) {
    case S_IFCHR: {
      termios termios;
      unsigned number;
      if (Syscall3(__NR_ioctl, fd, TCGETS, (long)&termios) != 0) break;
      if (Syscall3(__NR_ioctl, fd, TIOCGPTN, (long)&number) != 0)
        return ReadTerminal(fd, buffer, max, termios);
      // A pseudo-terminal's master carries what the other side wrote, and
      // fails with EIO once that side has closed: the end of its stream.
      int packets = 0;
      Syscall3(__NR_ioctl, fd, TIOCGPKT, (long)&packets);
      const uint32_t count = ReadBytes(fd, buffer, max, packets != 0);
      if (readError == -EIO) readError = 0;
      return count;
    }
    case S_IFREG:
    case S_IFBLK:
      if (SeekBy(fd, 0)) return ReadLine(fd, buffer, max, Way::Seek);
      break;
    case S_IFIFO:
      if (peekPipeOpen || Syscall3(__NR_pipe2, (long)peekPipe, 0, 0) == 0) {
        peekPipeOpen = true;
        return ReadLine(fd, buffer, max, Way::Tee);
      }
      break;
    case S_IFSOCK: {
      int type = StreamSocket;
      uint32_t size = sizeof type;
      Syscall5(__NR_getsockopt, fd, SOL_SOCKET, SO_TYPE, (long)&type,
               (long)&size);
      if (type == StreamSocket) return ReadLine(fd, buffer, max, Way::Recv);
      // Datagrams and packets: one read is one message, cut at max.
      const long n = ReadSome(fd, buffer, max);
      return n > 0 ? (uint32_t)n : 0;
    }
  }
  return ReadBytes(fd, buffer, max, false);
}

}  // namespace

namespace platform {

HANDLE GetStdHandle(DWORD stdHandle) { return StdDescriptor(stdHandle); }

BOOL WriteConsoleA(HANDLE console, const void* buffer, DWORD charsToWrite,
                   DWORD* charsWritten, void*) {
  // A reader that has gone or a file size limit must not kill the process:
  // the write just fails.
  if (!writeSignalsIgnored) {
    KernelSigaction ignore;
    ignore.handler = SIG_IGN;
    const long signals[] = {SIGPIPE, SIGXFSZ};
    for (const long signal : signals)
      Syscall5(__NR_rt_sigaction, signal, (long)&ignore, 0, sizeof ignore.mask,
               0);
    writeSignalsIgnored = true;
  }
  const int fd = Descriptor(console);
  const char* text = (const char*)buffer;
  DWORD written = 0;
  while (written < charsToWrite) {
    const long n = Syscall3(__NR_write, fd, (long)(text + written),
                            charsToWrite - written);
    if (n > 0)
      written += (DWORD)n;
    else if (n == -EINTR || (n == -EAGAIN && WaitFor(fd, POLLOUT, nullptr) > 0))
      continue;
    else
      break;
  }
  *charsWritten = written;
  return written == charsToWrite;
}

BOOL ReadConsoleA(HANDLE console, void* buffer, DWORD charsToRead,
                  DWORD* charsRead, void*) {
  const int fd = Descriptor(console);
  char* const text = (char*)buffer;
  readError = 0;
  if (lineRestStart < lineRestEnd && fd == lineRestFd)
    *charsRead = TakeLineRest(text, charsToRead);
  else
    *charsRead = ReadInput(fd, text, charsToRead);
  return readError == 0;
}

void ExitProcess(UINT exitCode) {
  Syscall1(__NR_exit_group, exitCode);
  __builtin_unreachable();
}

}  // namespace platform
