// The library and the program against the recording platform: which
// operations are called, in what order, with which arguments.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_platform.h"

// The library is compiled into this file, so that each test can start it
// as a new process does, with all its state zero.
#include "exit_program.cpp"
#include "read_text.cpp"
#include "write_text.cpp"

extern "C" void EchoMain();

namespace {

const std::string Prompt("\r\nEnter some characters.\r\n", 26);

// As at the start of a process: the platform fresh, the library's state
// zero.
void StartAfresh() {
  fake = FakePlatform{};
  outputHandle = inputHandle = nullptr;
  std::memset(inputBuffer, 0, sizeof inputBuffer);
  lastReadCount = lastWriteCount = 0;
  anyCallFailed = false;
}

class ConsoleIo : public ::testing::Test {
 protected:
  void SetUp() override { StartAfresh(); }
};

void ExpectStdHandle(const PlatformCall& call, DWORD which) {
  EXPECT_EQ(call.op, Op::GetStdHandle);
  EXPECT_EQ(call.which, which);
}

struct WriteCase {
  const char* name;
  std::string text;  // what lies in memory
  uint32_t length;   // what is asked for
};

TEST_F(ConsoleIo, WriteTextHandsOverExactlyLengthCharacters) {
  const WriteCase cases[] = {
      {"empty", "", 0},
      {"plain", "abc", 3},
      {"inner NUL", std::string("a\0b", 3), 3},
      {"stops at length", "abcdef", 2},
      {"high bytes", "\x80\xff\r\n", 4},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    StartAfresh();
    WriteText(c.text.data(), c.length);
    ASSERT_EQ(fake.calls.size(), 2u);
    ExpectStdHandle(fake.calls[0], STD_OUTPUT_HANDLE);
    const PlatformCall& write = fake.calls[1];
    EXPECT_EQ(write.op, Op::Write);
    EXPECT_EQ(write.handle, HandlesReturned()[0]);
    EXPECT_EQ(write.buffer, c.text.data());
    EXPECT_EQ(write.count, c.length);
    EXPECT_EQ(write.written, c.text.substr(0, c.length));
    EXPECT_NE(write.countOut, nullptr);
    EXPECT_EQ(write.reserved, nullptr);
  }
}

struct ReadCase {
  const char* name;
  std::optional<std::string> delivered;  // nullopt: the read fails
  std::string expected;
};

TEST_F(ConsoleIo, ReadTextReturnsWhatTheReadDelivered) {
  const ReadCase cases[] = {
      {"line with CR LF", "abc\r\n", "abc\r\n"},
      {"empty line", "\r\n", "\r\n"},
      {"nothing", "", ""},
      {"full buffer", std::string(80, 'x'), std::string(80, 'x')},
      {"more than fits", std::string(100, 'y'), std::string(80, 'y')},
      {"inner NUL", std::string("a\0b\n", 4), std::string("a\0b\n", 4)},
      {"failed read", std::nullopt, ""},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    StartAfresh();
    fake.reads.push_back(c.delivered);
    const ReadResult result = ReadText();
    ASSERT_EQ(fake.calls.size(), 2u);
    ExpectStdHandle(fake.calls[0], STD_INPUT_HANDLE);
    const PlatformCall& read = fake.calls[1];
    EXPECT_EQ(read.op, Op::Read);
    EXPECT_EQ(read.handle, HandlesReturned()[0]);
    EXPECT_EQ(read.count, InputBufferSize);
    EXPECT_NE(read.countOut, nullptr);
    EXPECT_EQ(read.reserved, nullptr);
    // The result points at the start of the buffer the platform filled.
    EXPECT_EQ(result.text, read.buffer);
    EXPECT_EQ(std::string(result.text, result.count), c.expected);
  }
}

TEST_F(ConsoleIo, SecondReadRefillsTheBufferFromItsStart) {
  fake.reads = {std::string("first line\n"), std::string("ab\n")};
  const ReadResult first = ReadText();
  const ReadResult second = ReadText();
  EXPECT_EQ(first.text, second.text);
  ASSERT_EQ(second.count, 3u);
  EXPECT_EQ(std::string(second.text, second.count), "ab\n");
  // Nothing is cleared in between: the tail of the first line is still there.
  EXPECT_EQ(std::string(second.text + 3, 8), "st line\n");
}

TEST_F(ConsoleIo, FailedCallNeverReportsThePreviousCountAgain) {
  fake.reads = {std::string("secret\n"), std::nullopt};
  EXPECT_EQ(ReadText().count, 7u);
  EXPECT_EQ(ReadText().count, 0u);
  fake.writes = {3, std::nullopt};
  WriteText("abc", 3);
  EXPECT_EQ(lastWriteCount, 3u);
  WriteText("abc", 3);
  EXPECT_EQ(lastWriteCount, 0u);
}

TEST_F(ConsoleIo, EveryCallObtainsItsHandleAnew) {
  fake.reads = {std::string("x\n"), std::string("y\n")};
  WriteText("a", 1);
  ReadText();
  WriteText("b", 1);
  ReadText();
  const std::vector<HANDLE> handles = HandlesReturned();
  ASSERT_EQ(handles.size(), 4u);
  std::vector<HANDLE> used;
  for (const PlatformCall& call : fake.calls)
    if (call.op == Op::Write || call.op == Op::Read)
      used.push_back(call.handle);
  EXPECT_EQ(used, handles);
}

// The exit status tells whether every write was taken whole and every read
// worked, however many calls came after a failure.
TEST_F(ConsoleIo, ExitStatusSaysWhetherEveryCallWorked) {
  const struct {
    const char* name;
    std::deque<std::optional<DWORD>> writes;  // what each write reports
    std::deque<std::optional<std::string>> reads;
    UINT status;
  } cases[] = {
      {"no calls", {}, {}, 0},
      {"all worked", {3, 3}, {"ab\n"}, 0},
      {"end of input", {}, {""}, 0},
      {"a failed write", {std::nullopt}, {}, 1},
      {"a short write", {2}, {}, 1},
      {"a failed read", {}, {std::nullopt}, 1},
      {"a failed write, then all worked", {std::nullopt, 3, 3}, {"ab\n"}, 1},
      {"a failed read, then a read that worked", {}, {std::nullopt, "x\n"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartAfresh();
    fake.writes = c.writes;
    fake.reads = c.reads;
    // One write for each outcome given, the reads in between.
    for (size_t i = 0; i < c.writes.size() || !fake.reads.empty(); ++i) {
      if (i < c.writes.size()) WriteText("abc", 3);
      if (!fake.reads.empty()) ReadText();
    }
    try {
      ExitProgram();
      ADD_FAILURE() << "ExitProgram returned";
    } catch (const ProcessExited& exited) {
      EXPECT_EQ(exited.code, c.status);
    }
    EXPECT_EQ(fake.calls.back().op, Op::Exit);
  }
}

struct EchoCase {
  const char* name;
  std::optional<std::string> delivered;
  std::string echoed;
  UINT status = 0;
  // What the prompt's and the echo's writes report; whole when not given.
  std::deque<std::optional<DWORD>> writes = {};
};

// The program: prompt, read, echo of exactly what was read, and an exit
// status that says whether all of it worked.
TEST_F(ConsoleIo, EchoProgramMakesItsFourCallsInOrder) {
  const EchoCase cases[] = {
      {"abc", "abc\r\n", "abc\r\n"},
      {"empty line", "\r\n", "\r\n"},
      {"long line", std::string(90, 'q'), std::string(80, 'q')},
      {"nothing read", "", ""},
      {"failed read", std::nullopt, "", 1},
      {"prompt not written", "abc\r\n", "abc\r\n", 1, {std::nullopt}},
      {"prompt written in part", "abc\r\n", "abc\r\n", 1, {20}},
      {"echo written in part", "abc\r\n", "abc\r\n", 1, {26, 4}},
      {"echo not written", "abc\r\n", "abc\r\n", 1, {26, std::nullopt}},
  };
  for (const EchoCase& c : cases) {
    SCOPED_TRACE(c.name);
    StartAfresh();
    fake.reads.push_back(c.delivered);
    fake.writes = c.writes;
    EXPECT_THROW(EchoMain(), ProcessExited);
    // The stack guard is set before anything else runs.
    EXPECT_EQ(fake.callsBeforeStackGuard, 0);
    std::vector<Op> ops;
    for (const PlatformCall& call : fake.calls) ops.push_back(call.op);
    const std::vector<Op> expected = {
        Op::GetStdHandle, Op::Write, Op::GetStdHandle, Op::Read,
        Op::GetStdHandle, Op::Write, Op::Exit};
    ASSERT_EQ(ops, expected);
    ExpectStdHandle(fake.calls[0], STD_OUTPUT_HANDLE);
    EXPECT_EQ(fake.calls[1].written, Prompt);
    ExpectStdHandle(fake.calls[2], STD_INPUT_HANDLE);
    ExpectStdHandle(fake.calls[4], STD_OUTPUT_HANDLE);
    // The echo is written from the library's buffer, not from a copy.
    EXPECT_EQ(fake.calls[5].buffer, fake.calls[3].buffer);
    EXPECT_EQ(fake.calls[5].written, c.echoed);
    EXPECT_EQ(fake.calls[6].exitCode, c.status);
  }
}

}  // namespace
