// Built as lineecho is, for every target, and run by the tests: prompts as
// lineecho does, shows its stack guard and the canary a protected frame
// holds, the word the compiled check compares with it, and copies the line
// it reads into a 16-byte array, which a longer line overruns. The guard's
// check must end it as the copy returns: nothing more is written, and it
// never exits 0.
#include "console_io.h"

#ifdef _WIN32
#include "platform.h"
extern "C" ULONG_PTR __stack_chk_guard;
static uintptr_t Guard() { return __stack_chk_guard; }
#elif defined(__wasm__)
extern "C" uintptr_t __stack_chk_guard;
static uintptr_t Guard() { return __stack_chk_guard; }
#else
#include "linux/syscall.h"
static uintptr_t Guard() { return *StackGuard(); }
#endif

static const char prompt[] = "\r\nEnter some characters.\r\n";
static char kept[16];
static char shown[] = "guard 0123456789abcdef canary 0123456789abcdef\r\n";
static uintptr_t aboveArray[4];

// Opaque to the optimiser, so that it cannot bound the copy by the size of
// the array copied into. Clang, which builds the WebAssembly module, has no
// noipa.
#ifdef __clang__
#define OPAQUE noinline, optnone
#else
#define OPAQUE noipa
#endif
__attribute__((OPAQUE)) static void Copy(char* to, const char* from,
                                         uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) to[i] = from[i];
}

// Keeps the words just above a protected frame's character array: on every
// target the stack grows down, and the frame's canary lies there, with at
// most some padding between.
__attribute__((noinline)) static void KeepFrameTop() {
  char array[16];
  Copy((char*)aboveArray, array + sizeof array, sizeof aboveArray);
}

// The canary among them: the first word equal to the guard; when none is,
// the word just above the array, whatever the check compared instead.
static uintptr_t FrameCanary(uintptr_t guard) {
  for (const uintptr_t word : aboveArray)
    if (word == guard) return word;
  return aboveArray[0];
}

// Shows word in hexadecimal at shown + at.
static void Show(unsigned at, uintptr_t word) {
  for (unsigned i = 0; i < 2 * sizeof word; ++i)
    shown[at + i] =
        "0123456789abcdef"[word >> (4 * (2 * sizeof word - 1 - i)) & 15];
}

__attribute__((noinline)) static void CopyLine(const ReadResult& line) {
  char copy[sizeof kept];
  Copy(copy, line.text, line.count);
  Copy(kept, copy, sizeof kept);
}

PROGRAM_ENTRY(SmashMain) {
  // The guard is read after, so that no register saved in that frame holds
  // it.
  KeepFrameTop();
  const uintptr_t guard = Guard();
  const unsigned digits = 2 * sizeof guard;
  Show(6, guard);
  // " canary " and the canary after the guard's digits.
  for (unsigned i = 0; i < 8; ++i) shown[6 + digits + i] = " canary "[i];
  Show(14 + digits, FrameCanary(guard));
  shown[14 + 2 * digits] = '\r';
  shown[15 + 2 * digits] = '\n';
  WriteText(prompt, sizeof prompt - 1);
  WriteText(shown, 16 + 2 * digits);
  const ReadResult line = ReadText();
  CopyLine(line);
  WriteText(kept, line.count < sizeof kept ? line.count : sizeof kept);
  ExitProgram();
}
