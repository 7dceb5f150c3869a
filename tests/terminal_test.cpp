// The built program at a real pseudo-terminal, as a user types at it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "harness.h"

namespace {

const std::string X77(77, 'x'), X78(78, 'x'), X79(79, 'x'), X80(80, 'x'),
    X100(100, 'x');
// Characters of 2, 3 and 4 bytes in UTF-8: e acute, the euro sign, an emoji.
const std::string E2 = "\xc3\xa9", E3 = "\xe2\x82\xac", E4 = "\xf0\x9f\x98\x80";
std::string Repeat(const std::string& text, int times) {
  std::string all;
  while (times-- > 0) all += text;
  return all;
}
// What cmd shows once it reads again, when nothing was left for it: its
// prompt, the status it got from the program, and its prompt again.
const std::string CmdAfter = "\r\n>echo %ERRORLEVEL%\r\n0\r\n\r\n>exit\r\n",
                  CmdAfter1 = "\r\n>echo %ERRORLEVEL%\r\n1\r\n\r\n>exit\r\n";
// A 200-character line whose rest, past the 80 the program takes, is a
// command that shows itself if cmd ever runs it.
const std::string Line200 = X80 + std::string(109, ' ') + "echo LEAKED";

struct TerminalCase {
  const char* name;
  std::string typed;  // keys as a terminal sends them: Enter is CR
  // At a Linux terminal, byte for byte: how the terminal echoes the typing,
  // what the program writes back, what the terminal still holds afterwards.
  std::string shown, echoed, leftover;
  // At a Windows console (Wine's, drawn on the same terminal): how the
  // typed line is shown and what the program writes back; none where the
  // keys mean something else there.
  std::optional<std::string> windowsShown, windowsEchoed;
  // Text already waiting when the program starts, pasted while a shell
  // edited its command line; not tried at a Windows console.
  std::string pasted = "";
  // At a Windows console, the program started from cmd instead: what cmd
  // shows after the program's echo, given `echo %ERRORLEVEL%` and `exit`.
  std::optional<std::string> cmdShows = {};
  void (*modes)(termios&) = nullptr;  // settings besides the defaults
  std::string cmdFirst = "";          // a command cmd runs before the program
  bool reads = true;  // a row for lineecho, or for hello, which never reads
};

void CtrlCIsAKey(termios& t) {
  t.c_cc[VINTR] = _POSIX_VDISABLE;
  t.c_cc[VEOL] = '\x03';
}
void IgnCr(termios& t) { t.c_iflag |= IGNCR; }
void Eol(termios& t) { t.c_cc[VEOL] = ','; }
void Eol2(termios& t) { t.c_cc[VEOL2] = ';'; }
void NoEols(termios& t) { t.c_cc[VEOL] = t.c_cc[VEOL2] = 0; }
void NoIcrnl(termios& t) { t.c_iflag &= ~ICRNL; }
void RawIgnCr(termios& t) {
  t.c_lflag &= ~ICANON;
  t.c_iflag |= IGNCR;
}
// What arrives after the terminal is back in line mode is echoed as it
// comes, however much the program has taken by then: echo off, so that
// what is shown does not depend on when it arrived.
void NoEcho(termios& t) { t.c_lflag &= ~ECHO; }

// The two platforms differ in what the console delivers, not in what the
// program does with it: a Linux terminal ends a line with LF, a Windows
// console with CR LF, one byte more, so a line is cut at 80 one typed
// character sooner there. The Windows console keeps its own input buffer,
// so nothing typed ahead is echoed there before a read asks for it.
const TerminalCase Cases[] = {
    {"short line", "abc\r", "abc\n", "abc\n", "", "abc\r\n", "abc\r\n"},
    {"empty line", "\r", "\n", "\n", "", "\r\n", "\r\n"},
    {"79 bytes with ending", X78 + "\r", X78 + "\n", X78 + "\n", "",
     X78 + "\r\n", X78 + "\r\n"},
    {"80 bytes with ending", X79 + "\r", X79 + "\n", X79 + "\n", "",
     X79 + "\r\n", X79 + "\r"},
    // The ending of an 81-byte line is its overflow: read and dropped. The
    // Windows console moves its cursor on as soon as a line is full, so
    // Enter there leaves an empty line under the typing.
    {"81 bytes with ending", X80 + "\r", X80 + "\n", X80, "", X80 + "\r\n\r\n",
     X80},
    // The overflow of a long line never reaches the shell; a line typed
    // ahead of the read does.
    {"100 bytes, a line typed ahead", X100 + "\rahead\r", X100 + "\nahead\n",
     X80, "ahead\n", X100 + "\r\n", X80},
    {"line typed ahead", "abc\rnext\r", "abc\nnext\n", "abc\n", "next\n",
     "abc\r\n", "abc\r\n"},
    // Ctrl-D ends input at a Linux terminal; on Windows it is a character.
    {"end of input at an empty line", "\x04", "", "", "", {}, {}},
    {"end of input after text", "abc\x04", "abc", "abc", "", {}, {}},
    {"erased character",
     "abx\x7f"
     "c\r",
     "abx\b \bc\n", "abc\n", "", "abc\r\n", "abc\r\n"},
    {"bytes above 0x7f", "caf\xc3\xa9\r", "caf\xc3\xa9\n", "caf\xc3\xa9\n", "",
     "caf\xc3\xa9\r\n", "caf\xc3\xa9\r\n"},
    // A character is never cut in two where the rest of the line is
    // dropped: the echo ends before it. Bytes that form no character are
    // cut as they stand. Wine's console runs in a single-byte code page,
    // where a character is a byte and nothing moves the cut.
    {"2-byte character at the cut", X79 + E2 + "\r", X79 + E2 + "\n", X79, "",
     X79 + E2 + "\r\n\r\n", X79 + E2},
    {"3-byte character at the cut",
     X79 + E3 + "\r",
     X79 + E3 + "\n",
     X79,
     "",
     {},
     {}},
    {"3-byte character just before the cut",
     X78 + E3 + "\r",
     X78 + E3 + "\n",
     X78,
     "",
     {},
     {}},
    {"4-byte character at the cut",
     X79 + E4 + "\r",
     X79 + E4 + "\n",
     X79,
     "",
     {},
     {}},
    {"4-byte character just before the cut",
     X77 + E4 + "\r",
     X77 + E4 + "\n",
     X77,
     "",
     {},
     {}},
    {"2-byte characters from an even start",
     Repeat(E2, 41) + "\r",
     Repeat(E2, 41) + "\n",
     Repeat(E2, 40),
     "",
     {},
     {}},
    {"2-byte characters from an odd start",
     "a" + Repeat(E2, 45) + "\r",
     "a" + Repeat(E2, 45) + "\n",
     "a" + Repeat(E2, 39),
     "",
     {},
     {}},
    {"malformed byte at the cut",
     X79 + "\xc3y\r",
     X79 + "\xc3y\n",
     X79 + "\xc3",
     "",
     {},
     {}},
    // The lowest and the highest lead bytes, and E0, whose character is 3
    // bytes long as any lead's from E0 to EF.
    {"lead byte C2 at the cut",
     X79 + "\xc2\xa3\r",
     X79 + "\xc2\xa3\n",
     X79,
     "",
     {},
     {}},
    {"lead byte F4 at the cut",
     X79 + "\xf4\x8f\xbf\xbf\r",
     X79 + "\xf4\x8f\xbf\xbf\n",
     X79,
     "",
     {},
     {}},
    {"lead byte E0 just before the cut",
     X78 + "\xe0\xa4\xb9\r",
     X78 + "\xe0\xa4\xb9\n",
     X78,
     "",
     {},
     {}},
    // C0 and C1 would only start overlong forms, F5 to F7 characters past
    // U+10FFFF: no character starts with them, so they are cut as they
    // stand.
    {"overlong lead byte C1 at the cut",
     X79 + "\xc1\xbf\r",
     X79 + "\xc1\xbf\n",
     X79 + "\xc1",
     "",
     {},
     {}},
    {"lead byte F5 at the cut",
     X79 + "\xf5\x80\x80\x80\r",
     X79 + "\xf5\x80\x80\x80\n",
     X79 + "\xf5",
     "",
     {},
     {}},
    // A lead byte followed by another lead byte is no character: cut as it
    // stands.
    {"two lead bytes at the cut",
     X79 + "\xc3" + E2 + "\r",
     X79 + "\xc3" + E2 + "\n",
     X79 + "\xc3",
     "",
     {},
     {}},
    // A stray continuation byte after a character does not make it longer.
    {"character at the cut, a continuation byte after it",
     X79 + E2 + "\xa9\r",
     X79 + E2 + "\xa9\n",
     X79,
     "",
     {},
     {}},
    // Ended by Ctrl-D, the line has no LF: the character ends the text.
    {"character at the cut, ended by Ctrl-D",
     X79 + E2 + "\x04",
     X79 + E2,
     X79,
     "",
     {},
     {}},
    // Pasted at a shell's prompt: the terminal holds it all as one line,
    // but the program takes its own line only and leaves the rest to the
    // shell, as it waits. bash leaves CR where the user pressed Enter, zsh
    // LF; the terminal would have made a line end of either.
    {"pasted lines ended by CR",
     "",
     "",
     "hello\n",
     "touch after\r",
     {},
     {},
     "hello\rtouch after\r"},
    {"pasted lines ended by LF",
     "",
     "",
     "hello\n",
     "echo after\n",
     {},
     {},
     "hello\necho after\n"},
    {"pasted long line", "", "", X80, "next\r", {}, {}, X100 + "\rnext\r"},
    // A paste longer than the terminal holds out of line mode: the rest
    // arrives once the program reads, and is dropped up to the line end.
    {"pasted line longer than the terminal holds",
     "",
     "",
     X80,
     "next\n",
     {},
     {},
     std::string(5000, 'x') + "\rnext\r",
     {},
     NoEcho},
    // A paste that has not ended yet goes on where the terminal's line
    // does: the rest of it, or what the user types, ends the line.
    {"pasted text ended by typing",
     "lo\rnext\r",
     "lo\nnext\n",
     "hello\n",
     "next\n",
     {},
     {},
     "hel"},
    {"long pasted line ended by typing",
     "yyy\rnext\r",
     "yyy\nnext\n",
     X80,
     "next\n",
     {},
     {},
     X100},
    // From cmd, which shares the console: the rest of the program's line is
    // the program's, and never runs as a command; lines typed after it do.
    // An echo that fills its line moves the console's cursor on as well.
    {"81 characters from cmd", X80 + "z\r", X80 + "z\n", X80, "", X80 + "z\r\n",
     X80, "", "\r\n" + CmdAfter},
    {"200 characters from cmd", Line200 + "\r", Line200 + "\n", X80, "",
     Line200 + "\r\n", X80, "", "\r\n" + CmdAfter},
    {"79 characters from cmd", X79 + "\r", X79 + "\n", X79 + "\n", "",
     X79 + "\r\n", X79 + "\r", "", CmdAfter},
    {"80 characters from cmd", X80 + "\r", X80 + "\n", X80, "",
     X80 + "\r\n\r\n", X80, "", "\r\n" + CmdAfter},
    {"line typed ahead from cmd", "first\recho ahead\r", "first\necho ahead\n",
     "first\n", "echo ahead\n", "first\r\n", "first\r\n", "",
     "\r\n>echo ahead\r\nahead\r\n" + CmdAfter},
    // With cmd's console in UTF-8 the cut moves, as at a Linux terminal.
    {"UTF-8 from cmd", X79 + E2 + "\r", X79 + E2 + "\n", X79, "",
     X79 + E2 + "\r\n\r\n", X79, "", CmdAfter, nullptr, "chcp 65001\r"},
    // Ctrl-C reaches the console as a key: the read ends with nothing, a
    // failure. At a Linux terminal it is the line's end then.
    {"Ctrl-C from cmd", "\x03", "^C", "\x03", "", "", "", "", CmdAfter1,
     CtrlCIsAKey},
    // Pasted lines ended by the terminal's own settings: CR ignored (Enter
    // is Ctrl-J then), its EOL and its EOL2.
    {"IGNCR",
     "\n",
     "\n",
     "hellonext\n",
     "",
     {},
     {},
     "hello\rnext\r",
     {},
     IgnCr},
    // With ICRNL off a CR is text, in pasted text too.
    {"ICRNL off", "", "", "a\rb\n", "", {}, {}, "a\rb\n", {}, NoIcrnl},
    // Out of line mode IGNCR is the terminal's to apply as text arrives: a
    // CR that came before it was set is text.
    {"pasted before IGNCR, out of line mode",
     "",
     "",
     "a\rb\n",
     "",
     {},
     {},
     "a\rb\n",
     {},
     RawIgnCr},
    {"EOL", "", "", "a,", "b\r", {}, {}, "a,b\r", {}, Eol},
    {"EOL2", "", "", "a;", "b\r", {}, {}, "a;b\r", {}, Eol2},
    // With EOL and EOL2 unset (0), a pasted NUL is text, not a line end.
    {"NUL pasted, EOL and EOL2 unset",
     "",
     "",
     std::string("a\0b\n", 4),
     "next\r",
     {},
     {},
     std::string("a\0b\rnext\r", 9),
     {},
     NoEols},
    // hello: its line at the terminal or the console, and status 0.
    {"writes only", "", "", "", "", "", "", "", {}, nullptr, "", false},
};

TEST(Terminal, EchoesTheLineTypedAtTheTerminal) {
  for (const TerminalCase& c : Cases) {
    SCOPED_TRACE(c.name);
    if (c.reads != target.reads) continue;
    if (target.windows && !c.windowsEchoed) continue;
    // WASI can neither ask a terminal its settings nor how much waits: it
    // reads what the terminal hands over as one line.
    if (target.wasi && (!c.pasted.empty() || c.modes == IgnCr ||
                        c.modes == Eol || c.modes == Eol2))
      continue;
    TerminalOptions options;
    options.waiting = c.pasted;
    options.fromCmd = target.windows && c.cmdShows;
    options.cmdFirst = c.cmdFirst;
    options.modes = c.modes;
    const TerminalRun run = RunAtTerminal(c.typed, options);
    EXPECT_TRUE(ExitedWithZero(run.status)) << "wait status " << run.status;
    EXPECT_TRUE(run.settingsKept);
    if (target.windows) {
      // Wine's console draws with cursor movements of its own: compare
      // what the user sees. What it reads from the terminal goes into the
      // console's own buffer, which ends with it: nothing is left behind.
      // From cmd, the screen from cmd's prompt for the program on.
      std::vector<std::string> screen = Render(run.output);
      const std::string shown = Prompt + *c.windowsShown + *c.windowsEchoed;
      if (options.fromCmd)
        screen.erase(screen.begin(),
                     std::find(screen.begin(), screen.end(), ">lineecho"));
      EXPECT_EQ(screen,
                Render(options.fromCmd ? ">lineecho\r\n" + shown + *c.cmdShows
                                       : shown))
          << Printable(run.output);
      EXPECT_EQ(Printable(run.leftover), Printable(""));
    } else {
      EXPECT_EQ(Printable(run.output), Printable(Prompt + c.shown + c.echoed));
      EXPECT_EQ(Printable(run.leftover), Printable(c.leftover));
    }
  }
}

// The test program built as lineecho is (--smash): it prompts, shows its
// stack guard and the canary a protected frame holds, and copies the line
// typed into a 16-byte array on its stack. A longer line overruns it, and the
// guard's check ends the run as the copy returns: nothing more is written,
// and the status says so (Linux: killed by SIGABRT; Windows:
// STATUS_STACK_BUFFER_OVERRUN, whose low byte is what Wine's loader exits
// with), even where SIGABRT was inherited ignored or blocked, and no other
// process of its group is signalled (a shell that started it lives on to
// give its status). The canary is the guard; each row runs twice: the
// canaries differ, and over all runs each half of the canary takes more
// than one value.
TEST(Terminal, OverrunStackEndsTheRunAtOnce) {
  const std::string smash = OptionText("smash");
  if (smash.empty()) GTEST_SKIP() << "no --smash program for " << target.name;
  const Target program = target;
  target.exe = smash;
  // No core file from the runs killed on purpose.
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  const std::string X64(64, 'x');
  // How the program inherits SIGABRT (Linux).
  enum AbortSignal { Default, Ignored, Blocked };
  const struct {
    const char* name;
    std::string typed, shown, echoed;  // shown: at a Linux terminal
    std::string windowsShown, windowsEchoed;
    bool overrun;
    AbortSignal abortSignal = Default;
    bool fromShell = false;  // started by sh, in sh's process group
  } cases[] = {
      {"a line the array holds", "short\r", "short\n", "short\n", "short\r\n",
       "short\r\n", false},
      {"a line that overruns it", X64 + "\r", X64 + "\n", "", X64 + "\r\n", "",
       true},
      {"overrun, SIGABRT ignored", X64 + "\r", X64 + "\n", "", "", "", true,
       Ignored},
      {"overrun, SIGABRT blocked", X64 + "\r", X64 + "\n", "", "", "", true,
       Blocked},
      // Typed unechoed: the shell, not the program, is what waits for it.
      {"overrun, started by a shell", X64 + "\r", "", "status 134\n", "", "",
       true, Default, true},
  };
  std::vector<std::string> canaries;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (target.windows && (c.abortSignal || c.fromShell)) continue;
    const std::vector<std::string> runner = target.runner;
    if (c.fromShell)
      target.runner.insert(
          target.runner.begin(),
          {"sh", "-c", "exec 2>/dev/null; \"$@\"; echo status $?", "sh"});
    sigset_t abort, before;
    sigemptyset(&abort);
    sigaddset(&abort, SIGABRT);
    sigprocmask(c.abortSignal == Blocked ? SIG_BLOCK : SIG_UNBLOCK, &abort,
                &before);
    signal(SIGABRT, c.abortSignal == Ignored ? SIG_IGN : SIG_DFL);
    for (int twice = 0; twice < 2; ++twice) {
      TerminalOptions options;
      options.echo = !c.fromShell;
      TerminalRun run = RunAtTerminal(c.typed, options);
      // What qemu-user says of the signal it passes on is not the
      // program's.
      const std::string qemuSays =
          "qemu: uncaught target signal 6 (Aborted) - core dumped\n";
      const size_t qemuAt = run.output.find(qemuSays);
      if (!runner.empty() && qemuAt != std::string::npos)
        run.output.erase(qemuAt, qemuSays.size());
      const size_t shownAt = run.output.find("guard ");
      ASSERT_NE(shownAt, std::string::npos) << Printable(run.output);
      const std::string guard =
          run.output.substr(shownAt, run.output.find('\r', shownAt) - shownAt);
      const size_t canaryAt = guard.find(" canary ");
      ASSERT_NE(canaryAt, std::string::npos) << guard;
      canaries.push_back(guard.substr(canaryAt + 8));
      EXPECT_EQ(guard.substr(6, canaryAt - 6), canaries.back())
          << "the frame's canary is not the guard";
      if (!c.overrun || c.fromShell)
        EXPECT_TRUE(ExitedWithZero(run.status)) << "wait status " << run.status;
      else if (target.windows)
        EXPECT_TRUE(ExitedWith(run.status, 0xC0000409 & 0xff))
            << "wait status " << run.status;
      else
        EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGABRT)
            << "wait status " << run.status;
      const std::string shown = Prompt + guard + "\r\n";
      if (target.windows)
        EXPECT_EQ(Render(run.output),
                  Render(shown + c.windowsShown + c.windowsEchoed))
            << Printable(run.output);
      else
        EXPECT_EQ(Printable(run.output), Printable(shown + c.shown + c.echoed));
    }
    target.runner = runner;
    signal(SIGABRT, SIG_DFL);
    sigprocmask(SIG_SETMASK, &before, nullptr);
  }
  // Where the system has fail-fast, as Wine says it has, the check asks for
  // it rather than calling ExitProcess with the same status: Wine reports
  // the request on its err channel as an exception of that status, and an
  // ExitProcess not at all.
  if (target.windows) {
    const char* const wineDebug = getenv("WINEDEBUG");
    const std::string before = wineDebug ? wineDebug : "";
    setenv("WINEDEBUG", "-all,err+seh", 1);
    const TerminalRun run = RunAtTerminal(X64 + "\r");
    setenv("WINEDEBUG", before.c_str(), 1);
    EXPECT_NE(run.output.find("c0000409"), std::string::npos)
        << Printable(run.output);
  }
  // Random in each half of its width: all runs share one half once in
  // 2^(16*7) at the least.
  for (size_t half = 0; !canaries.empty() && half < 2; ++half) {
    const size_t digits = canaries[0].size() / 2;
    std::set<std::string> seen;
    for (const std::string& canary : canaries)
      seen.insert(canary.substr(half * digits, digits));
    EXPECT_GT(seen.size(), 1u)
        << "half " << half << " is always " << *seen.begin();
  }
  target = program;
  // Random in all its width, not in one byte: some two of the runs show
  // guards that differ in two bytes or more. Not two runs alone: Wine's
  // loader draws a PE32's cookie from a table of 128 values, so two runs
  // show the same guard once in 128; all of four (Windows) or ten (Linux)
  // runs alike, once in two million or more.
  ASSERT_FALSE(canaries.empty());
  size_t mostBytesDiffering = 0;
  for (const std::string& a : canaries)
    for (const std::string& b : canaries) {
      size_t bytesDiffering = 0;
      for (size_t i = 0; i + 1 < a.size() && i + 1 < b.size(); i += 2)
        bytesDiffering += a.compare(i, 2, b, i, 2) != 0;
      mostBytesDiffering = std::max(mostBytesDiffering, bytesDiffering);
    }
  EXPECT_GE(mostBytesDiffering, 2u)
      << "the guards of " << canaries.size() << " runs: " << canaries[0]
      << " ... " << canaries.back();
}

}  // namespace
