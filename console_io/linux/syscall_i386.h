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
