// The built program at a real pseudo-terminal, as a user types at it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "harness.h"

namespace {

const std::string X78(78, 'x'), X79(79, 'x'), X80(80, 'x'), X100(100, 'x');

struct TerminalCase {
  const char* name;
  std::string typed;     // keys as a terminal sends them: Enter is CR
  std::string shown;     // how the terminal echoes that typing
  std::string echoed;    // what the program writes back
  std::string leftover;  // what the terminal still holds for the shell
};

// Linux terminals deliver a line with its LF ending; the program passes on
// exactly what was delivered, cut at 80 bytes.
const TerminalCase Cases[] = {
    {"short line", "abc\r", "abc\n", "abc\n", ""},
    {"empty line", "\r", "\n", "\n", ""},
    {"79 bytes with ending", X78 + "\r", X78 + "\n", X78 + "\n", ""},
    {"80 bytes with ending", X79 + "\r", X79 + "\n", X79 + "\n", ""},
    // The ending of an 81-byte line is its overflow: read and dropped.
    {"81 bytes with ending", X80 + "\r", X80 + "\n", X80, ""},
    // The overflow of a long line never reaches the shell; a line typed
    // ahead of the read does.
    {"100 bytes, a line typed ahead", X100 + "\rahead\r", X100 + "\nahead\n",
     X80, "ahead\n"},
    {"line typed ahead", "abc\rnext\r", "abc\nnext\n", "abc\n", "next\n"},
    {"end of input at an empty line", "\x04", "", "", ""},
    {"end of input after text", "abc\x04", "abc", "abc", ""},
    {"erased character",
     "abx\x7f"
     "c\r",
     "abx\b \bc\n", "abc\n", ""},
    {"bytes above 0x7f and a tab", "\xc3\xa9\t\r", "\xc3\xa9\t\n",
     "\xc3\xa9\t\n", ""},
};

TEST(Terminal, EchoesTheLineTypedAtTheTerminal) {
  for (const TerminalCase& c : Cases) {
    SCOPED_TRACE(c.name);
    const TerminalRun run = RunAtTerminal(c.typed);
    EXPECT_EQ(Printable(run.screen), Printable(c.shown + c.echoed));
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0)
        << "wait status " << run.status;
    EXPECT_EQ(Printable(run.leftover), Printable(c.leftover));
    EXPECT_TRUE(run.settingsKept);
  }
}

}  // namespace
