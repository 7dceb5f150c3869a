// The stack guard on Linux: set at the entry point from the random bytes the
// kernel gives every process, and what a failed check does.
#include <linux/auxvec.h>

#include "../console_io.h"
#include "syscall.h"

// Link-time optimisation sees no use of these: the compiler's code that
// uses them is made after it. They are kept by name.
__attribute__((used)) uintptr_t __stack_chk_guard;

// The kernel put argc on the stack, then the arguments and a null, the
// environment and a null, then the auxiliary vector: pairs of a type and a
// value, ended by AT_NULL. AT_RANDOM's value is the address of 16 random
// bytes, new for each exec, which cost no system call. The entry's own
// first instructions may store registers where a caller would have left
// room: 64-bit PowerPC its return address over an argument's pointer, which
// the walk steps over by count; s390x two over the environment's, which it
// cannot, so there EntryStack gives nothing and getrandom gives the guard.
// Unprotected itself: the guard changes under it.
__attribute__((noinline, no_stack_protector)) void SetStackGuard(
    const void* entryFrame) {
  PlaceStackGuard();
  if (const uintptr_t* at = EntryStack((const char*)entryFrame)) {
    at += at[0] + 2;
    while (*at) ++at;
    for (++at; at[0] != AT_NULL; at += 2)
      if (at[0] == AT_RANDOM) {
        // A byte at a time: the bytes need not be aligned.
        const unsigned char* random = (const unsigned char*)at[1];
        uintptr_t guard = 0;
        for (unsigned i = 0; i < sizeof guard; ++i)
          guard = guard << 8 | random[i];
        *StackGuard() = guard;
        return;
      }
  }
  Syscall3(__NR_getrandom, (long)StackGuard(), sizeof(uintptr_t), 0);
}

// A frame's guard was overwritten: the stack can no longer be trusted, so
// nothing returns and nothing is written. The process ends by SIGABRT, as a
// C library's abort() ends it: its default action restored and the signal
// unblocked first, since an ignored or blocked signal stays so across exec.
extern "C" [[noreturn]] __attribute__((used, no_stack_protector)) void
__stack_chk_fail() {
  KernelSigaction byDefault;
  byDefault.handler = SIG_DFL;
  Syscall5(__NR_rt_sigaction, SIGABRT, (long)&byDefault, 0,
           sizeof byDefault.mask, 0);
  uint64_t abortOnly[sizeof byDefault.mask / 8] = {1ull << (SIGABRT - 1)};
  Syscall5(__NR_rt_sigprocmask, SIG_UNBLOCK, (long)abortOnly, 0,
           sizeof abortOnly, 0);
  Syscall3(__NR_kill, Syscall1(__NR_getpid, 0), SIGABRT, 0);
  Syscall1(__NR_exit_group, 127);
  __builtin_unreachable();
}

#if defined(__i386__)
// What 32-bit x86 position-independent code calls instead; no other
// architecture's code does.
extern "C" [[noreturn]] __attribute__((used, visibility("hidden"))) void
__stack_chk_fail_local() {
  __stack_chk_fail();
}
#endif
