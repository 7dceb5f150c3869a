// Linux 32-bit ARM (EABI), armel's ARM code and armhf's Thumb-2 alike: svc 0
// takes the number in r7 and the arguments in r0 to r5, and returns the
// result in r0. Thumb code keeps its frame pointer in r7, which an asm
// operand may not name, so the number comes in another register and is
// moved into r7 for the call, r7 saved around it. The numbers come from
// <asm/unistd.h>.
#pragma once

#define ARM_SVC          \
  "mov %[saved], r7\n\t" \
  "mov r7, %[n]\n\t"     \
  "svc 0\n\t"            \
  "mov r7, %[saved]"

static inline long Syscall1(long n, long a) {
  register long r0 __asm__("r0") = a;
  long saved;
  __asm__ volatile(ARM_SVC
                   : "+r"(r0), [saved] "=&r"(saved)
                   : [n] "r"(n)
                   : "memory");
  return r0;
}

static inline long Syscall3(long n, long a, long b, long c) {
  register long r0 __asm__("r0") = a;
  register long r1 __asm__("r1") = b;
  register long r2 __asm__("r2") = c;
  long saved;
  __asm__ volatile(ARM_SVC
                   : "+r"(r0), [saved] "=&r"(saved)
                   : [n] "r"(n), "r"(r1), "r"(r2)
                   : "memory");
  return r0;
}

static inline long Syscall5(long n, long a, long b, long c, long d, long e) {
  register long r0 __asm__("r0") = a;
  register long r1 __asm__("r1") = b;
  register long r2 __asm__("r2") = c;
  register long r3 __asm__("r3") = d;
  register long r4 __asm__("r4") = e;
  long saved;
  __asm__ volatile(ARM_SVC
                   : "+r"(r0), [saved] "=&r"(saved)
                   : [n] "r"(n), "r"(r1), "r"(r2), "r"(r3), "r"(r4)
                   : "memory");
  return r0;
}

static inline long Syscall6(long n, long a, long b, long c, long d, long e,
                            long f) {
  register long r0 __asm__("r0") = a;
  register long r1 __asm__("r1") = b;
  register long r2 __asm__("r2") = c;
  register long r3 __asm__("r3") = d;
  register long r4 __asm__("r4") = e;
  register long r5 __asm__("r5") = f;
  long saved;
  __asm__ volatile(ARM_SVC
                   : "+r"(r0), [saved] "=&r"(saved)
                   : [n] "r"(n), "r"(r1), "r"(r2), "r"(r3), "r"(r4), "r"(r5)
                   : "memory");
  return r0;
}

#undef ARM_SVC

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

// The stack guard. GCC's code here reads it from __stack_chk_guard, whose
// address it always takes from the global offset table (so that the address
// is never spilled where an overrun could change it). The linker leaves
// that entry as the guard's address in the file, to be moved by where the
// kernel put the file, with one relocation for a loader to apply: with no
// loader, the entry point applies it, before any check reads the entry.
extern "C" __attribute__((visibility("hidden"))) const char __ehdr_start[];
struct Relocation {
  uint32_t offset, type;
};
extern "C" __attribute__((visibility("hidden")))
const Relocation __rel_dyn_start[],
    __rel_dyn_end[];
static inline uintptr_t* StackGuard() { return &__stack_chk_guard; }
static inline void PlaceStackGuard() {
  // A static executable binds no symbol: each is R_ARM_RELATIVE.
  const uintptr_t base = (uintptr_t)__ehdr_start;
  for (const Relocation* r = __rel_dyn_start; r < __rel_dyn_end; ++r)
    *(uintptr_t*)(base + r->offset) += base;
}

// Where the kernel left argc: the stack pointer it jumped to the entry
// with, which is the entry's frame address: a call pushes nothing here.
static inline const uintptr_t* EntryStack(const char* entryFrame) {
  return (const uintptr_t*)entryFrame;
}

// The entry point is the outermost frame, as a C runtime's start file marks
// its own: its call-frame information leaves the return address's column,
// lr, the link register, undefined, and a debugger's backtrace ends there.
#define OUTERMOST_FRAME ".cfi_undefined lr"
