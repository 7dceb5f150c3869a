#include "console_io.h"
#include "exit_status.h"
#include "platform.h"

// Only records what the latest call obtained: every call asks the platform
// anew, so a handle is never carried from one call to the next.
static HANDLE inputHandle;
static char inputBuffer[InputBufferSize];
static DWORD lastReadCount;

ReadResult ReadText() {
  inputHandle = platform::GetStdHandle(STD_INPUT_HANDLE);
  // A failed read may leave the count untouched; it must not report the
  // previous line again as if it had just been read.
  lastReadCount = 0;
  if (!platform::ReadConsoleA(inputHandle, inputBuffer, InputBufferSize,
                              &lastReadCount, nullptr))
    anyCallFailed = true;
  return ReadResult{inputBuffer, lastReadCount};
}
