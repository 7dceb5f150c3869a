// The stack guard on Windows: the loader sets it before the entry point
// runs, where the image's load configuration tells it to, and a failed
// check ends the process as the system's own programs end.
#include <stddef.h>

#include "../console_io.h"
#include "../platform.h"

// The loader replaces the cookie only while it holds the default value that
// Microsoft's tools start it with, and then keeps the high 16 bits clear.
// Link-time optimisation sees no use of the cookie or of __stack_chk_fail:
// the compiler's code that uses them is made after it. They are kept by
// name.
extern "C" {
#ifdef _WIN64
__attribute__((used)) ULONG_PTR __stack_chk_guard = 0x00002B992DDFA232;
#else
__attribute__((used)) ULONG_PTR __stack_chk_guard = 0xBB40E64E;
#endif
}

// The load configuration, as IMAGE_LOAD_CONFIG_DIRECTORY lays it out, to
// the last field this image needs: the cookie's address. Its size is that
// of a version Windows knows: 64 for x86, as Windows XP requires, and 112
// for x64, through the SEH fields (zero: x64 keeps no handler table here).
// GNU ld does not point the image's load configuration entry at it; the
// build does after the link (cmake/fill-load-config), and the linker script
// puts it first in the first section, where that step finds it.
struct LoadConfig {
  DWORD size;
  BYTE fields[offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, SecurityCookie) -
              sizeof(DWORD)];
  ULONG_PTR* securityCookie;
#ifdef _WIN64
  ULONGLONG seHandlerTable = 0, seHandlerCount = 0;
#endif
};
static_assert(sizeof(LoadConfig) == (sizeof(void*) == 8 ? 112 : 64));
extern "C" __attribute__((section(".rdata$load_config"), used))
const LoadConfig _load_config_used = {
    sizeof(LoadConfig), {}, &__stack_chk_guard};

void SetStackGuard(const void*) {}

// A frame's cookie was overwritten: the stack can no longer be trusted, so
// nothing returns, nothing is written and no handler runs. __fastfail ends
// the process at once with STATUS_STACK_BUFFER_OVERRUN, as a failed /GS
// check does.
extern "C" [[noreturn]] __attribute__((used, no_stack_protector)) void
__stack_chk_fail() {
  __asm__ volatile("int $0x29"
                   :
                   : "c"(2));  // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
  __builtin_unreachable();
}
