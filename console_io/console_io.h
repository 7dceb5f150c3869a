// Console I/O: the only code that touches the console or ends the process.
//
// Text crosses this boundary only as counted text: a pointer and a count,
// never a terminator. Characters are 8-bit and passed through unconverted.
#pragma once

#include <stdint.h>

// Bytes that one ReadText can deliver.
constexpr uint32_t InputBufferSize = 80;

// What ReadText delivered: text is always the first byte of the library's
// input buffer, count is 0 to InputBufferSize. Valid until the next ReadText.
struct ReadResult {
  const char* text;
  uint32_t count;
};

// Writes exactly length characters from text to standard output.
void WriteText(const char* text, uint32_t length);

// Reads at most InputBufferSize characters from standard input.
ReadResult ReadText();

// Ends the process: status 0, or 1 when a write was not taken whole or a
// read failed. End of input is not a failure.
[[noreturn]] void ExitProgram();

// Marks the program's entry point: the first code the process runs. Nothing
// calls it, so on x86 it cannot trust the stack alignment it is handed.
// Elsewhere it is entered as any function may be: 64-bit PowerPC code finds
// its table of contents from r12, which the kernel sets to the entry's
// address, and MIPS code is built to need nothing set up, $gp included.
#if defined(__i386__) || defined(__x86_64__)
#define PROGRAM_ENTRY \
  extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void
#else
#define PROGRAM_ENTRY extern "C" [[noreturn]] void
#endif
