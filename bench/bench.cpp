// What one run of lineecho costs, beside the floor and the usual ways of
// writing the same program: time per whole process, system calls after
// exec, and the size of every target's executable.
//
//   bench --rounds N --candidate NAME=CMD [ARG...] ... --size NAME=PATH ...
//         [--max-times X] [--max-calls N,N,...] [--max-bytes NAME=N ...]
//
// A candidate's command is split on spaces; the first candidate is the
// floor the others are measured against, the second is lineecho. The
// ceilings are for lineecho: its median time as a multiple of the floor's,
// its system calls for each kind of input in the table's order, and each
// target's size; the benchmark fails when one is passed.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

const char Line[] = "hello, world\n";

struct Candidate {
  std::string name;
  std::vector<std::string> argv;
  std::vector<double> micros;
};

std::vector<std::string> Split(const std::string& command) {
  std::vector<std::string> words;
  std::istringstream in(command);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// One whole run: spawn with the input file as stdin and /dev/null as
// stdout, wait for the end. Microseconds from spawn to reaped.
double TimeOneRun(const Candidate& c, const std::string& inputPath) {
  std::vector<char*> argv;
  for (const std::string& a : c.argv) argv.push_back((char*)a.c_str());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inputPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ)) {
    perror(argv[0]);
    exit(1);
  }
  int status;
  waitpid(pid, &status, 0);
  const auto end = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "%s did not exit with 0 (status %d)\n", c.name.c_str(),
            status);
    exit(1);
  }
  return std::chrono::duration<double, std::micro>(end - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Each kind of input the system calls are counted for: a line typed at a
// terminal while the program waits for it, the same typed ahead of the
// program's start, lines of 1, 13 and 80 bytes (with their LF) written to
// a pipe at once, the 13-byte line from a stream socket, and from a file.
enum class Input { Terminal, TypedAhead, Pipe1, Pipe13, Pipe80, Socket, File };
const Input Inputs[] = {Input::Terminal, Input::TypedAhead, Input::Pipe1,
                        Input::Pipe13,   Input::Pipe80,     Input::Socket,
                        Input::File};

// Whether the traced process, stopped as it enters a system call, is
// about to read its standard input.
bool EnteringRead(pid_t pid) {
#if defined(__x86_64__)
  user_regs_struct regs{};
  ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
  return regs.orig_rax == SYS_read && regs.rdi == 0;
#else
  (void)pid;
  return true;
#endif
}

// System calls the candidate makes after its exec, counted with ptrace.
int CountSyscalls(const Candidate& c, Input input, const std::string& path) {
  int master = -1, slave = -1, ends[2] = {-1, -1};
  int in = -1;
  const std::string line80 = std::string(79, 'x') + "\n";
  const std::string line = input == Input::Pipe1    ? "\n"
                           : input == Input::Pipe80 ? line80
                                                    : Line;
  const char typed[] = "hello, world\r";
  bool typing = input == Input::Terminal;
  if (input == Input::Terminal || input == Input::TypedAhead) {
    openpty(&master, &slave, nullptr, nullptr, nullptr);
    if (!typing) {
      write(master, typed, sizeof typed - 1);
      // Arrived at the terminal before the program starts.
      for (int waiting = 0; waiting < (int)sizeof typed - 1;)
        ioctl(slave, FIONREAD, &waiting);
    }
    in = slave;
  } else if (input == Input::File) {
    in = open(path.c_str(), O_RDONLY);
  } else {
    if (input == Input::Socket)
      socketpair(AF_UNIX, SOCK_STREAM, 0, ends);
    else
      pipe(ends);
    write(ends[1], line.data(), line.size());
    close(ends[1]);
    ends[1] = -1;
    in = ends[0];
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in, 0);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    std::vector<char*> argv;
    for (const std::string& a : c.argv) argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status;
  waitpid(pid, &status, 0);  // stopped by the exec
  ptrace(PTRACE_SETOPTIONS, pid, nullptr,
         (void*)(long)(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
  int calls = 0, signal = 0;
  bool inside = false;
  for (;;) {
    ptrace(PTRACE_SYSCALL, pid, nullptr, (void*)(long)signal);
    if (waitpid(pid, &status, 0) < 0 || WIFEXITED(status) ||
        WIFSIGNALED(status))
      break;
    signal = 0;
    if (WSTOPSIG(status) == (SIGTRAP | 0x80)) {
      if (!inside) ++calls;
      inside = !inside;
      if (inside && typing && EnteringRead(pid)) {
        write(master, typed, sizeof typed - 1);
        typing = false;
      }
    } else {
      signal = WSTOPSIG(status);
    }
  }
  for (int fd : {master, slave, ends[0]})
    if (fd >= 0) close(fd);
  if (input == Input::File) close(in);
  return calls;
}

std::string Machine() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string model = "unknown processor";
  for (std::string line; std::getline(cpuinfo, line);)
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  utsname u{};
  uname(&u);
  return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) +
         " cores, Linux " + u.release;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 1000;
  std::vector<Candidate> candidates;
  std::vector<std::pair<std::string, std::string>> sizes;
  double maxTimes = 0;
  std::vector<int> maxCalls;
  std::vector<std::pair<std::string, long long>> maxBytes;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i], value = argv[i + 1];
    const size_t eq = value.find('=');
    if (flag == "--rounds") {
      rounds = atoi(value.c_str());
    } else if (flag == "--candidate" && eq != std::string::npos) {
      candidates.push_back(
          {value.substr(0, eq), Split(value.substr(eq + 1)), {}});
    } else if (flag == "--size" && eq != std::string::npos) {
      sizes.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    } else if (flag == "--max-times") {
      maxTimes = atof(value.c_str());
    } else if (flag == "--max-calls") {
      std::istringstream in(value);
      for (std::string n; std::getline(in, n, ',');)
        maxCalls.push_back(atoi(n.c_str()));
    } else if (flag == "--max-bytes" && eq != std::string::npos) {
      maxBytes.emplace_back(value.substr(0, eq), atoll(value.c_str() + eq + 1));
    } else {
      fprintf(stderr,
              "usage: %s --rounds N --candidate NAME=CMD ... --size NAME=PATH "
              "... --ceiling NAME=BYTES ...\n",
              argv[0]);
      return 2;
    }
  }
  if (candidates.empty()) return 2;

  char inputPath[] = "/tmp/lineecho-bench-XXXXXX";
  const int inputFd = mkstemp(inputPath);
  write(inputFd, Line, sizeof Line - 1);
  close(inputFd);

  printf("Machine: %s\n\n", Machine().c_str());

  // Interleaved round by round, in a rotating order, so that drift in the
  // machine's speed falls on every candidate alike.
  const int warmup = std::max(10, rounds / 20);
  for (int round = 0; round < warmup + rounds; ++round)
    for (size_t k = 0; k < candidates.size(); ++k) {
      Candidate& c = candidates[(k + round) % candidates.size()];
      const double micros = TimeOneRun(c, inputPath);
      if (round >= warmup) c.micros.push_back(micros);
    }
  const double floor = Median(candidates[0].micros);
  printf("Per run (exec, the whole run, exit), %d runs each, median:\n\n",
         rounds);
  std::vector<std::string> over;  // ceilings passed
  printf("| candidate | median µs | × floor |\n|---|---:|---:|\n");
  for (const Candidate& c : candidates)
    printf("| %s | %.1f | %.2f |\n", c.name.c_str(), Median(c.micros),
           Median(c.micros) / floor);
  if (maxTimes > 0 && candidates.size() > 1 &&
      Median(candidates[1].micros) > maxTimes * floor)
    over.push_back(candidates[1].name + ": time over " +
                   std::to_string(maxTimes) + " x floor");

  printf("\nSystem calls after exec:\n\n");
  printf(
      "| candidate | terminal | typed ahead | pipe, 1 B | pipe, 13 B | "
      "pipe, 80 B | socket | file "
      "|\n|---|---:|---:|---:|---:|---:|---:|---:|\n");
  for (size_t k = 0; k < candidates.size(); ++k) {
    const Candidate& c = candidates[k];
    printf("| %s |", c.name.c_str());
    for (size_t i = 0; i < std::size(Inputs); ++i) {
      const int calls = CountSyscalls(c, Inputs[i], inputPath);
      printf(" %d |", calls);
      if (k == 1 && i < maxCalls.size() && calls > maxCalls[i])
        over.push_back(c.name + ": " + std::to_string(calls) +
                       " system calls for input " + std::to_string(i + 1) +
                       ", over " + std::to_string(maxCalls[i]));
    }
    printf("\n");
  }

  printf("\nExecutable sizes:\n\n| target | bytes | KiB |\n|---|---:|---:|\n");
  for (const auto& [name, path] : sizes) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
      printf("| %s | %lld | %.2f |\n", name.c_str(), (long long)st.st_size,
             st.st_size / 1024.0);
    else
      printf("| %s | not built | |\n", name.c_str());
    for (const auto& [ceilingName, bytes] : maxBytes)
      if (ceilingName == name && st.st_size > bytes)
        over.push_back(name + ": " + std::to_string(st.st_size) +
                       " bytes, over " + std::to_string(bytes));
  }
  unlink(inputPath);
  for (const std::string& o : over)
    fprintf(stderr, "over its ceiling: %s\n", o.c_str());
  return over.empty() ? 0 : 1;
}
