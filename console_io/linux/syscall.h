// Raw system calls for the architecture being built: each returns the
// result, or a negative errno. Beside them, what else differs between
// architectures: SOCK_STREAM's number (StreamSocket), the kernel's struct
// sigaction for rt_sigaction (KernelSigaction), and how a file offset is
// moved (SeekBy), where the code reads the stack guard (StackGuard) and
// where the kernel left argc (EntryStack). They need the kernel's numbers
// and types, from its own headers.
#pragma once

#include <asm/signal.h>
#include <asm/unistd.h>
#include <linux/fs.h>
#include <stdint.h>

// The stack guard, where most architectures' code reads it.
extern "C" __attribute__((visibility("hidden"))) uintptr_t __stack_chk_guard;

#if defined(__x86_64__)
#include "syscall_x86_64.h"
#elif defined(__i386__)
#include "syscall_i386.h"
#elif defined(__aarch64__)
#include "syscall_aarch64.h"
#elif defined(__riscv) && __riscv_xlen == 64
#include "syscall_riscv64.h"
#elif defined(__arm__) && defined(__ARM_EABI__)
#include "syscall_arm.h"
#elif defined(__mips__)
#include "syscall_mips.h"
#elif defined(__powerpc64__) && _CALL_ELF == 2
#include "syscall_powerpc64.h"
#elif defined(__s390x__)
#include "syscall_s390x.h"
#else
#error "no system call file for this architecture"
#endif
