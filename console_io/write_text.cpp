#include "console_io.h"
#include "exit_status.h"
#include "platform.h"

// Only records what the latest call obtained: every call asks the platform
// anew, so a handle is never carried from one call to the next.
static HANDLE outputHandle;
static DWORD lastWriteCount;

void WriteText(const char* text, uint32_t length) {
  outputHandle = platform::GetStdHandle(STD_OUTPUT_HANDLE);
  // A failed write may leave the count untouched; it must not pass for the
  // previous write's.
  lastWriteCount = 0;
  if (!platform::WriteConsoleA(outputHandle, text, length, &lastWriteCount,
                               nullptr) ||
      lastWriteCount != length)
    anyCallFailed = true;
}
