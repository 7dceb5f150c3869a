// The Linux layer's operations called directly, for what one run of the
// program cannot show: several reads from the same input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "harness.h"
#include "platform.h"

namespace {

HANDLE HandleOf(int fd) { return (HANDLE)(intptr_t)fd; }

std::string Read(int fd, DWORD max = 80) {
  char buffer[80];
  DWORD count = 12345;
  EXPECT_TRUE(
      platform::ReadConsoleA(HandleOf(fd), buffer, max, &count, nullptr));
  EXPECT_LE(count, max);
  return std::string(buffer, std::min<DWORD>(count, max));
}

// Typed while the read waits, the terminal hands over one line in one
// read; typed ahead, the line is taken a byte at a time. Either way the
// rest of a long line comes with the next reads, and the next line after;
// a read of other input meanwhile gets that input's own line.
TEST(LinuxLayer, LongTerminalLineIsHandedOutOverSeveralReads) {
  const struct {
    const char* name;
    bool typedAhead;
    bool fileBetween = false;  // a file read after the first read
  } cases[] = {
      {"typed ahead", true},
      {"typed while waiting", false},
      {"typed ahead, a file read between", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool typedAhead = c.typedAhead;
    Terminal terminal = OpenTerminal();
    const std::string typed = std::string(100, 'x') + "\rnext\r";
    const int tty = terminal.slave.get();
    if (typedAhead) {
      WriteAll(terminal.master.get(), typed);
      AwaitArrival(tty, typed.size());
    }
    std::thread typist([&] {
      if (typedAhead) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      WriteAll(terminal.master.get(), typed);
    });
    EXPECT_EQ(Read(tty), std::string(80, 'x'));
    typist.join();
    if (c.fileBetween) {
      Fd file = FileWith("line\n");
      EXPECT_EQ(Read(file.get()), "line\n");
    }
    EXPECT_EQ(Read(tty, 8), std::string(8, 'x'));
    EXPECT_EQ(Read(tty), std::string(12, 'x') + "\n");
    EXPECT_EQ(Read(tty), "next\n");
  }
}

// Out of line mode a terminal has no lines of its own: a read ends at LF
// or where nothing more waits, and leaves the rest for the next.
TEST(LinuxLayer, RawTerminalIsReadUpToLfOrWhatWaits) {
  const std::string X20(20, 'x'), X80(80, 'x'), X100(100, 'x');
  const struct {
    std::string typed;
    std::vector<std::string> reads;
    cc_t vtime = 0;  // with VMIN 0, non-blocking; VMIN 1 and blocking if 0
    bool typedLater = false;   // 0.2 s into the first read, not before it
    bool nonBlocking = false;  // with VMIN 1 too
  } cases[] = {
      {"ab", {"ab"}},
      {"l1\nl2\n", {"l1\n", "l2\n"}},
      {"a\rb\n", {"a\rb\n"}},
      // What does not fit stays; nothing comes within VTIME, non-blocking;
      // a line end first is a line; what comes within VTIME is read.
      {X100 + "\n", {X80, X20 + "\n"}, 1},
      {"", {""}, 1},
      {"\nab\n", {"\n", "ab\n"}, 1},
      {"x", {"x"}, 5, true},
      // A second and a half: whole seconds and tenths apart.
      {"x", {"x"}, 15, true},
      // With VMIN 1 a read waits for its byte, non-blocking too.
      {"x", {"x"}, 0, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Terminal terminal = OpenTerminal();
    termios modes;
    tcgetattr(terminal.slave.get(), &modes);
    cfmakeraw(&modes);
    modes.c_cc[VMIN] = c.vtime ? 0 : 1;
    modes.c_cc[VTIME] = c.vtime;
    tcsetattr(terminal.slave.get(), TCSANOW, &modes);
    if (c.vtime || c.nonBlocking) SetNonBlocking(terminal.slave.get());
    std::thread typist([&] {
      if (c.typedLater)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      WriteAll(terminal.master.get(), c.typed);
    });
    if (!c.typedLater) {
      typist.join();
      AwaitArrival(terminal.slave.get(), c.typed.size());
    }
    for (const std::string& expected : c.reads)
      EXPECT_EQ(Printable(Read(terminal.slave.get())), Printable(expected));
    if (typist.joinable()) typist.join();
  }
}

// A signal handled while the read waits ends the wait, not the read: the
// layer's caller may install handlers without SA_RESTART, though the
// program installs none.
TEST(LinuxLayer, SignalHandledWhileWaitingDoesNotEndTheRead) {
  struct sigaction handler {
  }, before{};
  handler.sa_handler = [](int) {};
  sigaction(SIGUSR1, &handler, &before);
  const struct {
    const char* name;
    bool nonBlocking;  // waited on with ppoll, or in the read itself
  } cases[] = {{"blocking pipe", false}, {"non-blocking pipe", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pipe pipe = MakePipe();
    if (c.nonBlocking) SetNonBlocking(pipe.read.get());
    std::string got;
    std::atomic<pid_t> reader = 0;
    std::thread thread([&] {
      reader = gettid();
      got = Read(pipe.read.get());
    });
    while (reader == 0) std::this_thread::yield();
    AwaitSleep(reader);
    pthread_kill(thread.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WriteAll(pipe.write.get(), "line\n");
    thread.join();
    EXPECT_EQ(got, "line\n");
  }
  sigaction(SIGUSR1, &before, nullptr);
}

TEST(LinuxLayer, FailedReadReportsNothing) {
  Fd file = FileWith("line\n");
  EXPECT_EQ(Read(file.get()), "line\n");
  const int closed = file.get();
  file = Fd();
  char buffer[80];
  DWORD count = 5;
  EXPECT_FALSE(
      platform::ReadConsoleA(HandleOf(closed), buffer, 80, &count, nullptr));
  EXPECT_EQ(count, 0u);
  // A failure is the failed read's alone.
  Fd next = FileWith("next\n");
  EXPECT_EQ(Read(next.get()), "next\n");
}

TEST(LinuxLayer, StandardHandlesAreTheFirstThreeDescriptors) {
  const struct {
    DWORD which;
    intptr_t fd;
  } cases[] = {{STD_INPUT_HANDLE, 0},
               {STD_OUTPUT_HANDLE, 1},
               {STD_ERROR_HANDLE, 2},
               {(DWORD)-13, -1},
               {0, -1},
               {1, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.which);
    EXPECT_EQ(platform::GetStdHandle(c.which), HandleOf(c.fd));
  }
}

TEST(LinuxLayer, WriteReportsWhatWasWritten) {
  Pipe pipe = MakePipe();
  DWORD written = 99;
  EXPECT_TRUE(platform::WriteConsoleA(HandleOf(pipe.write.get()), "abc", 3,
                                      &written, nullptr));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(ReadAvailable(pipe.read.get()), "abc");
  written = 99;
  EXPECT_FALSE(
      platform::WriteConsoleA(HandleOf(-1), "abc", 3, &written, nullptr));
  EXPECT_EQ(written, 0u);
}

}  // namespace
