// Seeded random inputs, delivered every way the program can be given them:
// through a pipe in random chunks with random pauses, from a file, and
// typed at a terminal. Each run must write the prompt and the first line
// cut at 80 bytes, leave exactly the rest to the next reader, and end with
// status 0. Run with --seed N to repeat a run, --cases N to size it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "harness.h"

namespace {

struct Totals {
  long cases = 0, bytesLost = 0, badExits = 0;
} totals;

std::mt19937_64 random;
long seed;

long Between(long low, long high) {
  return std::uniform_int_distribution<long>(low, high)(random);
}

// Lines of random bytes: NUL, CR, bytes above 0x7f and all, 0 to 300 bytes
// in all, with or without a final newline.
std::string RandomInput(const std::string& alphabet, char lineEnd,
                        bool alwaysEnded) {
  std::string input;
  const long length = Between(0, 300);
  const long lineEvery = Between(1, 120);
  while ((long)input.size() < length) {
    if (Between(0, lineEvery) == 0)
      input += lineEnd;
    else
      input += alphabet[Between(0, alphabet.size() - 1)];
  }
  if (alwaysEnded && (input.empty() || input.back() != lineEnd))
    input += lineEnd;
  return input;
}

std::string AllBytes() {
  std::string all;
  for (int c = 0; c < 256; ++c) all += (char)c;
  // Make NUL, CR and LF common enough to meet each other.
  return all + std::string(20, '\0') + std::string(20, '\r') +
         std::string(10, '\n');
}

// What the program must take of input: through the first LF, at most max.
std::string FirstLine(const std::string& input, char lineEnd = '\n',
                      size_t max = 80) {
  const size_t end = input.find(lineEnd);
  const size_t length = end == std::string::npos ? input.size() : end + 1;
  return input.substr(0, std::min<size_t>(length, max));
}

// How much of line is kept by a cut at max that never falls inside a
// well-formed UTF-8 character: the line decoded from its start.
size_t WholeCharacters(const std::string& line, size_t max) {
  size_t at = 0;
  while (at < max && at < line.size()) {
    const unsigned char c = line[at];
    size_t size = c >= 0xC2 && c <= 0xDF   ? 2
                  : c >= 0xE0 && c <= 0xEF ? 3
                  : c >= 0xF0 && c <= 0xF4 ? 4
                                           : 1;
    for (size_t i = 1; i < size; ++i)
      if (at + i >= line.size() || ((unsigned char)line[at + i] & 0xC0) != 0x80)
        size = 1;
    if (at + size > max) break;
    at += size;
  }
  return at;
}

// Bytes of input that are neither in the echo nor left for the next
// reader: what the program lost or took too much of.
long Lost(const std::string& input, const std::string& echoed,
          const std::string& rest) {
  const std::string accounted = echoed + rest;
  size_t same = 0;
  while (same < input.size() && same < accounted.size() &&
         input[same] == accounted[same])
    ++same;
  return (long)(input.size() - same) +
         (long)(accounted.size() > input.size()
                    ? accounted.size() - input.size()
                    : 0);
}

void Record(const std::string& input, const std::string& output,
            const std::string& rest, int status, const std::string& how,
            size_t max = 80) {
  ++totals.cases;
  const bool zero = ExitedWithZero(status);
  totals.badExits += !zero;
  const std::string echoed = output.compare(0, Prompt.size(), Prompt) == 0
                                 ? output.substr(Prompt.size())
                                 : output;
  const long lost = Lost(input, echoed, rest);
  totals.bytesLost += lost;
  const std::string expected = FirstLine(input, '\n', max);
  EXPECT_TRUE(zero && lost == 0 && output == Prompt + expected &&
              rest == input.substr(expected.size()))
      << how << ", seed " << seed << ", case " << totals.cases
      << "\n  input:  " << Printable(input)
      << "\n  output: " << Printable(output)
      << "\n  rest:   " << Printable(rest) << "\n  status: " << status;
}

class Stress : public ::testing::Test {
 protected:
  static long Cases() { return Option("cases", 200); }
};

TEST_F(Stress, PipeInRandomChunksWithPauses) {
  const std::string alphabet = AllBytes();
  for (long i = 0; i < Cases(); ++i) {
    const std::string input = RandomInput(alphabet, '\n', false);
    Pipe in = MakePipe(), out = MakePipe();
    std::vector<std::pair<size_t, int>> chunks;  // size, pause in µs
    for (size_t at = 0; at < input.size();) {
      const size_t size = std::min<size_t>(Between(1, 64), input.size() - at);
      chunks.emplace_back(size, (int)Between(0, 3) * (int)Between(0, 700));
      at += size;
    }
    std::thread writer([&] {
      size_t at = 0;
      for (const auto& [size, pause] : chunks) {
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
        WriteAll(in.write.get(), input.substr(at, size));
        at += size;
      }
      in.write = Fd();
    });
    const pid_t pid = Start(Stdio{in.read.get(), out.write.get(), -1});
    const int status = WaitExit(pid);
    writer.join();
    out.write = Fd();
    Record(input, ReadAvailable(out.read.get()), ReadAvailable(in.read.get()),
           status, "pipe");
  }
}

TEST_F(Stress, RegularFile) {
  const std::string alphabet = AllBytes();
  for (long i = 0; i < Cases(); ++i) {
    const std::string input = RandomInput(alphabet, '\n', false);
    Fd in = FileWith(input);
    Pipe out = MakePipe();
    const int status = WaitExit(Start(Stdio{in.get(), out.write.get(), -1}));
    out.write = Fd();
    Record(input, ReadAvailable(out.read.get()), ReadAvailable(in.get()),
           status, "file");
  }
}

// Whether whole is a and b interleaved, each in its own order: what two
// readers taking turns at the front of one input can have got of it.
bool Interleaves(const std::string& a, const std::string& b,
                 const std::string& whole) {
  if (a.size() + b.size() != whole.size()) return false;
  // can[j]: the first i bytes of a and j of b make the first i + j of whole.
  std::vector<bool> can(b.size() + 1);
  for (size_t i = 0; i <= a.size(); ++i)
    for (size_t j = 0; j <= b.size(); ++j)
      can[j] = (i == 0 && j == 0) ||
               (i > 0 && can[j] && a[i - 1] == whole[i + j - 1]) ||
               (j > 0 && can[j - 1] && b[j - 1] == whole[i + j - 1]);
  return can[b.size()];
}

// Two readers of one pipe or stream socket, both waiting when the lines
// arrive at once: each looks, then takes, and the other may take in
// between. Which reader gets which bytes is up to that race; every byte
// must reach one of them or the next reader.
TEST_F(Stress, TwoReadersOfOnePipeOrSocket) {
  const std::string alphabet = AllBytes();
  for (long i = 0; i < Cases(); ++i) {
    for (const bool socket : {false, true}) {
      const std::string input = RandomInput(alphabet, '\n', false);
      int ends[2];
      if (socket)
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
      else
        pipe2(ends, O_CLOEXEC);
      Fd in(ends[0]), writer(ends[1]);
      Pipe out[2] = {MakePipe(), MakePipe()};
      pid_t pids[2];
      std::string got[2];
      for (int r = 0; r < 2; ++r) {
        pids[r] = Start(Stdio{in.get(), out[r].write.get(), -1});
        out[r].write = Fd();
      }
      // Once its prompt is out, each reader is on its way to wait.
      for (int r = 0; r < 2; ++r) got[r] = ReadUntil(out[r].read.get(), Prompt);
      std::this_thread::sleep_for(std::chrono::microseconds(Between(0, 2000)));
      WriteAll(writer.get(), input);
      writer = Fd();
      bool zero = true, prompted = true;
      for (int r = 0; r < 2; ++r) {
        zero = ExitedWithZero(WaitExit(pids[r])) && zero;
        got[r] += ReadAvailable(out[r].read.get());
        prompted = got[r].compare(0, Prompt.size(), Prompt) == 0 && prompted;
        got[r].erase(0, Prompt.size());
      }
      const std::string rest = ReadAvailable(in.get());
      const size_t taken = input.size() - std::min(rest.size(), input.size());
      ++totals.cases;
      totals.badExits += !zero;
      totals.bytesLost +=
          std::labs((long)input.size() - (long)(got[0] + got[1] + rest).size());
      EXPECT_TRUE(zero && prompted && got[0].size() <= 80 &&
                  got[1].size() <= 80 &&
                  input.compare(taken, std::string::npos, rest) == 0 &&
                  Interleaves(got[0], got[1], input.substr(0, taken)))
          << (socket ? "stream socket" : "pipe") << ", seed " << seed
          << ", case " << totals.cases << "\n  input:  " << Printable(input)
          << "\n  first:  " << Printable(got[0])
          << "\n  second: " << Printable(got[1])
          << "\n  rest:   " << Printable(rest);
    }
  }
}

// At a terminal the line discipline acts on control characters, and
// reports bytes 0x80-0x9f as controls: the typing uses printable bytes,
// tabs and Enter. Echo is off, so that only the program's output is read.
TEST_F(Stress, TypedAtATerminal) {
  std::string alphabet = "\t";
  for (int c = 0x20; c < 0x7f; ++c) alphabet += (char)c;
  for (int c = 0xa0; c <= 0xff; ++c) alphabet += (char)c;
  for (long i = 0; i < Cases(); ++i) {
    const std::string typed = RandomInput(alphabet, '\r', true);
    TerminalOptions chunked;
    chunked.echo = false;
    chunked.type = [](int master, const std::string& keys) {
      for (size_t at = 0; at < keys.size();) {
        const size_t size = std::min<size_t>(Between(1, 100), keys.size() - at);
        WriteAll(master, keys.substr(at, size));
        std::this_thread::sleep_for(std::chrono::microseconds(Between(0, 500)));
        at += size;
      }
    };
    const TerminalRun run = RunAtTerminal(typed, chunked);
    // The terminal turns Enter into LF; what the program drops of an
    // overlong first line is the terminal's, not lost, and never part of
    // a character.
    std::string input = typed;
    std::replace(input.begin(), input.end(), '\r', '\n');
    const size_t firstEnd = input.find('\n') + 1;
    const size_t kept = WholeCharacters(input.substr(0, firstEnd), 80);
    const std::string delivered =
        input.substr(0, kept) + input.substr(firstEnd);
    Record(delivered, run.output, run.leftover, run.status, "terminal", kept);
  }
}

// At a Windows console (Wine's, on the same kind of terminal) one typed
// line of printable characters; the console echoes it, delivers it with
// CR LF and draws with escape sequences, so the screens are compared.
TEST_F(Stress, TypedAtAWindowsConsole) {
  ASSERT_TRUE(target.windows);
  for (long i = 0; i < Cases(); ++i) {
    std::string line;
    for (long n = Between(0, 170); n > 0; --n)
      line += (char)Between(0x20, 0x7e);
    const TerminalRun run = RunAtTerminal(line + "\r");
    ++totals.cases;
    const bool zero = ExitedWithZero(run.status);
    totals.badExits += !zero;
    // The console moves its cursor on as soon as a row is full, so Enter at
    // the end of a full row leaves an empty one.
    const std::string shown =
        line + (!line.empty() && line.size() % 80 == 0 ? "\r\n" : "") + "\r\n";
    const std::string echoed = (line + "\r\n").substr(0, 80);
    EXPECT_TRUE(zero && Render(run.output) == Render(Prompt + shown + echoed))
        << "seed " << seed << ", case " << totals.cases
        << "\n  typed: " << Printable(line)
        << "\n  output: " << Printable(run.output)
        << "\n  status: " << run.status;
  }
}

class PrintTotals : public ::testing::Environment {
 public:
  // Printed, and added to the file --totals names, if any.
  void TearDown() override {
    char line[256];
    snprintf(line, sizeof line,
             "%-14s seed %10ld: %4ld cases tried, %ld bytes lost, %ld runs "
             "not ending with status 0\n",
             target.name.c_str(), seed, totals.cases, totals.bytesLost,
             totals.badExits);
    fputs(line, stdout);
    const std::string file = OptionText("totals");
    if (FILE* out = file.empty() ? nullptr : fopen(file.c_str(), "a")) {
      fputs(line, out);
      fclose(out);
    }
  }
};

const auto* const environment = [] {
  return ::testing::AddGlobalTestEnvironment(new PrintTotals);
}();

class Seeded : public ::testing::Environment {
 public:
  void SetUp() override {
    seed = Option("seed", (long)std::random_device{}() & 0x7fffffff);
    random.seed(seed);
    printf("stress seed %ld: rerun with --seed %ld\n", seed, seed);
  }
};

const auto* const seeding = [] {
  return ::testing::AddGlobalTestEnvironment(new Seeded);
}();

}  // namespace
