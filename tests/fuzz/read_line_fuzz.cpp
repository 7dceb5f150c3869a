// The Linux layer's line reading, over every input libFuzzer can find:
// from a file, a pipe and a stream socket, one read delivers the input's first
// line cut at the maximum asked for, never a byte more, and the next reader
// finds exactly the rest. Any difference aborts.
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform.h"

namespace {

void Check(bool holds) {
  if (!holds) abort();
}

std::string Drain(int fd) {
  std::string all;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
    all.append(buffer, n);
  return all;
}

// Reads once through the layer into a buffer of exactly max bytes, so that
// the sanitizer sees any write past it; what was delivered.
std::string ReadOnce(int fd, DWORD max) {
  std::unique_ptr<char[]> buffer(new char[max]);
  DWORD count = 0xdeadbeef;
  platform::ReadConsoleA((HANDLE)(intptr_t)fd, buffer.get(), max, &count,
                         nullptr);
  Check(count <= max);
  return std::string(buffer.get(), count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 60000) return 0;  // a pipe must hold it all
  const DWORD max = 1 + data[0] % 100;     // around the program's 80
  const std::string input((const char*)data + 1, size - 1);
  const size_t end = input.find('\n');
  const std::string line = input.substr(
      0,
      std::min<size_t>(end == std::string::npos ? input.size() : end + 1, max));

  const int file = memfd_create("input", 0);
  Check(write(file, input.data(), input.size()) == (ssize_t)input.size());
  lseek(file, 0, SEEK_SET);
  Check(ReadOnce(file, max) == line);
  Check(lseek(file, 0, SEEK_CUR) == (off_t)line.size());
  Check(Drain(file) == input.substr(line.size()));
  close(file);

  // A pipe and a stream socket, each with all of the input waiting and its
  // writer gone.
  for (const bool socket : {false, true}) {
    int ends[2];
    Check((socket ? socketpair(AF_UNIX, SOCK_STREAM, 0, ends) : pipe(ends)) ==
          0);
    Check(write(ends[1], input.data(), input.size()) == (ssize_t)input.size());
    close(ends[1]);
    Check(ReadOnce(ends[0], max) == line);
    Check(Drain(ends[0]) == input.substr(line.size()));
    close(ends[0]);
  }
  return 0;
}
