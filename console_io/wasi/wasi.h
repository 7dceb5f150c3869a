// The WASI preview 1 calls the layer imports, declared as the engine gives
// them: module "wasi_snapshot_preview1", each returning an errno (0 is
// success) and writing its results through pointers into linear memory.
#pragma once

#include <stdint.h>

namespace wasi {

struct Iovec {
  const void* buffer;
  uint32_t length;
};

// What fd_fdstat_get writes: the kind of file first, then flags and rights
// that the layer does not read.
struct Fdstat {
  uint8_t filetype;
  uint16_t flags;
  uint64_t rightsBase, rightsInheriting;
};
constexpr uint8_t CharacterDevice = 2;

#define WASI_IMPORT(name) \
  __attribute__((import_module("wasi_snapshot_preview1"), import_name(#name)))

extern "C" {
WASI_IMPORT(fd_write)
uint16_t fd_write(int fd, const Iovec* iovs, uint32_t count, uint32_t* written);
WASI_IMPORT(fd_read)
uint16_t fd_read(int fd, const Iovec* iovs, uint32_t count, uint32_t* read);
WASI_IMPORT(fd_fdstat_get) uint16_t fd_fdstat_get(int fd, Fdstat* stat);
WASI_IMPORT(random_get) uint16_t random_get(void* buffer, uint32_t length);
[[noreturn]] WASI_IMPORT(proc_exit) void proc_exit(uint32_t status);
}

}  // namespace wasi
