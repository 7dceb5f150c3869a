// Built as lineecho is, but copies a run whose length is known only at run
// time, for which the compiler calls memcpy. With no runtime library there
// is no memcpy: this must fail to link.
extern "C" [[noreturn]] void GuardMain() {
  static char from[64], to[64];
  volatile unsigned length = sizeof from;
  __builtin_memcpy(to, from, length);
  for (;;) {
  }
}
