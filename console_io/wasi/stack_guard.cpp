// The stack guard in WebAssembly: set at the entry point from the engine's
// random bytes, and what a failed check does.
//
// Return addresses live on the engine's own stack, out of the module's
// reach, so an overrun cannot redirect a return. What the guard protects is
// the stack the compiler keeps in linear memory for arrays and whatever has
// its address taken: a frame's own locals there, and its callers'.
#include "../console_io.h"
#include "wasi.h"

// Link-time optimisation sees no use of these: the compiler's code that
// uses them is made after it. They are kept by name.
extern "C" {
__attribute__((used)) uintptr_t __stack_chk_guard;
}

// One call for the guard's random bytes, new for each run. Unprotected
// itself: the guard changes under it.
__attribute__((noinline, no_stack_protector)) void SetStackGuard(const void*) {
  wasi::random_get(&__stack_chk_guard, sizeof __stack_chk_guard);
}

// A frame's guard was overwritten: linear memory's stack can no longer be
// trusted, so nothing returns and nothing is written. The module traps,
// which ends the run at once wherever it runs.
extern "C" [[noreturn]] __attribute__((used, no_stack_protector)) void
__stack_chk_fail() {
  __builtin_trap();
}
