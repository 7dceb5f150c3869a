// Built as lineecho is, for every target, and run by the tests: prompts as
// lineecho does, shows its stack guard, and copies the line it reads into
// a 16-byte array, which a longer line overruns. The guard's check must end
// it as the copy returns: nothing more is written, and it never exits 0.
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
static char shown[] = "guard 0123456789abcdef\r\n";

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

__attribute__((noinline)) static void CopyLine(const ReadResult& line) {
  char copy[sizeof kept];
  Copy(copy, line.text, line.count);
  Copy(kept, copy, sizeof kept);
}

PROGRAM_ENTRY(SmashMain) {
  const uintptr_t guard = Guard();
  for (unsigned i = 0; i < 2 * sizeof guard; ++i)
    shown[6 + i] =
        "0123456789abcdef"[guard >> (4 * (2 * sizeof guard - 1 - i)) & 15];
  shown[6 + 2 * sizeof guard] = '\r';
  shown[7 + 2 * sizeof guard] = '\n';
  WriteText(prompt, sizeof prompt - 1);
  WriteText(shown, 8 + 2 * sizeof guard);
  const ReadResult line = ReadText();
  CopyLine(line);
  WriteText(kept, line.count < sizeof kept ? line.count : sizeof kept);
  ExitProgram();
}
