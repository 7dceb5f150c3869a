// Starting the built program as a user would: at a pseudo-terminal, or with
// pipes, files and broken descriptors as its standard input and output.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

// What the program under test writes first: lineecho's prompt, or all the
// example, hello, writes.
extern std::string Prompt;

// The executable under test and how this machine runs it.
struct Target {
  std::string name;  // linux-x86_64, windows-x64, ...
  std::string exe;
  bool reads = true;  // whether the program reads a line; hello does not
  std::vector<std::string> runner;  // qemu-user, Wine's loader, Node's WASI
  bool windows = false;
  bool wasi = false;  // a WebAssembly module, run by tools/wasi-run
};

// Set by main from --target NAME --exe PATH [--runner CMD]... A target of
// 32-bit x86 code also has --probe-32-bit EXE, a small static i386 program
// started first: where this kernel refuses it, the suite runs the target
// under --runner-if-refused CMD instead, or without that reports itself
// skipped (exit status 77).
extern Target target;
// Any other --NAME VALUE on the command line, as a number, or otherwise.
long Option(const std::string& name, long otherwise);
std::string OptionText(const std::string& name);

// An owned file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept;
  ~Fd();
  int get() const { return fd_; }
  int release();

 private:
  int fd_ = -1;
};

struct Pipe {
  Fd read, write;
};
Pipe MakePipe();
// A regular file holding contents, positioned at its start.
Fd FileWith(const std::string& contents);

void SetNonBlocking(int fd);
// A new open file description of what fd refers to, with its own flags:
// through /proc, so a pipe end can be made non-blocking for us alone.
Fd Reopen(int fd, int flags);
// Writes to the non-blocking fd until its pipe is full; what was written.
std::string Fill(int fd);
void WriteAll(int fd, const std::string& bytes);
// Everything readable now, without waiting.
std::string ReadAvailable(int fd);
// Reads until done says so of all read, or until timeout; all of it.
std::string ReadUntil(int fd,
                      const std::function<bool(const std::string&)>& done,
                      int timeoutMs = 20000);
// Reads until the text read ends with end.
std::string ReadUntil(int fd, const std::string& end, int timeoutMs = 20000);

// Descriptors for the child's 0, 1, 2; -1 leaves that one closed.
struct Stdio {
  int in = -1, out = -1, err = -1;
};

// Starts target with stdio; with a terminal, as the leader of a new session
// that has it as controlling terminal. SIGPIPE is at its default.
pid_t Start(const Stdio& stdio, int controllingTerminal = -1);
// The same for any command; TargetCommand() is how the target is run.
pid_t StartCommand(std::vector<std::string> argv, const Stdio& stdio,
                   int controllingTerminal = -1);
std::vector<std::string> TargetCommand();
// Waits until the started process sleeps, waiting for input or for room to
// write, or has ended.
void AwaitSleep(pid_t pid);
// The wait status; kills the child and fails the test after timeoutMs.
int WaitExit(pid_t pid, int timeoutMs = 30000);
bool ExitedWith(int status, int code);
bool ExitedWithZero(int status);

// A pseudo-terminal in the kernel's default modes, with output processing
// off so that the bytes read are the bytes written.
struct Terminal {
  Fd master, slave;
};
Terminal OpenTerminal();
// Waits until bytes written to the master wait at the terminal for reading
// (out of line mode; in line mode, complete lines).
void AwaitArrival(int tty, size_t bytes);

struct TerminalRun {
  std::string output;  // all the terminal was sent to show
  int status = -1;
  std::string leftover;  // input still waiting at the terminal afterwards
  bool settingsKept = false;
};
struct TerminalOptions {
  bool echo = true;  // whether the terminal echoes the typing
  // Called once the program waits for its line, before the typing.
  std::function<void(Terminal&)> whileWaiting;
  // Sends the keys to the terminal's master; all at once when not given.
  std::function<void(int master, const std::string& keys)> type;
  // Changes the terminal's settings, for the program and what waits for it.
  std::function<void(termios&)> modes;
  // Text that waits at the terminal before the program starts: it arrives
  // out of line mode with CR neither mapped nor ignored, as while a shell
  // edits its command line, and line mode is back on when the program starts.
  // The terminal holds 4095 bytes of it; the rest arrives in line mode.
  std::string waiting;
  // Windows: the program is started from Wine's own cmd, with which it
  // shares the console. `lineecho` is typed at cmd's prompt (">"), the keys
  // at the program's, then `echo %ERRORLEVEL%` and `exit`, so that the
  // screen shows what cmd ran after the program and the status it got.
  bool fromCmd = false;
  std::string cmdFirst;  // typed at cmd's prompt before `lineecho`
};
// Starts the target at a terminal, waits for its prompt, types typed, and
// collects what it showed until it ended and what it left unread.
TerminalRun RunAtTerminal(const std::string& typed,
                          const TerminalOptions& options = {});

std::string Printable(const std::string& bytes);

// The lines an 80-column terminal shows after receiving bytes: what the
// user sees, whatever cursor movements drew it, as libvterm renders it on a
// screen the size of OpenTerminal's, the rows scrolled off its top first.
// No trailing blanks.
std::vector<std::string> Render(const std::string& bytes);
