// The four platform operations the library is built on, and nothing else.
//
// On Windows they are KERNEL32's own. Elsewhere the layer under linux/ gives
// the same effects, with the same names and shapes, over system calls.
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

extern "C" {
HANDLE GetStdHandle(DWORD stdHandle);
BOOL WriteConsoleA(HANDLE console, const void* buffer, DWORD charsToWrite,
                   DWORD* charsWritten, void* reserved);
BOOL ReadConsoleA(HANDLE console, void* buffer, DWORD charsToRead,
                  DWORD* charsRead, void* inputControl);
[[noreturn]] void ExitProcess(UINT exitCode);
}

#endif
