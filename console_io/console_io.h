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

// Sets the stack guard that -fstack-protector code checks, from where the
// entry point's caller would have left its stack (__builtin_dwarf_cfa): on
// Linux the kernel's random bytes for this process, found past the
// arguments and environment it put there. Windows' loader has already set
// it. Called by PROGRAM_ENTRY, before any frame that checks the guard.
void SetStackGuard(const void* entryFrame);

// Defines the program's entry point, the first code the process runs:
//   PROGRAM_ENTRY(EchoMain) { ... }
// The entry itself only sets the stack guard and calls the body, a
// function of its own that never returns: a frame live before the guard
// is set would fail its own check, so the entry's frame has none, and
// nothing is inlined into it.
//
// GCC's x86 code assumes the 16-byte stack alignment a call leaves, and on
// x86 the entry point is not handed it: Linux jumps to it with nothing
// pushed, so the stack is a return address off; 32-bit Windows calls it,
// but its convention promises only 4 bytes. 64-bit Windows calls it
// aligned, and the realignment costs a few bytes there. Elsewhere a call
// pushes nothing (the return address goes in a register), so the alignment
// the kernel hands the entry point is the one a call gives, and the entry
// point is entered as any function may be: 64-bit PowerPC code finds its
// table of contents from r12, which the kernel sets to the entry's address,
// and MIPS code is built to need nothing set up, $gp included.
//
// On Linux the entry's call-frame information marks it the outermost frame,
// as each architecture's system call file says (OUTERMOST_FRAME), from just
// after the few instructions that make its frame; at those, gdb stops at the
// executable's entry point of itself. Not in a hosted build, the tests',
// which unwinds through it.
#if defined(__linux__) && !__STDC_HOSTED__
#include "linux/syscall.h"
#else
#define OUTERMOST_FRAME ""
#endif
#if defined(__i386__) || defined(__x86_64__)
#define PROGRAM_ENTRY_ALIGN __attribute__((force_align_arg_pointer))
#elif defined(__wasm__)
// WebAssembly's engines start a WASI module at its export _start.
#define PROGRAM_ENTRY_ALIGN __attribute__((export_name("_start")))
#else
#define PROGRAM_ENTRY_ALIGN
#endif
#define PROGRAM_ENTRY(name)                                        \
  [[noreturn]] __attribute__((noinline)) static void name##Body(); \
  extern "C" [[noreturn]] PROGRAM_ENTRY_ALIGN                      \
      __attribute__((no_stack_protector)) void                     \
      name() {                                                     \
    __asm__(OUTERMOST_FRAME);                                      \
    SetStackGuard(__builtin_dwarf_cfa());                          \
    name##Body();                                                  \
  }                                                                \
  static void name##Body()
