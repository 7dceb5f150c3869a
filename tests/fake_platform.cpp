#include "fake_platform.h"

#include <cstring>

#include "console_io.h"

FakePlatform fake;

std::vector<HANDLE> HandlesReturned() {
  std::vector<HANDLE> handles;
  uintptr_t value = 0x100;
  for (const PlatformCall& call : fake.calls)
    if (call.op == Op::GetStdHandle) handles.push_back((HANDLE)value++);
  return handles;
}

// A write or read: what it was handed.
static PlatformCall& Record(Op op, HANDLE console, const void* buffer,
                            DWORD count, DWORD* countOut, void* reserved) {
  PlatformCall call{op};
  call.handle = console;
  call.buffer = buffer;
  call.count = count;
  call.countOut = countOut;
  call.reserved = reserved;
  fake.calls.push_back(call);
  return fake.calls.back();
}

namespace platform {

HANDLE GetStdHandle(DWORD stdHandle) {
  fake.calls.push_back({Op::GetStdHandle, stdHandle});
  return (HANDLE)fake.nextHandle++;
}

BOOL WriteConsoleA(HANDLE console, const void* buffer, DWORD charsToWrite,
                   DWORD* charsWritten, void* reserved) {
  Record(Op::Write, console, buffer, charsToWrite, charsWritten, reserved)
      .written.assign(static_cast<const char*>(buffer), charsToWrite);
  std::optional<DWORD> reported = charsToWrite;
  if (!fake.writes.empty()) {
    reported = fake.writes.front();
    fake.writes.pop_front();
  }
  if (!reported) return 0;
  *charsWritten = *reported;
  return 1;
}

BOOL ReadConsoleA(HANDLE console, void* buffer, DWORD charsToRead,
                  DWORD* charsRead, void* inputControl) {
  Record(Op::Read, console, buffer, charsToRead, charsRead, inputControl);
  if (fake.reads.empty() || !fake.reads.front()) {
    if (!fake.reads.empty()) fake.reads.pop_front();
    return 0;
  }
  std::string line = *fake.reads.front();
  fake.reads.pop_front();
  if (line.size() > charsToRead) line.resize(charsToRead);
  std::memcpy(buffer, line.data(), line.size());
  *charsRead = static_cast<DWORD>(line.size());
  return 1;
}

void ExitProcess(UINT exitCode) {
  PlatformCall call{Op::Exit};
  call.exitCode = exitCode;
  fake.calls.push_back(call);
  throw ProcessExited{exitCode};
}

}  // namespace platform

// The entry point's first act, recorded as it comes among the calls.
void SetStackGuard(const void*) {
  fake.callsBeforeStackGuard = (int)fake.calls.size();
}
