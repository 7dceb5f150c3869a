/* lineecho written the usual way in C: stdio, with its buffering. */
#include <stdio.h>

int main(void) {
  char line[81];
  fputs("\r\nEnter some characters.\r\n", stdout);
  fflush(stdout);
  if (fgets(line, sizeof line, stdin)) fputs(line, stdout);
  return 0;
}
