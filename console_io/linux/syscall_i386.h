// Linux i386: int $0x80 takes the number in eax and the arguments in ebx,
// ecx, edx, esi, edi and ebp, and returns the result in eax. The numbers
// come from <asm/unistd.h>.
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
