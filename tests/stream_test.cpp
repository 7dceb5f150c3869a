// The built program with pipes, files and broken descriptors: the output is
// the prompt and at most one line, the next reader gets exactly the rest,
// and the status is 1 when a write or the read failed, 0 otherwise.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <thread>

#include "harness.h"

namespace {

struct Outcome {
  std::string output;
  int status = -1;
};

// Runs the target with in as standard input and a pipe as standard output,
// its command given to prefix (a shell that sets descriptors up, strace)
// when there is one. Calls meanwhile, if given, with the started process.
Outcome RunWithInput(int in, const std::vector<std::string>& prefix = {},
                     const std::function<void(pid_t)>& meanwhile = nullptr) {
  Pipe out = MakePipe();
  std::vector<std::string> command = TargetCommand();
  command.insert(command.begin(), prefix.begin(), prefix.end());
  const pid_t pid = StartCommand(command, Stdio{in, out.write.get(), -1});
  out.write = Fd();
  if (meanwhile) meanwhile(pid);
  Outcome run;
  run.status = WaitExit(pid);
  run.output = ReadAvailable(out.read.get());
  return run;
}

const std::string X79(79, 'x'), X80(80, 'x'), X300(300, 'x');

struct StreamCase {
  const char* name;
  std::string input;
  std::string echoed;  // the one line, cut at 80 bytes
};

const StreamCase Cases[] = {
    {"short line", "abc\n", "abc\n"},
    {"two lines", "a\nb\n", "a\n"},
    {"no final newline", "abc", "abc"},
    {"no input", "", ""},
    {"empty line first", "\nx\n", "\n"},
    {"80 bytes with ending", X79 + "\nnext\n", X79 + "\n"},
    {"81 bytes with ending", X80 + "\nnext\n", X80},
    {"300 bytes, no newline", X300, X80},
    {"NUL, CR and high bytes", std::string("a\0b\r\x80\xff\nz\n", 9),
     std::string("a\0b\r\x80\xff\n", 7)},
    {"CR LF ending", "ab\r\ncd\r\n", "ab\r\n"},
};

// Every kind of input that is read as a stream, holding input and ended
// after it; the same descriptor gives the next reader what was left.
Fd PipeWith(const std::string& input) {
  Pipe pipe = MakePipe();
  WriteAll(pipe.write.get(), input);
  return std::move(pipe.read);
}

// A pipe whose writer opened it with O_DIRECT: each write is a packet, and a
// read drops what it leaves of one. Written in two, at a third.
Fd PacketPipeWith(const std::string& input) {
  int ends[2] = {-1, -1};
  pipe2(ends, O_DIRECT | O_CLOEXEC);
  Fd ours(ends[0]), theirs(ends[1]);
  WriteAll(theirs.get(), input.substr(0, input.size() / 3));
  WriteAll(theirs.get(), input.substr(input.size() / 3));
  return ours;
}

Fd SocketWith(const std::string& input) {
  int ends[2];
  socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
  Fd ours(ends[0]), theirs(ends[1]);
  WriteAll(theirs.get(), input);
  return ours;
}

// What the other side of a pseudo-terminal wrote, read from its master,
// which answers as a terminal in line mode would.
Fd PtyMasterWith(const std::string& input) {
  Terminal terminal = OpenTerminal();
  WriteAll(terminal.slave.get(), input);
  return std::move(terminal.master);
}

// The same in packet mode (TIOCPKT): a status byte starts each read.
Fd PacketPtyMasterWith(const std::string& input) {
  Fd master = PtyMasterWith(input);
  int on = 1;
  ioctl(master.get(), TIOCPKT, &on);
  return master;
}

// The same with a status byte waiting first: the other side flushed its
// input after writing, and the next read carries that news alone.
Fd PacketPtyMasterWithStatusFirst(const std::string& input) {
  Terminal terminal = OpenTerminal();
  int on = 1;
  ioctl(terminal.master.get(), TIOCPKT, &on);
  WriteAll(terminal.slave.get(), input);
  tcflush(terminal.slave.get(), TCIFLUSH);
  return std::move(terminal.master);
}

// The command after it run by a shell that first does setup.
std::vector<std::string> Shell(const std::string& setup) {
  return {"bash", "-c", setup + " && exec \"$@\"", "bash"};
}

// With descriptors 3 to 25 taken, the program's own pipe gets two above
// them, numbers that no register left over from an earlier call holds.
const std::vector<std::string> DescriptorsTaken =
    Shell("for fd in {3..25}; do eval \"exec $fd</dev/null\"; done");

const struct {
  const char* name;
  Fd (*make)(const std::string& input);
  std::vector<std::string> prefix = {};
  // Under WASI, which reads a byte at a time, where a read of a packet
  // drops its rest, and sees a pty's master as a terminal: not these.
  bool wasi = true;
} Inputs[] = {
    {"pipe", PipeWith},
    {"packet pipe", PacketPipeWith, {}, false},
    {"file", FileWith},
    {"stream socket", SocketWith},
    {"pty master", PtyMasterWith, {}, false},
    {"pipe, descriptors 3 to 25 taken", PipeWith, DescriptorsTaken},
};

void ExpectEveryCase(const char* kind, Fd (*make)(const std::string& input),
                     const std::vector<std::string>& prefix = {}) {
  for (const StreamCase& c : Cases) {
    SCOPED_TRACE(std::string(kind) + ", " + c.name);
    Fd in = make(c.input);
    const Outcome run = RunWithInput(in.get(), prefix);
    EXPECT_EQ(Printable(run.output), Printable(Prompt + c.echoed));
    EXPECT_TRUE(ExitedWithZero(run.status)) << run.status;
    int off = 0;  // the rest, read without status bytes
    ioctl(in.get(), TIOCPKT, &off);
    EXPECT_EQ(Printable(ReadAvailable(in.get())),
              Printable(c.input.substr(c.echoed.size())));
  }
}

TEST(Stream, EveryInputGivesOneLineAndLeavesTheRest) {
  for (const auto& kind : Inputs)
    if (kind.wasi || !target.wasi)
      ExpectEveryCase(kind.name, kind.make, kind.prefix);
}

TEST(Stream, PacketPtyMasterGivesOneLineAndLeavesTheRest) {
  if (!target.runner.empty())
    GTEST_SKIP() << "qemu-user fails TIOCGPKT, so the program cannot tell "
                    "a master in packet mode";
  ExpectEveryCase("pty master in packet mode", PacketPtyMasterWith);
  ExpectEveryCase("pty master in packet mode, a status byte first",
                  PacketPtyMasterWithStatusFirst);
}

// With no descriptor to spare for a pipe of its own, as under `ulimit -n 3`,
// the program reads a pipe a byte at a time. A runner such as qemu-user
// may need descriptors of its own: it is asked for its version under the
// limit first, with the descriptors the target gets.
TEST(Stream, PipeWithNoDescriptorToSpareGivesOneLineAndLeavesTheRest) {
  Fd devNull(open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!target.runner.empty() &&
      !ExitedWithZero(WaitExit(
          StartCommand({"sh", "-c", "ulimit -n 3 && exec \"$@\" --version",
                        "sh", target.runner[0]},
                       Stdio{devNull.get(), devNull.get(), -1}))))
    GTEST_SKIP() << target.runner[0] << " cannot start with 3 descriptors";
  ExpectEveryCase("pipe, no descriptor to spare", PipeWith,
                  Shell("ulimit -n 3"));
}

// A datagram or packet socket: one read is one message, lines and all, cut
// at 80 bytes; the next message stays for the next reader.
TEST(Stream, MessageSocketGivesOneMessage) {
  const struct {
    const char* name;
    std::vector<std::string> messages;
    std::string echoed;
  } cases[] = {
      {"one line", {"abc\n", "next\n"}, "abc\n"},
      {"two lines in one message", {"a\nb\n", "next\n"}, "a\nb\n"},
      {"no newline", {"abc", "next"}, "abc"},
      {"longer than 80 bytes", {X300, "next\n"}, X80},
      {"an empty message", {"", "next\n"}, ""},
  };
  for (const int type : {SOCK_DGRAM, SOCK_SEQPACKET}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(type == SOCK_DGRAM ? "datagram" : "packet") +
                   ", " + c.name);
      int ends[2];
      ASSERT_EQ(socketpair(AF_UNIX, type | SOCK_CLOEXEC, 0, ends), 0);
      Fd ours(ends[0]), theirs(ends[1]);
      for (const std::string& message : c.messages)
        ASSERT_EQ(send(theirs.get(), message.data(), message.size(), 0),
                  (ssize_t)message.size());
      const Outcome run = RunWithInput(ours.get());
      EXPECT_EQ(Printable(run.output), Printable(Prompt + c.echoed));
      EXPECT_TRUE(ExitedWithZero(run.status)) << run.status;
      EXPECT_EQ(Printable(ReadAvailable(ours.get())),
                Printable(c.messages.back()));
    }
  }
}

// A named file holding input, positioned at its start, for strace to pick
// out by its path.
Fd NamedFileWith(const std::string& path, const std::string& input) {
  Fd file(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  WriteAll(file.get(), input);
  lseek(file.get(), 0, SEEK_SET);
  return file;
}

// Bytes past the line end that cannot be given back are delivered, not
// lost: another reader took a byte between the program's look and its
// read, or the file refuses the seek back (as /proc/kmsg does). strace
// holds the program just after its look, or fails its seek back.
TEST(Stream, BytesThatCannotBeGivenBackAreDelivered) {
  Fd devNull(open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!ExitedWithZero(WaitExit(
          StartCommand({"strace", "-o", "/dev/null", "-e",
                        "inject=tee:delay_exit=1:when=1", "true"},
                       Stdio{devNull.get(), devNull.get(), devNull.get()}))))
    GTEST_SKIP() << "strace cannot trace here, or cannot delay a call";
  const std::string scratch =
      testing::TempDir() + "stream-test-" + std::to_string(getpid());
  const std::string trace = scratch + ".trace", file = scratch + ".input";
  // The look held for two seconds, the byte taken meanwhile.
  const auto hold = [](const char* look) {
    return std::vector<std::string>{
        "-e", std::string("trace=") + look, "-e",
        std::string("inject=") + look + ":delay_exit=2000000:when=1"};
  };
  const struct {
    const char* name;
    Fd in;
    std::vector<std::string> strace;
    bool takeOne;  // once the look is held
    std::string echoed, rest;
  } cases[] = {
      {"pipe, a byte taken after the look", PipeWith("ab\ncd\n"), hold("tee"),
       true, "b\nc", "d\n"},
      {"stream socket, a byte taken after the look", SocketWith("ab\ncd\n"),
       hold("recvfrom"), true, "b\nc", "d\n"},
      {"file that refuses a seek back",
       NamedFileWith(file, "ab\ncd\nef\n"),
       {"-P", file, "-e", "trace=lseek,_llseek", "-e",
        "inject=lseek,_llseek:error=EINVAL:when=2"},
       false,
       "ab\ncd\nef\n",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> prefix = {"strace", "-f", "-o", trace};
    prefix.insert(prefix.end(), c.strace.begin(), c.strace.end());
    unlink(trace.c_str());
    const auto takeOne = [&](pid_t) {
      if (!c.takeOne) return;
      std::string traced;
      for (int tries = 0; tries < 20000; ++tries) {
        std::ifstream log(trace);
        traced.assign(std::istreambuf_iterator<char>(log), {});
        if (traced.find("(DELAYED)") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      char taken;
      EXPECT_EQ(read(c.in.get(), &taken, 1), 1) << Printable(traced);
    };
    const Outcome run = RunWithInput(c.in.get(), prefix, takeOne);
    EXPECT_EQ(Printable(run.output), Printable(Prompt + c.echoed));
    EXPECT_TRUE(ExitedWithZero(run.status)) << run.status;
    EXPECT_EQ(Printable(ReadAvailable(c.in.get())), Printable(c.rest));
  }
  unlink(trace.c_str());
  unlink(file.c_str());
}

TEST(Stream, EachRunTakesTheNextLine) {
  Pipe in = MakePipe();
  WriteAll(in.write.get(), "a\nb\n");
  in.write = Fd();
  EXPECT_EQ(Printable(RunWithInput(in.read.get()).output),
            Printable(Prompt + "a\n"));
  EXPECT_EQ(Printable(RunWithInput(in.read.get()).output),
            Printable(Prompt + "b\n"));
  EXPECT_EQ(Printable(RunWithInput(in.read.get()).output), Printable(Prompt));
}

// A UDP socket that sent to a local port where nothing listens: the
// refusal waits for its next read, which fails.
Fd RefusedUdpSocket() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  Fd gone(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  bind(gone.get(), (sockaddr*)&address, size);
  getsockname(gone.get(), (sockaddr*)&address, &size);
  gone = Fd();
  Fd ours(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  connect(ours.get(), (sockaddr*)&address, size);
  send(ours.get(), "x", 1, 0);
  pollfd error{ours.get(), 0, 0};
  EXPECT_EQ(poll(&error, 1, 5000), 1) << "no refusal came";
  return ours;
}

// A file takes whatever it is given, where a pipe may refuse a write whole:
// output to a file shows that nothing but the prompt and the echo is
// written, after a failed read too.
TEST(Stream, OutputToAFileIsExact) {
  Fd line = FileWith("to a file\n");
  Fd refused = RefusedUdpSocket();
  const struct {
    const char* name;
    int in;
    int status;
    std::string echoed;
  } cases[] = {
      {"a line", line.get(), 0, "to a file\n"},
      {"UDP socket with a refusal waiting", refused.get(), 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fd out = FileWith("");
    const int status = WaitExit(Start(Stdio{c.in, out.get(), -1}));
    // hello never reads: what waits makes no difference to it.
    EXPECT_TRUE(ExitedWith(status, target.reads ? c.status : 0))
        << "wait status " << status;
    lseek(out.get(), 0, SEEK_SET);
    EXPECT_EQ(Printable(ReadAvailable(out.get())),
              Printable(Prompt + (target.reads ? c.echoed : "")));
  }
}

// Input that cannot be read: the prompt alone, and status 1 unless it was
// simply empty. Input that never ends nor holds a line end: 80 bytes.
// /dev/kmsg (where this user may read it) refuses a read smaller than its
// next record: status 1, and the next reader gets the record a reader opened
// alongside gets first or, where the kernel passed the refused one, second.
TEST(BadDescriptor, UnreadableOrEndlessInput) {
  Fd kmsg(open("/dev/kmsg", O_RDONLY | O_CLOEXEC));
  Fd kmsgAlongside(open("/dev/kmsg", O_RDONLY | O_CLOEXEC));
  Fd directory(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  Fd devNull(open("/dev/null", O_RDONLY | O_CLOEXEC));
  Fd devZero(open("/dev/zero", O_RDONLY | O_CLOEXEC));
  Fd writeOnly(memfd_create("write-only", MFD_CLOEXEC));
  WriteAll(writeOnly.get(), "not for reading\n");
  Fd reopened = Reopen(writeOnly.get(), O_WRONLY);
  const struct {
    const char* name;
    int in;
    int status;
    std::string echoed = "";
  } cases[] = {
      {"closed", -1, 1},
      {"a directory", directory.get(), 1},
      {"/dev/null", devNull.get(), 0},
      {"open only for writing", reopened.get(), 1},
      {"/dev/zero", devZero.get(), 0, std::string(80, '\0')},
      {"/dev/kmsg", kmsg.get(), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // By name: where /dev/kmsg is unreadable its descriptor is -1, as the
    // closed row's is.
    const bool records = c.name == std::string("/dev/kmsg");
    if (records && kmsg.get() < 0) continue;
    const Outcome run = RunWithInput(c.in);
    // WebAssembly reads a character device as a terminal, a line a read:
    // /dev/kmsg's first record whole, whose first line it echoes.
    const bool wholeRecord = records && target.wasi;
    if (!wholeRecord) {
      EXPECT_EQ(Printable(run.output), Printable(Prompt + c.echoed));
      // Node opens a closed standard descriptor on /dev/null.
      const int status = target.wasi && c.in == -1 ? 0 : c.status;
      EXPECT_TRUE(ExitedWith(run.status, status)) << run.status;
    }
    if (!records) continue;
    char record[8192];
    std::string got[3];
    for (int i = 0; i < 3; ++i) {
      const ssize_t n =
          read(i ? kmsgAlongside.get() : kmsg.get(), record, sizeof record);
      ASSERT_GT(n, 0) << strerror(errno);
      got[i].assign(record, n);
    }
    if (wholeRecord) {
      EXPECT_TRUE(ExitedWithZero(run.status)) << run.status;
      const size_t line = std::min(got[1].find('\n') + 1, size_t{80});
      EXPECT_EQ(Printable(run.output),
                Printable(Prompt + got[1].substr(0, line)));
      EXPECT_EQ(got[0], got[2]) << "more than one record taken";
    } else {
      EXPECT_TRUE(got[0] == got[1] || got[0] == got[2]) << got[0];
    }
  }
}

// Stops and continues pid once it waits: a read or write with a timeout
// that it waits in then ends with EINTR rather than being restarted.
void StopAndContinue(pid_t pid) {
  AwaitSleep(pid);
  kill(pid, SIGSTOP);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(pid, SIGCONT);
}

// Input that is not there yet: non-blocking, or a read the kernel ends
// early.
TEST(BadDescriptor, NonBlockingInputIsWaitedFor) {
  const struct {
    const char* name;
    bool file;
    // A blocking stream socket with a receive timeout instead, stopped and
    // continued as it waits: the kernel ends that read with EINTR rather
    // than restart it.
    bool stopped = false;
    // Written 0.2 s into the run, then the rest 0.1 s later; the echo.
    std::string first = "late ", then = "line\nrest\n";
    std::string echoed = "late line\n";
  } cases[] = {
      {"pipe", false},
      {"file", true},
      {"stream socket with a receive timeout, stopped and continued", false,
       true},
      // The second write brings more than the line has room for.
      {"pipe, a long line in two writes", false, false, std::string(50, 'x'),
       std::string(50, 'x') + "\nrest\n", X80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pipe in = MakePipe();
    if (c.stopped) {
      int ends[2];
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
      in = Pipe{Fd(ends[0]), Fd(ends[1])};
      const timeval timeout{10, 0};
      setsockopt(ends[0], SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    const std::string input = c.first + c.then;
    Fd file = FileWith(input);
    if (!c.stopped) SetNonBlocking(c.file ? file.get() : in.read.get());
    const auto writeLate = [&](pid_t pid) {
      if (c.stopped) StopAndContinue(pid);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      WriteAll(in.write.get(), c.first);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      WriteAll(in.write.get(), c.then);
    };
    const Outcome run =
        RunWithInput(c.file ? file.get() : in.read.get(), {}, writeLate);
    EXPECT_EQ(Printable(run.output), Printable(Prompt + c.echoed));
    EXPECT_TRUE(ExitedWithZero(run.status)) << run.status;
    if (!c.file) {
      EXPECT_EQ(Printable(ReadAvailable(in.read.get())),
                Printable(input.substr(c.echoed.size())));
    }
  }
}

// Output that cannot be written: status 1, never a signal, and the input
// is still consumed one line only (not at all by hello, which never reads).
TEST(BadDescriptor, UnwritableOutputEndsWithOne) {
  Fd devFull(open("/dev/full", O_WRONLY | O_CLOEXEC));
  Pipe broken = MakePipe();
  broken.read = Fd();
  Fd readOnly(open("/dev/null", O_RDONLY | O_CLOEXEC));
  Fd file = FileWith("");
  const struct {
    const char* name;
    int out;
    rlim_t fileSizeLimit;
  } cases[] = {
      {"closed", -1, RLIM_INFINITY},
      {"/dev/full", devFull.get(), RLIM_INFINITY},
      {"pipe whose reader has gone", broken.write.get(), RLIM_INFINITY},
      {"open only for reading", readOnly.get(), RLIM_INFINITY},
      {"a file over the size limit", file.get(), 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pipe in = MakePipe();
    WriteAll(in.write.get(), "one\ntwo\n");
    in.write = Fd();
    // The child takes the limit with it; this process keeps its own.
    rlimit before{}, limited{};
    getrlimit(RLIMIT_FSIZE, &before);
    limited = {c.fileSizeLimit, before.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
    const pid_t pid = Start(Stdio{in.read.get(), c.out, -1});
    setrlimit(RLIMIT_FSIZE, &before);
    const int status = WaitExit(pid);
    // Node opens a closed standard descriptor on /dev/null.
    EXPECT_TRUE(ExitedWith(status, target.wasi && c.out == -1 ? 0 : 1))
        << "wait status " << status;
    EXPECT_EQ(ReadAvailable(in.read.get()),
              target.reads ? "two\n" : "one\ntwo\n");
  }
  // What the limit let through, and not a byte more.
  lseek(file.get(), 0, SEEK_SET);
  EXPECT_EQ(Printable(ReadAvailable(file.get())),
            Printable(Prompt.substr(0, 10)));
}

// Writes blocks to the non-blocking tty while each is taken whole, at most
// blocks of them, then last bytes: all that was taken.
std::string FillInBlocks(int tty, size_t blocks, size_t last) {
  const std::string block(246, '.');
  std::string taken;
  for (size_t i = 0; i <= blocks; ++i) {
    const size_t size = i < blocks ? block.size() : last;
    const ssize_t n = size > 0 ? write(tty, block.data(), size) : 0;
    taken.append(std::max<ssize_t>(n, 0), '.');
    if (n != (ssize_t)size) break;
  }
  return taken;
}

// Fills the non-blocking terminal so that it has room for ten more bytes:
// what fills it. A write to a full terminal takes what the last of its
// buffers still holds, and fresh terminals filled alike fill alike: a twin
// shows where a block is cut short, the terminal is filled to ten bytes
// before that, and another twin filled alike shows that ten fit.
std::string FillLeavingTen(Terminal& terminal) {
  Terminal twins[2] = {OpenTerminal(), OpenTerminal()};
  size_t blocks = -1, last = 0;
  std::string filled;
  for (Terminal* t : {&twins[0], &twins[1], &terminal}) {
    SetNonBlocking(t->slave.get());
    // The master's own buffer first, so that it takes no more meanwhile.
    WriteAll(t->slave.get(), std::string(4096, '.'));
    AwaitArrival(t->master.get(), 4095);
    filled =
        std::string(4096, '.') + FillInBlocks(t->slave.get(), blocks, last);
    if (t == &twins[0]) {
      blocks = (filled.size() - 4096) / 246;
      last = std::max<size_t>((filled.size() - 4096) % 246, 10) - 10;
    }
  }
  EXPECT_EQ(write(twins[1].slave.get(), "0123456789abcdef", 16), 10)
      << "no room for ten bytes left";
  return filled;
}

// Output with no room, or with room for part of the prompt only: the rest
// is written once there is room, and nothing twice. A full blocking stream
// socket with a send timeout instead, stopped and continued as the program
// waits to write: the kernel ends that write with EINTR rather than
// restart it.
TEST(BadDescriptor, FullNonBlockingOutputIsWaitedFor) {
  const char* const kinds[] = {
      "full pipe", "terminal with room for ten bytes",
      "full stream socket with a send timeout, stopped and continued"};
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kinds[kind]);
    const bool terminal = kind == 1, stopped = kind == 2;
    Pipe out;
    std::string filler;
    if (terminal) {
      Terminal tty = OpenTerminal();
      filler = FillLeavingTen(tty);
      out = Pipe{std::move(tty.master), std::move(tty.slave)};
    } else if (stopped) {
      int ends[2];
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
      out = Pipe{Fd(ends[0]), Fd(ends[1])};
      SetNonBlocking(ends[1]);
      filler = Fill(ends[1]);
      fcntl(ends[1], F_SETFL, fcntl(ends[1], F_GETFL) & ~O_NONBLOCK);
      const timeval timeout{10, 0};
      setsockopt(ends[1], SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    } else {
      out = MakePipe();
      SetNonBlocking(out.write.get());
      // Fill the pipe so that the program's first write finds no room.
      filler = Fill(out.write.get());
    }
    Fd in = FileWith("after the wait\n");
    const pid_t pid = Start(Stdio{in.get(), out.write.get(), -1});
    out.write = Fd();
    if (stopped) StopAndContinue(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string drained =
        ReadUntil(out.read.get(), Prompt + "after the wait\n");
    EXPECT_TRUE(ExitedWithZero(WaitExit(pid)));
    EXPECT_EQ(drained.size(), filler.size() + Prompt.size() + 15);
    EXPECT_EQ(drained, filler + Prompt + "after the wait\n");
  }
}

// KERNEL32's console functions fail on anything but a console: with its
// input and output redirected the program reads nothing, shows nothing, and
// ends with status 1.
TEST(WindowsConsole, RedirectedOutputStaysEmpty) {
  Fd inFile = FileWith("abc\n");
  Fd outFile = FileWith("");
  Pipe inPipe = MakePipe();
  WriteAll(inPipe.write.get(), "abc\n");
  Pipe outPipe = MakePipe();
  const struct {
    const char* name;
    int in, out, readBack;
  } cases[] = {
      {"files", inFile.get(), outFile.get(), outFile.get()},
      {"pipes", inPipe.read.get(), outPipe.write.get(), outPipe.read.get()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int status = WaitExit(Start(Stdio{c.in, c.out, -1}));
    EXPECT_TRUE(ExitedWith(status, 1)) << "wait status " << status;
    lseek(c.readBack, 0, SEEK_SET);
    EXPECT_EQ(Printable(ReadAvailable(c.readBack)), Printable(""));
  }
}

}  // namespace
