// The program under load and under faults: many runs at once, peers that
// are slow or leave, and a user who suspends, resizes or interrupts it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "harness.h"

namespace {

TEST(Load, TwoHundredRunsAtOnce) {
  constexpr int Runs = 200;
  struct Run {
    Pipe in, out;
    pid_t pid;
  };
  std::vector<Run> runs(Runs);
  for (Run& run : runs) {
    run.in = MakePipe();
    run.out = MakePipe();
    run.pid = Start(Stdio{run.in.read.get(), run.out.write.get(), -1});
    run.out.write = Fd();
  }
  // All of them are up and waiting for their line.
  for (int i = 0; i < Runs; ++i) {
    WriteAll(runs[i].in.write.get(), "line " + std::to_string(i) + "\nrest " +
                                         std::to_string(i) + "\n");
    runs[i].in.write = Fd();
  }
  int wrong = 0;
  for (int i = 0; i < Runs; ++i) {
    const int status = WaitExit(runs[i].pid);
    const std::string output = ReadAvailable(runs[i].out.read.get());
    const std::string rest = ReadAvailable(runs[i].in.read.get());
    const bool right = ExitedWithZero(status) &&
                       output == Prompt + "line " + std::to_string(i) + "\n" &&
                       rest == "rest " + std::to_string(i) + "\n";
    EXPECT_TRUE(right) << "run " << i << ": status " << status << ", output "
                       << Printable(output) << ", rest " << Printable(rest);
    wrong += !right;
  }
  EXPECT_EQ(wrong, 0);
}

TEST(Fault, ReaderLeavesMidWrite) {
  Pipe out = MakePipe();
  // Filled through a non-blocking way of our own, so that the program's
  // end stays blocking.
  Fd filler = Reopen(out.write.get(), O_WRONLY | O_NONBLOCK);
  Fill(filler.get());
  Pipe in = MakePipe();
  WriteAll(in.write.get(), "one\ntwo\n");
  in.write = Fd();
  const pid_t pid = Start(Stdio{in.read.get(), out.write.get(), -1});
  // The prompt finds the pipe full: the program waits in its write until
  // the reader goes.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "did not wait to write";
  out.read = Fd();
  const int status = WaitExit(pid);
  EXPECT_TRUE(ExitedWith(status, 1)) << "wait status " << status;
  EXPECT_EQ(ReadAvailable(in.read.get()), "two\n");
}

TEST(Fault, NonBlockingOnBothSidesWithSlowPeers) {
  Pipe in = MakePipe(), out = MakePipe();
  SetNonBlocking(in.read.get());
  SetNonBlocking(out.write.get());
  const std::string filled = Fill(out.write.get());
  const pid_t pid = Start(Stdio{in.read.get(), out.write.get(), -1});
  out.write = Fd();
  std::thread typist([&] {
    for (char c : std::string("slow line\nnext\n")) {
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
      WriteAll(in.write.get(), std::string(1, c));
    }
  });
  // A slow reader: a little at a time, until the program's end closes it.
  std::string drained;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  char buffer[1024];
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pollfd ready{out.read.get(), POLLIN, 0};
    if (poll(&ready, 1, 0) <= 0) continue;
    const ssize_t n = read(out.read.get(), buffer, sizeof buffer);
    if (n <= 0) break;
    drained.append(buffer, n);
  }
  const int status = WaitExit(pid);
  typist.join();
  EXPECT_TRUE(ExitedWithZero(status)) << "wait status " << status;
  EXPECT_EQ(drained, filled + Prompt + "slow line\n");
  EXPECT_EQ(ReadAvailable(in.read.get()), "next\n");
}

TEST(Fault, WindowResizedWhileWaiting) {
  TerminalOptions resize;
  resize.whileWaiting = [](Terminal& terminal) {
    winsize size{50, 132, 0, 0};
    ioctl(terminal.master.get(), TIOCSWINSZ, &size);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  const TerminalRun run = RunAtTerminal("abc\r", resize);
  EXPECT_TRUE(ExitedWithZero(run.status)) << "wait status " << run.status;
  EXPECT_EQ(Printable(run.output), Printable(Prompt + "abc\nabc\n"));
  EXPECT_TRUE(run.settingsKept);
}

TEST(Fault, CtrlCAtThePromptHasItsDefaultEffect) {
  const TerminalRun run = RunAtTerminal("\x03");
  EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGINT)
      << "wait status " << run.status;
  EXPECT_TRUE(run.settingsKept);
}

// A shell with job control runs the program, the user suspends it with
// Ctrl-Z, and the shell brings it back with fg: it still reads its line.
TEST(Fault, SuspendedAndResumedStillReadsItsLine) {
  Terminal terminal = OpenTerminal();
  termios before{}, after{};
  const int tty = terminal.slave.get();
  tcgetattr(tty, &before);
  std::vector<std::string> command = {
      "bash",
      "--norc",
      "--noprofile",
      "-c",
      "set -m; \"$@\"; fg >/dev/null; echo \"[status $?]\"",
      "bash"};
  for (const std::string& word : TargetCommand()) command.push_back(word);
  const pid_t shell = StartCommand(command, Stdio{tty, tty, tty}, tty);
  const int master = terminal.master.get();
  std::string output = ReadUntil(master, Prompt);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  WriteAll(master, "\x1a");
  output += ReadUntil(master, [](const std::string& all) {
    return all.find("Stopped") != std::string::npos;
  });
  // fg gives the terminal back to the program before continuing it.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  WriteAll(master, "after fg\r");
  output += ReadUntil(master, [](const std::string& all) {
    return all.find("]\n") != std::string::npos;
  });
  const int status = WaitExit(shell);
  tcgetattr(tty, &after);
  EXPECT_TRUE(ExitedWithZero(status));
  EXPECT_NE(output.find("after fg\nafter fg\n[status 0]\n"), std::string::npos)
      << Printable(output);
  EXPECT_EQ(before.c_lflag, after.c_lflag);
  EXPECT_EQ(0, std::memcmp(before.c_cc, after.c_cc, NCCS));
}

}  // namespace
