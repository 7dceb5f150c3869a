// The console's read for Windows, over KERNEL32's own; the other three
// operations are KERNEL32's, unchanged.
#include "../platform.h"

namespace platform {

BOOL ReadConsoleA(HANDLE console, void* buffer, DWORD charsToRead,
                  DWORD* charsRead, void* inputControl) {
  return ::ReadConsoleA(console, buffer, charsToRead, charsRead, inputControl);
}

}  // namespace platform
