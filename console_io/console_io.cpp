#include "console_io.h"

#include "platform.h"

// The handles only record what the latest call obtained: every call asks
// the platform anew, so a handle is never carried from one call to the next.
static HANDLE outputHandle;
static HANDLE inputHandle;
static char inputBuffer[InputBufferSize];
static DWORD lastReadCount;
static DWORD lastWriteCount;
// Set by any write that was not taken whole and any read that failed; the
// exit status says so, since nothing else may.
static bool anyCallFailed;

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

void ExitProgram() { platform::ExitProcess(anyCallFailed ? 1 : 0); }
