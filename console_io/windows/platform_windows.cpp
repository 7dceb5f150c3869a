// The console's read for Windows, over KERNEL32's own; the other three
// operations are KERNEL32's, unchanged.
//
// A console in line mode hands a read as much of the entered line as fits
// and keeps the rest for the next read of the console, whoever makes it:
// once the program has ended, the shell that shares the console, which
// would run the rest of an overlong line as a command. So the whole line is
// taken at once; what the caller has not asked for yet is kept here for its
// next read from the same handle, and dropped when the process ends.
#include "../line.h"
#include "../platform.h"

namespace {

// As much of a line as is kept, and room beyond it into which the rest of a
// longer line is read and dropped.
constexpr DWORD LineStoreSize = 4096, DropSize = 128;
char lineStore[LineStoreSize + DropSize];
DWORD lineStart, lineEnd;
HANDLE lineConsole;

// Reads what the console hands over for one line into lineStore. A line
// ends at its first LF: whatever a read hands over after it is not the
// line's, and is dropped. A line also ends where a read that fills its
// buffer ends in CR, as lines do with processed input off; only a full
// read that ends in neither can have more of the line behind it, and out of
// line mode a read that returns short ends the line, so nothing waits for
// a line end that may never come. A read the console ends with nothing
// (Ctrl+C, Ctrl+Break), having dropped the line typed so far, has failed.
BOOL ReadLine(HANDLE console, void* inputControl) {
  lineConsole = console;
  lineStart = lineEnd = 0;
  for (;;) {
    const bool full = lineEnd == LineStoreSize;
    char* const into = lineStore + lineEnd;
    const DWORD room = full ? DropSize : LineStoreSize - lineEnd;
    DWORD count = 0;
    if (!::ReadConsoleA(console, into, room, &count, inputControl) ||
        count == 0)
      return false;
    if (count > room) count = room;
    const DWORD length = LineLength(into, count);
    if (!full) lineEnd += length;
    if (length < room || into[length - 1] == '\n' || into[length - 1] == '\r')
      return true;
  }
}

}  // namespace

namespace platform {

BOOL ReadConsoleA(HANDLE console, void* buffer, DWORD charsToRead,
                  DWORD* charsRead, void* inputControl) {
  BOOL read = true;
  if (lineStart == lineEnd || console != lineConsole)
    read = ReadLine(console, inputControl);
  // What no read takes is dropped when the process ends.
  *charsRead = HandOut(lineStore, lineStart, lineEnd,
                       static_cast<char*>(buffer), charsToRead);
  return read;
}

}  // namespace platform
