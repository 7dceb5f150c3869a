// Linux x86-64: system call numbers and the syscall instruction.
#pragma once

#define SYS_read 0
#define SYS_write 1
#define SYS_lseek 8
#define SYS_rt_sigaction 13
#define SYS_ioctl 16
#define SYS_recvfrom 45
#define SYS_getsockopt 55
#define SYS_exit_group 231
#define SYS_ppoll 271
#define SYS_tee 276
#define SYS_pipe2 293
#define SYS_statx 332

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
