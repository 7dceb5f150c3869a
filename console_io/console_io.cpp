#include "console_io.h"

#include "platform.h"

// The handles only record what the latest call obtained: every call asks
// the platform anew, so a handle is never carried from one call to the next.
static HANDLE outputHandle;
static HANDLE inputHandle;
static char inputBuffer[InputBufferSize];
static DWORD lastReadCount;
static DWORD lastWriteCount;

void WriteText(const char* text, uint32_t length) {
  outputHandle = GetStdHandle(STD_OUTPUT_HANDLE);
  WriteConsoleA(outputHandle, text, length, &lastWriteCount, nullptr);
}

ReadResult ReadText() {
  inputHandle = GetStdHandle(STD_INPUT_HANDLE);
  // A failed read may leave the count untouched; it must not report the
  // previous line again as if it had just been read.
  lastReadCount = 0;
  ReadConsoleA(inputHandle, inputBuffer, InputBufferSize, &lastReadCount,
               nullptr);
  return ReadResult{inputBuffer, lastReadCount};
}

void ExitProgram() { ExitProcess(0); }
