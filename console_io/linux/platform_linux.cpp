// The console's four operations for Linux, over raw system calls.
//
// Standard input and output are descriptors 0 and 1; a handle is the
// descriptor. Terminals, pipes and files all work, and a read never takes
// a byte beyond the one line it delivers, so the next reader of the same
// input finds the rest.
#include "../platform.h"
#include "syscall.h"

namespace {

constexpr long ErrInterrupted = -4;  // EINTR
constexpr long ErrWouldBlock = -11;  // EAGAIN
constexpr short PollIn = 0x1;
constexpr short PollOut = 0x4;
constexpr long SeekCurrent = 1;
constexpr long SignalPipe = 13;
constexpr long SignalFileSize = 25;
constexpr unsigned long TerminalGetAttributes = 0x5401;  // TCGETS
constexpr unsigned int CanonicalMode = 0x2;              // ICANON

// A canonical-mode terminal line is at most 4095 characters and its end.
constexpr uint32_t TerminalLineMax = 4096;

struct PollFd {
  int fd;
  short events;
  short revents;
};

// The kernel's termios; only c_lflag is looked at.
struct Termios {
  unsigned int iflag, oflag, cflag, lflag;
  unsigned char line;
  unsigned char cc[19];
};

// The kernel's sigaction on every architecture built here.
struct KernelSigaction {
  unsigned long handler;
  unsigned long flags;
  unsigned long restorer;
  unsigned int mask[2];
};

// The rest of a terminal line longer than the caller asked for. It is handed
// out by later reads, and dropped when the process ends, so the overflow of
// a long line never reaches the shell as a command of its own.
char lineRest[TerminalLineMax];
uint32_t lineRestStart;
uint32_t lineRestEnd;
int lineRestFd;

bool writeSignalsIgnored;
// Whether the read under way met an error; bytes read before it are still
// delivered.
bool readFailed;

int Descriptor(HANDLE handle) { return (int)(intptr_t)handle; }

// Waits until fd is ready for events; false when it cannot be waited on.
bool WaitFor(int fd, short events) {
  PollFd poll = {fd, events, 0};
  long result;
  do {
    result = Syscall5(SYS_ppoll, (long)&poll, 1, 0, 0, 0);
  } while (result == ErrInterrupted);
  return result > 0;
}

// One read of at most size bytes, retried when interrupted and waited for
// when the descriptor is non-blocking: bytes read, 0 at end, or -errno,
// which is also noted in readFailed.
long ReadSome(int fd, char* buffer, uint32_t size) {
  for (;;) {
    const long result = Syscall3(SYS_read, fd, (long)buffer, size);
    if (result == ErrInterrupted) continue;
    if (result == ErrWouldBlock && WaitFor(fd, PollIn)) continue;
    if (result < 0) readFailed = true;
    return result;
  }
}

// Moves the file offset by delta bytes; false when fd cannot seek.
bool SeekBy(int fd, long delta) {
#ifdef SYS__llseek
  long long offset;
  return Syscall5(SYS__llseek, fd, delta < 0 ? -1 : 0, delta, (long)&offset,
                  SeekCurrent) == 0;
#else
  return Syscall3(SYS_lseek, fd, delta, SeekCurrent) >= 0;
#endif
}

// Reads one line of at most max bytes from a file or a pipe and consumes no
// byte past it: a seekable file is read in bulk and then repositioned just
// past the line, anything else is read a byte at a time. Bytes read before
// an error or the end are delivered.
uint32_t ReadLine(int fd, char* buffer, uint32_t max) {
  const bool seekable = SeekBy(fd, 0);
  uint32_t got = 0;
  uint32_t length = 0;
  bool ended = false;
  long n = 0;
  while (!ended && got < max) {
    n = ReadSome(fd, buffer + got, seekable ? max - got : 1);
    if (n <= 0) break;
    got += (uint32_t)n;
    while (!ended && length < got) ended = buffer[length++] == '\n';
  }
  if (got > length) SeekBy(fd, (long)length - (long)got);
  return length;
}

uint32_t TakeLineRest(char* buffer, uint32_t max) {
  uint32_t count = 0;
  while (count < max && lineRestStart < lineRestEnd)
    buffer[count++] = lineRest[lineRestStart++];
  return count;
}

// At a terminal the read takes whatever the terminal delivers, in whatever
// mode it is in. In line mode the whole line is taken at once: the part
// beyond max waits here for the next read, and never reaches the shell.
uint32_t ReadTerminal(int fd, char* buffer, uint32_t max,
                      const Termios& termios) {
  if (!(termios.lflag & CanonicalMode)) {
    const long n = ReadSome(fd, buffer, max);
    return n > 0 ? (uint32_t)n : 0;
  }
  const long n = ReadSome(fd, lineRest, TerminalLineMax);
  if (n <= 0) return 0;
  lineRestFd = fd;
  lineRestStart = 0;
  lineRestEnd = (uint32_t)n;
  return TakeLineRest(buffer, max);
}

}  // namespace

extern "C" {

HANDLE GetStdHandle(DWORD stdHandle) {
  // Input, output and error are numbered -10, -11, -12; anything else gets
  // a descriptor that no call accepts.
  const int32_t which = (int32_t)stdHandle;
  const int fd = which <= -10 && which >= -12 ? -10 - which : -1;
  return (HANDLE)(intptr_t)fd;
}

BOOL WriteConsoleA(HANDLE console, const void* buffer, DWORD charsToWrite,
                   DWORD* charsWritten, void*) {
  // A reader that has gone or a file size limit must not kill the process:
  // the write just fails.
  if (!writeSignalsIgnored) {
    static const KernelSigaction ignore = {1 /* SIG_IGN */, 0, 0, {0, 0}};
    const long signals[] = {SignalPipe, SignalFileSize};
    for (const long signal : signals)
      Syscall5(SYS_rt_sigaction, signal, (long)&ignore, 0, sizeof ignore.mask,
               0);
    writeSignalsIgnored = true;
  }
  const int fd = Descriptor(console);
  const char* text = (const char*)buffer;
  DWORD written = 0;
  while (written < charsToWrite) {
    const long n =
        Syscall3(SYS_write, fd, (long)(text + written), charsToWrite - written);
    if (n > 0)
      written += (DWORD)n;
    else if (n == ErrInterrupted ||
             (n == ErrWouldBlock && WaitFor(fd, PollOut)))
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
  Termios termios;
  readFailed = false;
  if (lineRestStart < lineRestEnd && fd == lineRestFd)
    *charsRead = TakeLineRest(text, charsToRead);
  else if (Syscall3(SYS_ioctl, fd, TerminalGetAttributes, (long)&termios) == 0)
    *charsRead = ReadTerminal(fd, text, charsToRead, termios);
  else
    *charsRead = ReadLine(fd, text, charsToRead);
  return !readFailed;
}

void ExitProcess(UINT exitCode) {
  Syscall1(SYS_exit_group, exitCode);
  __builtin_unreachable();
}

}  // extern "C"
