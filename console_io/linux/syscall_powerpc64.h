// Linux 64-bit PowerPC (ELFv2, ppc64el): sc takes the number in r0 and the
// arguments in r3 to r8, and returns the result in r3 and a flag in cr0's
// summary-overflow bit: when it is set the call failed and r3 holds the
// errno, positive. It may clobber r0, r4 to r12, cr0, ctr and xer, as a call
// of a function may. The numbers come from <asm/unistd.h>.
#pragma once

// On failure the errno is negated in r3 before the result is taken.
#define POWERPC_SC "sc\n\tbns+ 1f\n\tneg 3, 3\n1:"
#define POWERPC_CLOBBERS \
  "r9", "r10", "r11", "r12", "cr0", "ctr", "xer", "memory"

static inline long Syscall1(long n, long a) {
  register long r0 __asm__("r0") = n;
  register long r3 __asm__("r3") = a;
  register long r4 __asm__("r4");
  register long r5 __asm__("r5");
  register long r6 __asm__("r6");
  register long r7 __asm__("r7");
  register long r8 __asm__("r8");
  __asm__ volatile(POWERPC_SC
                   : "+r"(r0), "+r"(r3), "=r"(r4), "=r"(r5), "=r"(r6), "=r"(r7),
                     "=r"(r8)
                   :
                   : POWERPC_CLOBBERS);
  return r3;
}

static inline long Syscall3(long n, long a, long b, long c) {
  register long r0 __asm__("r0") = n;
  register long r3 __asm__("r3") = a;
  register long r4 __asm__("r4") = b;
  register long r5 __asm__("r5") = c;
  register long r6 __asm__("r6");
  register long r7 __asm__("r7");
  register long r8 __asm__("r8");
  __asm__ volatile(POWERPC_SC
                   : "+r"(r0), "+r"(r3), "+r"(r4), "+r"(r5), "=r"(r6), "=r"(r7),
                     "=r"(r8)
                   :
                   : POWERPC_CLOBBERS);
  return r3;
}

static inline long Syscall5(long n, long a, long b, long c, long d, long e) {
  register long r0 __asm__("r0") = n;
  register long r3 __asm__("r3") = a;
  register long r4 __asm__("r4") = b;
  register long r5 __asm__("r5") = c;
  register long r6 __asm__("r6") = d;
  register long r7 __asm__("r7") = e;
  register long r8 __asm__("r8");
  __asm__ volatile(POWERPC_SC
                   : "+r"(r0), "+r"(r3), "+r"(r4), "+r"(r5), "+r"(r6), "+r"(r7),
                     "=r"(r8)
                   :
                   : POWERPC_CLOBBERS);
  return r3;
}

static inline long Syscall6(long n, long a, long b, long c, long d, long e,
                            long f) {
  register long r0 __asm__("r0") = n;
  register long r3 __asm__("r3") = a;
  register long r4 __asm__("r4") = b;
  register long r5 __asm__("r5") = c;
  register long r6 __asm__("r6") = d;
  register long r7 __asm__("r7") = e;
  register long r8 __asm__("r8") = f;
  __asm__ volatile(POWERPC_SC
                   : "+r"(r0), "+r"(r3), "+r"(r4), "+r"(r5), "+r"(r6), "+r"(r7),
                     "+r"(r8)
                   :
                   : POWERPC_CLOBBERS);
  return r3;
}

#undef POWERPC_SC
#undef POWERPC_CLOBBERS

// SOCK_STREAM, which the headers leave to the C library.
constexpr int StreamSocket = 1;

// The kernel's struct sigaction for rt_sigaction, as the headers' own has
// it: a restorer, and a mask of _NSIG bits.
struct KernelSigaction {
  __sighandler_t handler;
  unsigned long flags = 0;
  unsigned long restorer = 0;
  unsigned long mask[_NSIG / 8 / sizeof(unsigned long)] = {};
};

// Moves fd's file offset by delta bytes; false when fd cannot seek.
static inline bool SeekBy(int fd, long delta) {
  return Syscall3(__NR_lseek, fd, delta, SEEK_CUR) >= 0;
}

// The stack guard: GCC's code here reads it from __stack_chk_guard
// (-mstack-protector-guard=global).
static inline uintptr_t* StackGuard() { return &__stack_chk_guard; }
static inline void PlaceStackGuard() {}

// Where the kernel left argc: the stack pointer it jumped to the entry
// with, which is the entry's frame address: a call pushes nothing here.
static inline const uintptr_t* EntryStack(const char* entryFrame) {
  return (const uintptr_t*)(entryFrame);
}

// The entry point is the outermost frame, as a C runtime's start file marks
// its own: its call-frame information leaves the return address's column,
// the link register, undefined, and a debugger's backtrace ends there.
#define OUTERMOST_FRAME ".cfi_undefined lr"
