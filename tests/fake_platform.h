// A recording stand-in for the four platform operations, so the library
// can be checked call by call without a console.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"

enum class Op { GetStdHandle, Write, Read, Exit };

struct PlatformCall {
  Op op;
  DWORD which = 0;          // GetStdHandle: the standard handle asked for
  UINT exitCode = 0;        // Exit
  HANDLE handle = nullptr;  // Write, Read: the handle used
  const void* buffer = nullptr;
  DWORD count = 0;  // Write: length; Read: the maximum
  DWORD* countOut = nullptr;
  void* reserved = nullptr;  // the last argument, which must be null
  std::string written;       // Write: the bytes handed over
};

// Thrown in place of ending the process.
struct ProcessExited {
  UINT code;
};

struct FakePlatform {
  std::vector<PlatformCall> calls;
  // What each read delivers, in order; nullopt is a read that fails and
  // leaves the count untouched.
  std::deque<std::optional<std::string>> reads;
  // What each write reports written, in order; nullopt is a write that
  // fails and leaves the count untouched. Once none are left, every write
  // succeeds whole.
  std::deque<std::optional<DWORD>> writes;
  // The handle the next GetStdHandle returns; every call returns a new one.
  uintptr_t nextHandle = 0x100;
  // How many calls came before SetStackGuard; -1 while it has not run.
  int callsBeforeStackGuard = -1;
};

extern FakePlatform fake;

// The handles GetStdHandle returned, in order.
std::vector<HANDLE> HandlesReturned();
