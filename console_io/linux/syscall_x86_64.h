// Linux x86-64: the syscall instruction takes the number in rax and the
// arguments in rdi, rsi, rdx, r10, r8 and r9, returns the result in rax, and
// clobbers rcx and r11. The numbers come from <asm/unistd.h>.
#pragma once

static inline long Syscall1(long n, long a) {
  long ret;
  __asm__ volatile("syscall"
                   : "=a"(ret)
                   : "a"(n), "D"(a)
                   : "rcx", "r11", "memory");
  return ret;
}

static inline long Syscall3(long n, long a, long b, long c) {
  long ret;
  __asm__ volatile("syscall"
                   : "=a"(ret)
                   : "a"(n), "D"(a), "S"(b), "d"(c)
                   : "rcx", "r11", "memory");
  return ret;
}

static inline long Syscall5(long n, long a, long b, long c, long d, long e) {
  long ret;
  register long r10 __asm__("r10") = d;
  register long r8 __asm__("r8") = e;
  __asm__ volatile("syscall"
                   : "=a"(ret)
                   : "a"(n), "D"(a), "S"(b), "d"(c), "r"(r10), "r"(r8)
                   : "rcx", "r11", "memory");
  return ret;
}

static inline long Syscall6(long n, long a, long b, long c, long d, long e,
                            long f) {
  long ret;
  register long r10 __asm__("r10") = d;
  register long r8 __asm__("r8") = e;
  register long r9 __asm__("r9") = f;
  __asm__ volatile("syscall"
                   : "=a"(ret)
                   : "a"(n), "D"(a), "S"(b), "d"(c), "r"(r10), "r"(r8), "r"(r9)
                   : "rcx", "r11", "memory");
  return ret;
}

// SOCK_STREAM, which the headers leave to the C library.
constexpr int StreamSocket = 1;

// The kernel's struct sigaction for rt_sigaction, its mask a bit for each of
// 64 signals: the headers' NSIG is the older call's 32.
struct KernelSigaction {
  __sighandler_t handler;
  unsigned long flags = 0;
  unsigned long restorer = 0;
  unsigned int mask[2] = {};
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
// with, 8 bytes below the frame address a call would have given it, past its
// return address.
static inline const uintptr_t* EntryStack(const char* entryFrame) {
  return (const uintptr_t*)(entryFrame - 8);
}

// The entry point is the outermost frame, as a C runtime's start file marks
// its own: its call-frame information leaves the return address's column,
// rip, the instruction pointer, undefined, and a debugger's backtrace ends
// there.
#define OUTERMOST_FRAME ".cfi_undefined rip"
