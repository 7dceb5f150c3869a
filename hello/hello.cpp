// hello: writes one line and exits: status 0, or 1 when the line was not
// written whole. It never reads, so it carries no read code at all.
#include "console_io.h"

static const char greeting[] = {'H', 'e', 'l', 'l', 'o', ',',  ' ', 'w',
                                'o', 'r', 'l', 'd', '.', '\r', '\n'};

PROGRAM_ENTRY(HelloMain) {
  WriteText(greeting, sizeof greeting);
  ExitProgram();
}
