// Linux s390x: svc 0 takes the number in r1 and the arguments in r2 to r7,
// and returns the result in r2; it may change the condition code. The
// numbers come from <asm/unistd.h>. The machine is big-endian, which the
// layer never needs to know: it reads and writes no multi-byte value but
// as the kernel lays it out.
#pragma once

static inline long Syscall1(long n, long a) {
  register long r1 __asm__("r1") = n;
  register long r2 __asm__("r2") = a;
  __asm__ volatile("svc 0" : "+d"(r2) : "d"(r1) : "cc", "memory");
  return r2;
}

static inline long Syscall3(long n, long a, long b, long c) {
  register long r1 __asm__("r1") = n;
  register long r2 __asm__("r2") = a;
  register long r3 __asm__("r3") = b;
  register long r4 __asm__("r4") = c;
  __asm__ volatile("svc 0"
                   : "+d"(r2)
                   : "d"(r1), "d"(r3), "d"(r4)
                   : "cc", "memory");
  return r2;
}

static inline long Syscall5(long n, long a, long b, long c, long d, long e) {
  register long r1 __asm__("r1") = n;
  register long r2 __asm__("r2") = a;
  register long r3 __asm__("r3") = b;
  register long r4 __asm__("r4") = c;
  register long r5 __asm__("r5") = d;
  register long r6 __asm__("r6") = e;
  __asm__ volatile("svc 0"
                   : "+d"(r2)
                   : "d"(r1), "d"(r3), "d"(r4), "d"(r5), "d"(r6)
                   : "cc", "memory");
  return r2;
}

static inline long Syscall6(long n, long a, long b, long c, long d, long e,
                            long f) {
  register long r1 __asm__("r1") = n;
  register long r2 __asm__("r2") = a;
  register long r3 __asm__("r3") = b;
  register long r4 __asm__("r4") = c;
  register long r5 __asm__("r5") = d;
  register long r6 __asm__("r6") = e;
  register long r7 __asm__("r7") = f;
  __asm__ volatile("svc 0"
                   : "+d"(r2)
                   : "d"(r1), "d"(r3), "d"(r4), "d"(r5), "d"(r6), "d"(r7)
                   : "cc", "memory");
  return r2;
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

// The stack guard. GCC's code here reads it only from the thread's control
// block, 0x28 bytes past the thread pointer, whose high half is in access
// register a0 and low half in a1; user code sets them itself. This block
// stands in for a thread library's.
inline uintptr_t threadBlock[6];
static inline uintptr_t* StackGuard() {
  return &threadBlock[0x28 / sizeof(uintptr_t)];
}
static inline void PlaceStackGuard() {
  const uintptr_t block = (uintptr_t)threadBlock;
  __asm__ volatile("sar %%a0, %0\n\tsar %%a1, %1"
                   :
                   : "d"(block >> 32), "d"(block));
}

// Where the kernel left argc, if it can be read: here it cannot. The entry's
// first instruction saves r14 and r15 where a caller's register save area
// would be, 112 bytes above argc: over the environment's pointers, so the
// walk to the auxiliary vector could lose its step and read a value as a
// type. The guard comes from getrandom instead, one system call more.
static inline const uintptr_t* EntryStack(const char*) { return nullptr; }

// The entry point is the outermost frame, as a C runtime's start file marks
// its own: its call-frame information leaves the return address's column,
// r14, the link register, undefined, and a debugger's backtrace ends there.
#define OUTERMOST_FRAME ".cfi_undefined %r14"
