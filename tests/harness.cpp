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

#include <chrono>
#include <cstring>
#include <thread>

const std::string Prompt("\r\nEnter some characters.\r\n", 26);
Target target;

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

std::string ReadUntil(int fd, const std::string& end, int timeoutMs) {
  std::string all;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  while (all.size() < end.size() ||
         all.compare(all.size() - end.size(), end.size(), end) != 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, (int)left.count()) <= 0) {
      ADD_FAILURE() << "timed out waiting for " << Printable(end) << " after "
                    << Printable(all);
      break;
    }
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    all.append(buffer, n);
  }
  return all;
}

pid_t Start(const Stdio& stdio, int controllingTerminal) {
  std::vector<std::string> args = target.runner;
  args.push_back(target.exe);
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
  signal(SIGPIPE, SIG_DFL);
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

TerminalRun RunAtTerminal(const std::string& typed) {
  TerminalRun run;
  Terminal terminal = OpenTerminal();
  termios before{}, after{};
  tcgetattr(terminal.slave.get(), &before);
  const int tty = terminal.slave.get();
  const pid_t pid = Start(Stdio{tty, tty, tty}, tty);
  ReadUntil(terminal.master.get(), Prompt);
  WriteAll(terminal.master.get(), typed);
  run.status = WaitExit(pid);
  // What the program wrote is ahead of anything written after it ended.
  const std::string marker = "\x01end-of-run\x01";
  WriteAll(tty, marker);
  run.screen = ReadUntil(terminal.master.get(), marker);
  run.screen.resize(run.screen.size() -
                    std::min(run.screen.size(), marker.size()));
  SetNonBlocking(tty);
  run.leftover = ReadAvailable(tty);
  tcgetattr(tty, &after);
  run.settingsKept =
      before.c_iflag == after.c_iflag && before.c_oflag == after.c_oflag &&
      before.c_cflag == after.c_cflag && before.c_lflag == after.c_lflag &&
      std::memcmp(before.c_cc, after.c_cc, NCCS) == 0;
  return run;
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
