// Linux i386: system call numbers and the int $0x80 gate.
#pragma once

#define SYS_read 3
#define SYS_write 4
#define SYS_ioctl 54
#define SYS__llseek 140
#define SYS_rt_sigaction 174
#define SYS_exit_group 252
#define SYS_ppoll 309
#define SYS_tee 315
#define SYS_pipe2 331
#define SYS_getsockopt 365
#define SYS_recvfrom 371
#define SYS_statx 383

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
