// What the layers whose handles are file descriptors share (Linux, WASI):
// standard input, output and error are descriptors 0, 1 and 2, and a
// handle is its descriptor.
#pragma once

#include "platform.h"

inline int Descriptor(HANDLE handle) { return (int)(intptr_t)handle; }

// GetStdHandle's numbers, -10, -11 and -12, as descriptors; anything else
// gets a descriptor that no call accepts.
inline HANDLE StdDescriptor(DWORD stdHandle) {
  const int32_t which = (int32_t)stdHandle;
  const int fd = which <= -10 && which >= -12 ? -10 - which : -1;
  return (HANDLE)(intptr_t)fd;
}
