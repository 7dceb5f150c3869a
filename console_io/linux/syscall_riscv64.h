// Linux riscv64: ecall takes the number in a7 and the arguments in a0 to a5,
// and returns the result in a0. The numbers come from <asm/unistd.h>.
#pragma once

static inline long Syscall1(long n, long a) {
  register long a7 __asm__("a7") = n;
  register long a0 __asm__("a0") = a;
  __asm__ volatile("ecall" : "+r"(a0) : "r"(a7) : "memory");
  return a0;
}

static inline long Syscall3(long n, long a, long b, long c) {
  register long a7 __asm__("a7") = n;
  register long a0 __asm__("a0") = a;
  register long a1 __asm__("a1") = b;
  register long a2 __asm__("a2") = c;
  __asm__ volatile("ecall" : "+r"(a0) : "r"(a7), "r"(a1), "r"(a2) : "memory");
  return a0;
}

static inline long Syscall5(long n, long a, long b, long c, long d, long e) {
  register long a7 __asm__("a7") = n;
  register long a0 __asm__("a0") = a;
  register long a1 __asm__("a1") = b;
  register long a2 __asm__("a2") = c;
  register long a3 __asm__("a3") = d;
  register long a4 __asm__("a4") = e;
  __asm__ volatile("ecall"
                   : "+r"(a0)
                   : "r"(a7), "r"(a1), "r"(a2), "r"(a3), "r"(a4)
                   : "memory");
  return a0;
}

static inline long Syscall6(long n, long a, long b, long c, long d, long e,
                            long f) {
  register long a7 __asm__("a7") = n;
  register long a0 __asm__("a0") = a;
  register long a1 __asm__("a1") = b;
  register long a2 __asm__("a2") = c;
  register long a3 __asm__("a3") = d;
  register long a4 __asm__("a4") = e;
  register long a5 __asm__("a5") = f;
  __asm__ volatile("ecall"
                   : "+r"(a0)
                   : "r"(a7), "r"(a1), "r"(a2), "r"(a3), "r"(a4), "r"(a5)
                   : "memory");
  return a0;
}

// SOCK_STREAM, which the headers leave to the C library.
constexpr int StreamSocket = 1;

// The kernel's struct sigaction for rt_sigaction, its mask _NSIG bits, with
// no restorer here.
struct KernelSigaction {
  __sighandler_t handler;
  unsigned long flags = 0;
  unsigned long mask[_NSIG / 8 / sizeof(unsigned long)] = {};
};

// Moves fd's file offset by delta bytes; false when fd cannot seek.
static inline bool SeekBy(int fd, long delta) {
  return Syscall3(__NR_lseek, fd, delta, SEEK_CUR) >= 0;
}

// The stack guard. GCC's code reads a global guard's address from the global
// offset table, which would need relocating where the kernel put the file;
// so here it reads the guard 0 bytes past the thread pointer instead
// (-mstack-protector-guard=tls, reg tp, offset 0), and tp, which nothing
// else uses, is pointed at __stack_chk_guard.
static inline uintptr_t* StackGuard() { return &__stack_chk_guard; }
static inline void PlaceStackGuard() {
  __asm__ volatile("mv tp, %0" : : "r"(&__stack_chk_guard));
}

// Where the kernel left argc: the stack pointer it jumped to the entry
// with, which is the entry's frame address: a call pushes nothing here.
static inline const uintptr_t* EntryStack(const char* entryFrame) {
  return (const uintptr_t*)entryFrame;
}

// The entry point is the outermost frame, as a C runtime's start file marks
// its own: its call-frame information leaves the return address's column,
// ra, the link register, undefined, and a debugger's backtrace ends there.
#define OUTERMOST_FRAME ".cfi_undefined ra"
