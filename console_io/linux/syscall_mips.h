// Linux MIPS, o32 (mipsel) and n64 (mips64el): syscall takes the number in
// v0 and the arguments in a0 to a3, o32 the fifth and sixth on the stack at
// 16 and 20 bytes above sp, n64 in a4 and a5. It returns the result in v0
// and a flag in a3: when a3 is not 0 the call failed and v0 holds the errno,
// positive. It may clobber at, v1, the temporaries, hi and lo. Each ABI has
// numbers of its own (from 4000 for o32, 5000 for n64); they come from
// <asm/unistd.h>.
#pragma once

#if _MIPS_SIM == _ABIO32
#define MIPS_CLOBBERS                                                      \
  "$1", "$3", "$8", "$9", "$10", "$11", "$12", "$13", "$14", "$15", "$24", \
      "$25", "hi", "lo", "memory"
#else
#define MIPS_CLOBBERS                                                       \
  "$1", "$3", "$10", "$11", "$12", "$13", "$14", "$15", "$24", "$25", "hi", \
      "lo", "memory"
#endif

static inline long Syscall1(long n, long a) {
  register long v0 __asm__("$2") = n;
  register long a0 __asm__("$4") = a;
  register long a3 __asm__("$7");
  __asm__ volatile("syscall" : "+r"(v0), "=r"(a3) : "r"(a0) : MIPS_CLOBBERS);
  return a3 ? -v0 : v0;
}

static inline long Syscall3(long n, long a, long b, long c) {
  register long v0 __asm__("$2") = n;
  register long a0 __asm__("$4") = a;
  register long a1 __asm__("$5") = b;
  register long a2 __asm__("$6") = c;
  register long a3 __asm__("$7");
  __asm__ volatile("syscall"
                   : "+r"(v0), "=r"(a3)
                   : "r"(a0), "r"(a1), "r"(a2)
                   : MIPS_CLOBBERS);
  return a3 ? -v0 : v0;
}

#if _MIPS_SIM == _ABIO32

// The fifth and sixth arguments go where a callee would find its own: in
// the caller's frame, past the 16 bytes kept for the first four. The frame
// made for them keeps sp 8-byte aligned.
static inline long Syscall6(long n, long a, long b, long c, long d, long e,
                            long f) {
  register long v0 __asm__("$2") = n;
  register long a0 __asm__("$4") = a;
  register long a1 __asm__("$5") = b;
  register long a2 __asm__("$6") = c;
  register long a3 __asm__("$7") = d;
  __asm__ volatile(
      "addiu $sp, $sp, -32\n\t"
      "sw %[e], 16($sp)\n\t"
      "sw %[f], 20($sp)\n\t"
      "syscall\n\t"
      "addiu $sp, $sp, 32"
      : "+r"(v0), "+r"(a3)
      : "r"(a0), "r"(a1), "r"(a2), [e] "r"(e), [f] "r"(f)
      : MIPS_CLOBBERS);
  return a3 ? -v0 : v0;
}

static inline long Syscall5(long n, long a, long b, long c, long d, long e) {
  return Syscall6(n, a, b, c, d, e, 0);
}

#else

static inline long Syscall5(long n, long a, long b, long c, long d, long e) {
  register long v0 __asm__("$2") = n;
  register long a0 __asm__("$4") = a;
  register long a1 __asm__("$5") = b;
  register long a2 __asm__("$6") = c;
  register long a3 __asm__("$7") = d;
  register long a4 __asm__("$8") = e;
  __asm__ volatile("syscall"
                   : "+r"(v0), "+r"(a3)
                   : "r"(a0), "r"(a1), "r"(a2), "r"(a4)
                   : MIPS_CLOBBERS);
  return a3 ? -v0 : v0;
}

static inline long Syscall6(long n, long a, long b, long c, long d, long e,
                            long f) {
  register long v0 __asm__("$2") = n;
  register long a0 __asm__("$4") = a;
  register long a1 __asm__("$5") = b;
  register long a2 __asm__("$6") = c;
  register long a3 __asm__("$7") = d;
  register long a4 __asm__("$8") = e;
  register long a5 __asm__("$9") = f;
  __asm__ volatile("syscall"
                   : "+r"(v0), "+r"(a3)
                   : "r"(a0), "r"(a1), "r"(a2), "r"(a4), "r"(a5)
                   : MIPS_CLOBBERS);
  return a3 ? -v0 : v0;
}

#endif

#undef MIPS_CLOBBERS

// SOCK_STREAM, which the headers leave to the C library. MIPS numbers the
// socket types as IRIX did, SOCK_DGRAM 1 and SOCK_STREAM 2.
constexpr int StreamSocket = 2;

// The kernel's struct sigaction for rt_sigaction, as the headers' own has
// it: the flags first, no restorer, and a mask of _NSIG bits, 128 here.
struct KernelSigaction {
  unsigned int flags = 0;
  __sighandler_t handler;
  unsigned long mask[_NSIG / 8 / sizeof(unsigned long)] = {};
};

// Moves fd's file offset by delta bytes; false when fd cannot seek. Under
// o32 a long holds no large file's offset: _llseek takes the move in two
// halves and stores where it ends.
static inline bool SeekBy(int fd, long delta) {
#if _MIPS_SIM == _ABIO32
  long long offset;
  return Syscall5(__NR__llseek, fd, delta < 0 ? -1 : 0, delta, (long)&offset,
                  SEEK_CUR) == 0;
#else
  return Syscall3(__NR_lseek, fd, delta, SEEK_CUR) >= 0;
#endif
}

// The stack guard: GCC's code here reads it from __stack_chk_guard.
static inline uintptr_t* StackGuard() { return &__stack_chk_guard; }
static inline void PlaceStackGuard() {}

// Where the kernel left argc: the stack pointer it jumped to the entry
// with, which is the entry's frame address: a call pushes nothing here.
static inline const uintptr_t* EntryStack(const char* entryFrame) {
  return (const uintptr_t*)(entryFrame);
}

// The entry point is the outermost frame, as a C runtime's start file marks
// its own: its call-frame information leaves the return address's column,
// $31 ($ra), undefined, and a debugger's backtrace ends there.
#define OUTERMOST_FRAME ".cfi_undefined $31"
