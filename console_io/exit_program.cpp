#include "console_io.h"
#include "exit_status.h"
#include "platform.h"

bool anyCallFailed;

void ExitProgram() { platform::ExitProcess(anyCallFailed ? 1 : 0); }
