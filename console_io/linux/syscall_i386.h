// Linux i386: int $0x80 takes the number in eax and the arguments in ebx,
// ecx, edx, esi, edi and ebp, and returns the result in eax. The compiler
// may keep its frame pointer in ebp, so the sixth argument goes there from
// the stack, with ebp saved around the call. The numbers come from
// <asm/unistd.h>.
#pragma once

static inline long Syscall1(long n, long a) {
  long ret;
  __asm__ volatile("int $0x80" : "=a"(ret) : "a"(n), "b"(a) : "memory");
  return ret;
}

static inline long Syscall3(long n, long a, long b, long c) {
  long ret;
  __asm__ volatile("int $0x80"
                   : "=a"(ret)
                   : "a"(n), "b"(a), "c"(b), "d"(c)
                   : "memory");
  return ret;
}

static inline long Syscall5(long n, long a, long b, long c, long d, long e) {
  long ret;
  __asm__ volatile("int $0x80"
                   : "=a"(ret)
                   : "a"(n), "b"(a), "c"(b), "d"(c), "S"(d), "D"(e)
                   : "memory");
  return ret;
}

static inline long Syscall6(long n, long a, long b, long c, long d, long e,
                            long f) {
  __asm__ volatile(
      "push %[f]\n\t"
      "push %%ebp\n\t"
      "mov 4(%%esp), %%ebp\n\t"
      "int $0x80\n\t"
      "pop %%ebp\n\t"
      "add $4, %%esp"
      : "+a"(n)
      : "b"(a), "c"(b), "d"(c), "S"(d), "D"(e), [f] "g"(f)
      : "memory");
  return n;
}

// SOCK_STREAM, which the headers leave to the C library.
constexpr int StreamSocket = 1;

// The kernel's struct sigaction for rt_sigaction, its mask a bit for each of
// 64 signals: the headers' own struct and NSIG are the older call's here.
struct KernelSigaction {
  __sighandler_t handler;
  unsigned long flags = 0;
  unsigned long restorer = 0;
  unsigned int mask[2] = {};
};

// Moves fd's file offset by delta bytes; false when fd cannot seek. A long
// holds no large file's offset here: _llseek takes the move in two halves
// and stores where it ends.
static inline bool SeekBy(int fd, long delta) {
  long long offset;
  return Syscall5(__NR__llseek, fd, delta < 0 ? -1 : 0, delta, (long)&offset,
                  SEEK_CUR) == 0;
}

// The stack guard: GCC's code here reads it from __stack_chk_guard
// (-mstack-protector-guard=global).
static inline uintptr_t* StackGuard() { return &__stack_chk_guard; }
static inline void PlaceStackGuard() {}

// Where the kernel left argc: the stack pointer it jumped to the entry
// with, 4 bytes below the frame address a call would have given it, past its
// return address.
static inline const uintptr_t* EntryStack(const char* entryFrame) {
  return (const uintptr_t*)(entryFrame - 4);
}

// The entry point is the outermost frame, as a C runtime's start file marks
// its own: its call-frame information leaves the return address's column,
// eip, the instruction pointer, undefined, and a debugger's backtrace ends
// there.
#define OUTERMOST_FRAME ".cfi_undefined eip"
