#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vterm.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

std::string Prompt;
Target target;
std::map<std::string, std::string> options;

// The programs in the tree, told apart by their executable's name.
const struct {
  const char* name;
  const char* writesFirst;
  bool reads;
} Programs[] = {
    {"lineecho", "\r\nEnter some characters.\r\n", true},
    {"hello", "Hello, world.\r\n", false},
};

std::string OptionText(const std::string& name) {
  const auto found = options.find(name);
  return found == options.end() ? "" : found->second;
}

long Option(const std::string& name, long otherwise) {
  const std::string text = OptionText(name);
  return text.empty() ? otherwise : std::stol(text);
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.release();
  }
  return *this;
}
Fd::~Fd() {
  if (fd_ >= 0) close(fd_);
}
int Fd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

Pipe MakePipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe: " << strerror(errno);
  return Pipe{Fd(fds[0]), Fd(fds[1])};
}

Fd FileWith(const std::string& contents) {
  Fd fd(memfd_create("input", MFD_CLOEXEC));
  WriteAll(fd.get(), contents);
  lseek(fd.get(), 0, SEEK_SET);
  return fd;
}

void SetNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

Fd Reopen(int fd, int flags) {
  return Fd(
      open(("/proc/self/fd/" + std::to_string(fd)).c_str(), flags | O_CLOEXEC));
}

std::string Fill(int fd) {
  std::string filled;
  for (size_t size : {4096, 1})
    while (write(fd, std::string(size, '.').data(), size) > 0)
      filled += std::string(size, '.');
  return filled;
}

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ADD_FAILURE() << "write: " << strerror(errno);
      return;
    }
    done += n;
  }
}

std::string ReadAvailable(int fd) {
  std::string all;
  pollfd p{fd, POLLIN, 0};
  char buffer[4096];
  while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    all.append(buffer, n);
  }
  return all;
}

std::string ReadUntil(int fd,
                      const std::function<bool(const std::string&)>& done,
                      int timeoutMs) {
  std::string all;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  while (!done(all)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, (int)left.count()) <= 0) {
      ADD_FAILURE() << "timed out; read so far: " << Printable(all);
      break;
    }
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    all.append(buffer, n);
  }
  return all;
}

std::string ReadUntil(int fd, const std::string& end, int timeoutMs) {
  return ReadUntil(
      fd,
      [&](const std::string& all) {
        return all.size() >= end.size() &&
               all.compare(all.size() - end.size(), end.size(), end) == 0;
      },
      timeoutMs);
}

std::vector<std::string> TargetCommand() {
  std::vector<std::string> args = target.runner;
  args.push_back(target.exe);
  return args;
}

pid_t Start(const Stdio& stdio, int controllingTerminal) {
  return StartCommand(TargetCommand(), stdio, controllingTerminal);
}

pid_t StartCommand(std::vector<std::string> args, const Stdio& stdio,
                   int controllingTerminal) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid != 0) return pid;
  // In the child: only async-signal-safe calls from here on.
  if (controllingTerminal >= 0) {
    setsid();
    ioctl(controllingTerminal, TIOCSCTTY, 0);
  }
  // Move the sources above 2 first, so that one may be the target of another.
  const int wanted[3] = {stdio.in, stdio.out, stdio.err};
  int moved[3];
  for (int i = 0; i < 3; ++i)
    moved[i] = wanted[i] < 0 ? -1 : fcntl(wanted[i], F_DUPFD_CLOEXEC, 10);
  for (int i = 0; i < 3; ++i) {
    if (moved[i] < 0)
      close(i);
    else
      dup2(moved[i], i);
  }
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &defaultAction, nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

int WaitExit(pid_t pid, int timeoutMs) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << target.name << " did not end within " << timeoutMs
                    << " ms";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return status;
}

bool ExitedWith(int status, int code) {
  return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

bool ExitedWithZero(int status) { return ExitedWith(status, 0); }

Terminal OpenTerminal() {
  int master = -1, slave = -1;
  winsize size{24, 80, 0, 0};
  if (openpty(&master, &slave, nullptr, nullptr, &size) != 0)
    ADD_FAILURE() << "openpty: " << strerror(errno);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  termios modes;
  tcgetattr(slave, &modes);
  modes.c_oflag &= ~OPOST;
  tcsetattr(slave, TCSANOW, &modes);
  return Terminal{Fd(master), Fd(slave)};
}

// Waits up to 20 s until holds says so; a failure, as said, after that,
// unless nothing is said.
void AwaitThat(const std::function<bool()>& holds, const std::string& failure) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!holds()) {
    if (std::chrono::steady_clock::now() > deadline) {
      if (!failure.empty()) ADD_FAILURE() << failure;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void AwaitArrival(int tty, size_t bytes) {
  AwaitThat(
      [&] {
        int arrived = 0;
        ioctl(tty, FIONREAD, &arrived);
        return arrived >= (int)bytes;
      },
      "not all of " + std::to_string(bytes) + " bytes arrived");
}

// Once the prompt is out the program sleeps only in its read: keys typed
// before then would be text waiting ahead of the read, not typing. Waits
// until it sleeps or has ended.
void AwaitSleep(pid_t pid) {
  AwaitThat(
      [&] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string all((std::istreambuf_iterator<char>(stat)), {});
        const size_t end = all.rfind(") ");
        return end == std::string::npos || all[end + 2] == 'S' ||
               all[end + 2] == 'Z';
      },
      "the program never waited for its line");
}

// Wine's console takes the terminal out of line mode when a read first asks
// it for input; keys typed before that would still be cooked by the kernel.
void AwaitConsoleInput(int tty) {
  AwaitThat(
      [&] {
        termios modes{};
        return tcgetattr(tty, &modes) != 0 || !(modes.c_lflag & ECHO);
      },
      "the console never took the terminal out of line mode");
}

bool SameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag &&
         a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, NCCS) == 0;
}

// Wine's cmd, at the terminal, finding the target as `lineecho` on its path
// and prompting with a bare ">".
pid_t StartCmd(int tty) {
  std::string directory = target.exe.substr(0, target.exe.rfind('/'));
  std::replace(directory.begin(), directory.end(), '/', '\\');
  setenv("WINEPATH", ("Z:" + directory).c_str(), 1);
  std::vector<std::string> command = target.runner;
  command.insert(command.end(), {"cmd", "/k", "prompt", "$G"});
  return StartCommand(command, Stdio{tty, tty, tty}, tty);
}

TerminalRun RunAtTerminal(const std::string& typed,
                          const TerminalOptions& options) {
  TerminalRun run;
  Terminal terminal = OpenTerminal();
  termios before{}, after{};
  const int tty = terminal.slave.get();
  const int master = terminal.master.get();
  termios modes{};
  tcgetattr(tty, &modes);
  if (!options.echo) modes.c_lflag &= ~ECHO;
  if (options.modes) options.modes(modes);
  if (!options.waiting.empty()) {
    termios editing = modes;
    editing.c_lflag &= ~(ICANON | ECHO);
    editing.c_iflag &= ~(ICRNL | IGNCR);
    tcsetattr(tty, TCSANOW, &editing);
    WriteAll(master, options.waiting);
    // Out of line mode a terminal holds 4095 bytes; the rest of a longer
    // paste arrives as the program reads.
    AwaitArrival(tty, std::min<size_t>(options.waiting.size(), 4095));
  }
  tcsetattr(tty, TCSANOW, &modes);
  tcgetattr(tty, &before);
  pid_t pid;
  if (options.fromCmd) {
    pid = StartCmd(tty);
    run.output = ReadUntil(master, [](const std::string& all) {
      return all.find('>') != std::string::npos;
    });
    AwaitConsoleInput(tty);
    WriteAll(master, options.cmdFirst + "lineecho\r");
  } else {
    pid = Start(Stdio{tty, tty, tty}, tty);
  }
  // A Windows console draws the prompt with escape sequences of its own.
  // What was waiting may be echoed along with the prompt.
  run.output += ReadUntil(master, [](const std::string& all) {
    return target.windows
               ? all.find(Prompt.substr(Prompt.find_first_not_of("\r\n"))) !=
                     std::string::npos
               : all.compare(0, Prompt.size(), Prompt) == 0;
  });
  if (target.windows && target.reads)
    AwaitConsoleInput(tty);
  else
    AwaitSleep(pid);
  if (options.whileWaiting) options.whileWaiting(terminal);
  if (options.type)
    options.type(master, typed);
  else
    WriteAll(master, typed);
  if (options.fromCmd) {
    // cmd is given its last commands once it prompts again, after the
    // program, since Ctrl+C drops all that waits in the console. Wine's
    // console drops a Ctrl+C typed before the program reads: it is typed
    // again each second until the program has ended.
    auto typedAt = std::chrono::steady_clock::now();
    AwaitThat(
        [&] {
          const std::string more = ReadAvailable(master);
          run.output += more;
          if (!more.empty() && Render(run.output).back() == ">") return true;
          const auto now = std::chrono::steady_clock::now();
          if (typed == "\x03" && now - typedAt > std::chrono::seconds(1)) {
            WriteAll(master, typed);
            typedAt = now;
          }
          return false;
        },
        "cmd never prompted again after the program");
    AwaitConsoleInput(tty);
    WriteAll(master, "echo %ERRORLEVEL%\rexit\r");
  }
  run.status = WaitExit(pid);
  // Wine's console gives the terminal its settings back as it ends, after
  // the program: what it still draws comes before that.
  if (target.windows)
    AwaitThat(
        [&] {
          return tcgetattr(tty, &after) == 0 && SameSettings(before, after);
        },
        "");
  // What the program wrote is ahead of anything written after it ended.
  const std::string marker = "\x01end-of-run\x01";
  WriteAll(tty, marker);
  run.output += ReadUntil(master, marker);
  run.output.resize(run.output.size() - marker.size());
  SetNonBlocking(tty);
  run.leftover = ReadAvailable(tty);
  tcgetattr(tty, &after);
  run.settingsKept = SameSettings(before, after);
  return run;
}

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += (char)c;
  } else if (c < 0x800) {
    out += (char)(0xc0 | c >> 6);
    out += (char)(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += (char)(0xe0 | c >> 12);
    out += (char)(0x80 | (c >> 6 & 0x3f));
    out += (char)(0x80 | (c & 0x3f));
  } else {
    out += (char)(0xf0 | c >> 18);
    out += (char)(0x80 | (c >> 12 & 0x3f));
    out += (char)(0x80 | (c >> 6 & 0x3f));
    out += (char)(0x80 | (c & 0x3f));
  }
}

// One row of cells as text, without trailing blanks.
std::string RowText(int columns,
                    const std::function<VTermScreenCell(int)>& cellAt) {
  std::string line;
  for (int column = 0; column < columns;) {
    const VTermScreenCell cell = cellAt(column);
    if (cell.chars[0] == 0) line += ' ';
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i]; ++i)
      AppendUtf8(line, cell.chars[i]);
    column += std::max<int>(1, cell.width);
  }
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

}  // namespace

std::vector<std::string> Render(const std::string& bytes) {
  constexpr int Rows = 24, Columns = 80;  // as OpenTerminal sets the size
  std::unique_ptr<VTerm, void (*)(VTerm*)> terminal(vterm_new(Rows, Columns),
                                                    vterm_free);
  vterm_set_utf8(terminal.get(), 1);
  VTermScreen* screen = vterm_obtain_screen(terminal.get());
  // Rows scrolled off the top are kept, in order, ahead of the screen's.
  std::vector<std::string> lines;
  VTermScreenCallbacks callbacks{};
  callbacks.sb_pushline = [](int columns, const VTermScreenCell* cells,
                             void* scrolled) {
    static_cast<std::vector<std::string>*>(scrolled)->push_back(
        RowText(columns, [&](int column) { return cells[column]; }));
    return 1;
  };
  vterm_screen_set_callbacks(screen, &callbacks, &lines);
  vterm_screen_reset(screen, 1);
  vterm_input_write(terminal.get(), bytes.data(), bytes.size());
  for (int row = 0; row < Rows; ++row)
    lines.push_back(RowText(Columns, [&](int column) {
      VTermScreenCell cell{};
      vterm_screen_get_cell(screen, VTermPos{row, column}, &cell);
      return cell;
    }));
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

std::string Printable(const std::string& bytes) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const unsigned char c : bytes) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '"' || c == '\\')
      out += std::string("\\") + (char)c;
    else if (c >= 0x20 && c < 0x7f)
      out += (char)c;
    else
      out += std::string("\\x") + hex[c >> 4] + hex[c & 15];
  }
  return out + "\"";
}

// How a suite tells CTest it was skipped (its SKIP_RETURN_CODE).
constexpr int Skipped = 77;

// Whether this kernel runs 32-bit x86 code: whether probe, a small static
// i386 executable, starts. It is started as it is, never through a shell, so
// that a kernel refusing it is told from a probe that fails once started.
bool Runs32BitCode(const std::string& probe, std::string& why) {
  posix_spawn_file_actions_t stdio;
  posix_spawn_file_actions_init(&stdio);
  for (int fd = 0; fd < 3; ++fd)
    posix_spawn_file_actions_addopen(&stdio, fd, "/dev/null", O_RDWR, 0);
  std::string path = probe;
  char* argv[] = {path.data(), nullptr};
  pid_t pid = -1;
  const int error =
      posix_spawn(&pid, path.c_str(), &stdio, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&stdio);
  if (error == ENOEXEC) {
    why = "this kernel refuses 32-bit x86 code: " + probe + " does not start";
    return false;
  }
  if (error != 0) {
    fprintf(stderr, "cannot start %s: %s\n", probe.c_str(), strerror(error));
    exit(2);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!ExitedWithZero(status)) {
    fprintf(stderr, "%s started but ended with wait status %d\n", probe.c_str(),
            status);
    exit(2);
  }
  why = "this kernel runs 32-bit x86 code: " + probe + " starts";
  return true;
}

// The target comes from the command line, after gtest's own flags.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i], value = argv[i + 1];
    if (flag == "--target")
      target.name = value;
    else if (flag == "--exe")
      target.exe = value;
    else if (flag == "--runner")
      target.runner.push_back(value);
    else if (flag.rfind("--", 0) == 0)
      options[flag.substr(2)] = value;
    else {
      fprintf(stderr, "unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  target.windows = target.name.rfind("windows", 0) == 0;
  target.wasi = target.name.rfind("wasm", 0) == 0;
  if (target.exe.empty() || access(target.exe.c_str(), R_OK) != 0) {
    fprintf(stderr, "no executable to test: --exe '%s'\n", target.exe.c_str());
    return 2;
  }
  std::string program = target.exe.substr(target.exe.rfind('/') + 1);
  if (target.windows) program = program.substr(0, program.rfind(".exe"));
  for (const auto& p : Programs)
    if (program == p.name) {
      Prompt = p.writesFirst;
      target.reads = p.reads;
    }
  if (Prompt.empty()) {
    fprintf(stderr, "not a program of this tree: --exe '%s'\n",
            target.exe.c_str());
    return 2;
  }
  // A target of 32-bit x86 code: with --runner-if-refused, run by that where
  // this kernel refuses such code; without it, not run at all there.
  const std::string probe = OptionText("probe-32-bit");
  std::string why;
  if (!probe.empty() && !Runs32BitCode(probe, why)) {
    const std::string fallback = OptionText("runner-if-refused");
    if (fallback.empty()) {
      printf("%s skipped: %s\n", target.name.c_str(), why.c_str());
      return Skipped;
    }
    target.runner = {fallback};
    why += ", so " + target.name + " runs under " + fallback;
  }
  if (!probe.empty()) printf("%s\n", why.c_str());
  return RUN_ALL_TESTS();
}
