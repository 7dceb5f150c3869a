// lineecho: prompts, reads one line of at most 80 characters, writes those
// characters back and exits: status 0, or 1 when a write or the read failed.
#include "console_io.h"

static const char promptText[] = {
    '\r', '\n', 'E', 'n', 't', 'e', 'r', ' ', 's', 'o', 'm', 'e',  ' ',
    'c',  'h',  'a', 'r', 'a', 'c', 't', 'e', 'r', 's', '.', '\r', '\n'};
static const uint32_t promptLength = sizeof promptText;

PROGRAM_ENTRY(EchoMain) {
  WriteText(promptText, promptLength);
  const ReadResult line = ReadText();
  WriteText(line.text, line.count);
  ExitProgram();
}
