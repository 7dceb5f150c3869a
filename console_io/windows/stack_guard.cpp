// The stack guard on Windows: the loader sets it before the entry point
// runs, where the image's load configuration tells it to, and a failed
// check ends the process as the system's own programs end.
#include <stddef.h>

#include "../console_io.h"
#include "../platform.h"

// The loader replaces the cookie only while it holds the default value that
// Microsoft's tools start it with; on x64 it keeps the new value's high 16
// bits clear, on x86 all 32 are random. Link-time optimisation sees no use
// of the cookie or of __stack_chk_fail: the compiler's code that uses them
// is made after it. They are kept by name.
extern "C" {
#ifdef _WIN64
__attribute__((used)) ULONG_PTR __stack_chk_guard = 0x00002B992DDFA232;
#else
__attribute__((used)) ULONG_PTR __stack_chk_guard = 0xBB40E64E;
#endif
}

// The load configuration, as IMAGE_LOAD_CONFIG_DIRECTORY lays it out,
// through the SEH fields (zero: there are no handlers), the shortest that
// every loader from Windows 7 on reads the cookie's address from: 72 bytes
// on x86, whose loader wants at least that, and 112 on x64. GNU ld does not
// point the image's load configuration entry at it; the build does after the
// link (cmake/fill-load-config), with this size, and the linker script puts
// it first in the first section, where that step finds it.
struct LoadConfig {
  DWORD size;
  BYTE fields[offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, SecurityCookie) -
              sizeof(DWORD)];
  ULONG_PTR* securityCookie;
  ULONG_PTR seHandlerTable = 0, seHandlerCount = 0;
};
static_assert(sizeof(LoadConfig) ==
              offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, SEHandlerCount) +
                  sizeof(ULONG_PTR));
static_assert(sizeof(LoadConfig) == (sizeof(void*) == 8 ? 112 : 72));
extern "C" __attribute__((section(".rdata$load_config"), used))
const LoadConfig _load_config_used = {
    sizeof(LoadConfig), {}, &__stack_chk_guard};

void SetStackGuard(const void*) {}

// Whether the system ends a process at __fastfail's request (Windows 8 on),
// as the shared page that Windows maps at the same address in every process
// says; IsProcessorFeaturePresent reads the same byte.
constexpr ULONG_PTR SharedProcessorFeatures = 0x7FFE0000 + 0x274;

// A frame's cookie was overwritten: the stack can no longer be trusted, so
// nothing returns, nothing is written and no handler runs. __fastfail ends
// the process at once with STATUS_STACK_BUFFER_OVERRUN, as a failed /GS
// check does. Windows 7 takes the request for an access violation, which
// its handlers would report: there ExitProcess gives the same status, and
// runs no code of this image.
extern "C" [[noreturn]] __attribute__((used, no_stack_protector)) void
__stack_chk_fail() {
  if (*reinterpret_cast<const volatile BYTE*>(SharedProcessorFeatures +
                                              PF_FASTFAIL_AVAILABLE))
    __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE));
  platform::ExitProcess(STATUS_STACK_BUFFER_OVERRUN);
}
