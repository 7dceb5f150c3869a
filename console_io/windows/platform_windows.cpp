// The console's read for Windows, over KERNEL32's own; the other three
// operations are KERNEL32's, unchanged.
//
// A console in line mode hands a read as much of the entered line as fits
// and keeps the rest for the next read of the console, whoever makes it:
// once the program has ended, the shell that shares the console, which
// would run the rest of an overlong line as a command. So the whole line is
// taken at once; what the caller has not asked for yet is kept here for its
// next read from the same handle, and dropped when the process ends.
#include "../platform.h"

namespace {

// As much of a line as is kept, and room beyond it into which the rest of a
// longer line is read and dropped.
constexpr DWORD LineStoreSize = 4096, DropSize = 128;
char lineStore[LineStoreSize + DropSize];
DWORD lineStart, lineEnd;
HANDLE lineConsole;

// Reads what the console hands over for one line into lineStore. Only a
// read that filled its buffer without reaching the line's LF can have more
// of the line behind it; out of line mode a read that returns short ends
// the line, so nothing waits for a line end that may never come.
BOOL ReadLine(HANDLE console, void* inputControl) {
  lineConsole = console;
  lineStart = lineEnd = 0;
  for (;;) {
    const bool full = lineEnd == LineStoreSize;
    char* const into = lineStore + lineEnd;
    const DWORD room = full ? DropSize : LineStoreSize - lineEnd;
    DWORD count = 0;
    if (!::ReadConsoleA(console, into, room, &count, inputControl))
      return false;
    if (!full) lineEnd += count;
    if (count < room || into[count - 1] == '\n') return true;
  }
}

}  // namespace

namespace platform {

BOOL ReadConsoleA(HANDLE console, void* buffer, DWORD charsToRead,
                  DWORD* charsRead, void* inputControl) {
  BOOL read = true;
  if (lineStart == lineEnd || console != lineConsole)
    read = ReadLine(console, inputControl);
  DWORD count = lineEnd - lineStart;
  if (count > charsToRead) count = charsToRead;
  for (DWORD i = 0; i < count; ++i)
    static_cast<char*>(buffer)[i] = lineStore[lineStart + i];
  lineStart += count;
  *charsRead = count;
  return read;
}

}  // namespace platform
