#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

const std::string Prompt("\r\nEnter some characters.\r\n", 26);
Target target;
std::map<std::string, std::string> options;

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

void AwaitArrival(int tty, size_t bytes) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (int arrived = 0; arrived < (int)bytes;) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "only " << arrived << " of " << bytes << " arrived";
      return;
    }
    ioctl(tty, FIONREAD, &arrived);
  }
}

// Wine's console takes the terminal out of line mode when a read first asks
// it for input; keys typed before that would still be cooked by the kernel.
void AwaitConsoleInput(int tty) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  termios modes{};
  while (tcgetattr(tty, &modes) == 0 && (modes.c_lflag & ECHO)) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the console never took the terminal out of line mode";
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TerminalRun RunAtTerminal(const std::string& typed,
                          const TerminalOptions& options) {
  TerminalRun run;
  Terminal terminal = OpenTerminal();
  termios before{}, after{};
  const int tty = terminal.slave.get();
  termios modes{};
  tcgetattr(tty, &modes);
  if (!options.echo) modes.c_lflag &= ~ECHO;
  if (!options.waiting.empty()) {
    termios editing = modes;
    editing.c_lflag &= ~(ICANON | ECHO);
    editing.c_iflag &= ~ICRNL;
    tcsetattr(tty, TCSANOW, &editing);
    WriteAll(terminal.master.get(), options.waiting);
    AwaitArrival(tty, options.waiting.size());
  }
  tcsetattr(tty, TCSANOW, &modes);
  tcgetattr(tty, &before);
  const pid_t pid = Start(Stdio{tty, tty, tty}, tty);
  // A Windows console draws the prompt with escape sequences of its own.
  // What was waiting may be echoed along with the prompt.
  run.output = ReadUntil(terminal.master.get(), [](const std::string& all) {
    return target.windows
               ? all.find("Enter some characters.\r\n") != std::string::npos
               : all.compare(0, Prompt.size(), Prompt) == 0;
  });
  if (target.windows) AwaitConsoleInput(tty);
  if (options.whileWaiting) options.whileWaiting(terminal);
  if (options.type)
    options.type(terminal.master.get(), typed);
  else
    WriteAll(terminal.master.get(), typed);
  run.status = WaitExit(pid);
  // What the program wrote is ahead of anything written after it ended.
  const std::string marker = "\x01end-of-run\x01";
  WriteAll(tty, marker);
  run.output += ReadUntil(terminal.master.get(), marker);
  run.output.resize(run.output.size() - marker.size());
  SetNonBlocking(tty);
  run.leftover = ReadAvailable(tty);
  tcgetattr(tty, &after);
  run.settingsKept =
      before.c_iflag == after.c_iflag && before.c_oflag == after.c_oflag &&
      before.c_cflag == after.c_cflag && before.c_lflag == after.c_lflag &&
      std::memcmp(before.c_cc, after.c_cc, NCCS) == 0;
  return run;
}

std::vector<std::string> Render(const std::string& bytes) {
  constexpr size_t Columns = 80, Rows = 24;
  // Each cell holds one character: a byte, or a whole UTF-8 sequence.
  std::vector<std::vector<std::string>> screen(1);
  size_t row = 0, col = 0;
  bool pendingWrap = false;  // the last column was written: wrap on the next
  auto cell = [&](size_t r, size_t c) -> std::string& {
    if (screen.size() <= r) screen.resize(r + 1);
    if (screen[r].size() <= c) screen[r].resize(c + 1, " ");
    return screen[r][c];
  };
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = bytes[i];
    if (c == 0x1b && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      size_t j = i + 2;
      while (j < bytes.size() && (bytes[j] < 0x40 || bytes[j] > 0x7e)) ++j;
      if (j >= bytes.size()) break;
      const std::string params = bytes.substr(i + 2, j - i - 2);
      const int n = std::max(1, atoi(params.c_str()));
      const size_t top = screen.size() > Rows ? screen.size() - Rows : 0;
      switch (bytes[j]) {
        case 'A':
          row -= std::min<size_t>(row - top, n);
          break;
        case 'B':
          row += n;
          break;
        case 'C':
          col = std::min(Columns - 1, col + n);
          break;
        case 'D':
          col -= std::min<size_t>(col, n);
          break;
        case 'G':
          col = std::min<size_t>(Columns, n) - 1;
          break;
        case 'H': {
          const size_t semi = params.find(';');
          row = top + std::max(1, atoi(params.c_str())) - 1;
          col = semi == std::string::npos
                    ? 0
                    : std::max(1, atoi(params.c_str() + semi + 1)) - 1;
          break;
        }
        case 'K':  // erase to the end of the line
          if (row < screen.size() && screen[row].size() > col)
            screen[row].resize(col);
          break;
        default:  // colours, cursor visibility: nothing on the screen
          break;
      }
      pendingWrap = false;
      i = j;
    } else if (c == '\r') {
      col = 0;
      pendingWrap = false;
    } else if (c == '\n') {
      ++row;
      pendingWrap = false;
    } else if (c == '\b') {
      col -= col > 0;
      pendingWrap = false;
    } else if (c == '\t') {
      col = std::min(Columns - 1, (col / 8 + 1) * 8);
    } else if (c >= 0x20 && c != 0x7f) {
      if (pendingWrap) {
        ++row;
        col = 0;
        pendingWrap = false;
      }
      std::string character(1, (char)c);
      while (c >= 0xc0 && i + 1 < bytes.size() &&
             ((unsigned char)bytes[i + 1] & 0xc0) == 0x80)
        character += bytes[++i];
      cell(row, col) = character;
      if (col + 1 == Columns)
        pendingWrap = true;
      else
        ++col;
    }
  }
  std::vector<std::string> lines;
  for (const auto& cells : screen) {
    std::string line;
    for (const std::string& character : cells) line += character;
    line.erase(line.find_last_not_of(' ') + 1);
    lines.push_back(line);
  }
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
  if (target.exe.empty() || access(target.exe.c_str(), R_OK) != 0) {
    fprintf(stderr, "no executable to test: --exe '%s'\n", target.exe.c_str());
    return 2;
  }
  return RUN_ALL_TESTS();
}
