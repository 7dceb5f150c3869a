// Linux arm64: svc 0 takes the number in x8 and the arguments in x0 to x5,
// and returns the result in x0. The numbers come from <asm/unistd.h>.
#pragma once

static inline long Syscall1(long n, long a) {
  register long x8 __asm__("x8") = n;
  register long x0 __asm__("x0") = a;
  __asm__ volatile("svc 0" : "+r"(x0) : "r"(x8) : "memory");
  return x0;
}

static inline long Syscall3(long n, long a, long b, long c) {
  register long x8 __asm__("x8") = n;
  register long x0 __asm__("x0") = a;
  register long x1 __asm__("x1") = b;
  register long x2 __asm__("x2") = c;
  __asm__ volatile("svc 0" : "+r"(x0) : "r"(x8), "r"(x1), "r"(x2) : "memory");
  return x0;
}

static inline long Syscall5(long n, long a, long b, long c, long d, long e) {
  register long x8 __asm__("x8") = n;
  register long x0 __asm__("x0") = a;
  register long x1 __asm__("x1") = b;
  register long x2 __asm__("x2") = c;
  register long x3 __asm__("x3") = d;
  register long x4 __asm__("x4") = e;
  __asm__ volatile("svc 0"
                   : "+r"(x0)
                   : "r"(x8), "r"(x1), "r"(x2), "r"(x3), "r"(x4)
                   : "memory");
  return x0;
}

static inline long Syscall6(long n, long a, long b, long c, long d, long e,
                            long f) {
  register long x8 __asm__("x8") = n;
  register long x0 __asm__("x0") = a;
  register long x1 __asm__("x1") = b;
  register long x2 __asm__("x2") = c;
  register long x3 __asm__("x3") = d;
  register long x4 __asm__("x4") = e;
  register long x5 __asm__("x5") = f;
  __asm__ volatile("svc 0"
                   : "+r"(x0)
                   : "r"(x8), "r"(x1), "r"(x2), "r"(x3), "r"(x4), "r"(x5)
                   : "memory");
  return x0;
}

// SOCK_STREAM, which the headers leave to the C library.
constexpr int StreamSocket = 1;

// The kernel's struct sigaction for rt_sigaction, its mask _NSIG bits.
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

// The stack guard. GCC's code would reach a global guard through a table
// of addresses that needs relocating where the kernel put the file; so here
// it reads the guard 0 bytes past the thread pointer, tpidr_el0
// (-mstack-protector-guard=sysreg), which user code may set and nothing
// else uses, pointed at __stack_chk_guard.
static inline uintptr_t* StackGuard() { return &__stack_chk_guard; }
static inline void PlaceStackGuard() {
  __asm__ volatile("msr tpidr_el0, %0" : : "r"(&__stack_chk_guard));
}

// Where the kernel left argc: the stack pointer it jumped to the entry
// with, which is the entry's frame address: a call pushes nothing here.
static inline const uintptr_t* EntryStack(const char* entryFrame) {
  return (const uintptr_t*)entryFrame;
}

// The entry point is the outermost frame, as a C runtime's start file marks
// its own: its call-frame information leaves the return address's column,
// x30, the link register, undefined, and a debugger's backtrace ends there.
#define OUTERMOST_FRAME ".cfi_undefined x30"
