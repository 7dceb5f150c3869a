// The four platform operations the library is built on, and nothing else.
//
// They keep KERNEL32's names and shapes, in a namespace of their own so that
// the layer's never meet KERNEL32's. On Windows three of them are KERNEL32's
// own and the layer under windows/ gives the read; elsewhere the layer under
// linux/ gives all four, over system calls.
#pragma once

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#else

#include <stdint.h>

typedef void* HANDLE;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int BOOL;

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

#endif

namespace platform {

#ifdef _WIN32
using ::ExitProcess;
using ::GetStdHandle;
using ::WriteConsoleA;
#else
HANDLE GetStdHandle(DWORD stdHandle);
BOOL WriteConsoleA(HANDLE console, const void* buffer, DWORD charsToWrite,
                   DWORD* charsWritten, void* reserved);
[[noreturn]] void ExitProcess(UINT exitCode);
#endif

BOOL ReadConsoleA(HANDLE console, void* buffer, DWORD charsToRead,
                  DWORD* charsRead, void* inputControl);

}  // namespace platform
