// The Windows layer's read, built here over a stand-in for KERNEL32's own:
// several reads in a row from one console, which one run cannot show.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform.h"

namespace {

// What the user typed, lines ending in CR LF. In line mode a read takes a
// line whole, hands over what fits and keeps the rest for the next read,
// whoever makes it; out of line mode it hands over what waits. A read with
// nothing to hand over would wait for keys that never come.
struct Console {
  bool lineMode;
  std::string typed, lineRest;
  bool failing = false;       // not a console at all
  std::string pastLine = "";  // handed over after each line, as Wine does
  bool interrupted = false;   // every read ends with nothing, as on Ctrl+C
  bool overReports = false;   // a full read reports a byte more than asked
} console;

// Another console, on any handle but the null one: it always has a line.
const std::string OtherLine = "other\r\n";

}  // namespace

BOOL ReadConsoleA(HANDLE handle, void* buffer, DWORD max, DWORD* count, void*) {
  if (handle) {
    *count = std::min<DWORD>(max, OtherLine.size());
    std::memcpy(buffer, OtherLine.data(), *count);
    return true;
  }
  if (console.lineRest.empty()) {
    const size_t lf = console.typed.find('\n');
    const size_t end = !console.lineMode ? console.typed.size() : lf + 1;
    console.lineRest = console.typed.substr(0, end);
    if (!console.lineRest.empty()) console.lineRest += console.pastLine;
    console.typed.erase(0, end);
  }
  if (console.interrupted) {  // and the line typed so far is dropped
    console.lineRest.clear();
    return *count = 0, true;
  }
  if (console.failing || console.lineRest.empty()) return false;
  *count = std::min<DWORD>(max, console.lineRest.size());
  std::memcpy(buffer, console.lineRest.data(), *count);
  console.lineRest.erase(0, *count);
  if (console.overReports && *count == max) ++*count;
  return true;
}

#include "windows/platform_windows.cpp"

namespace {

const std::string X(5000, 'x'), Typed100 = X.substr(0, 100) + "\r\nnext\r\n";

TEST(WindowsLayer, LineIsTheProgramsAloneAndItsRestComesWithTheNextReads) {
  const struct {
    const char* name;
    Console console;
    std::vector<DWORD> reads;  // how much each read asks for
    std::vector<std::string> delivered;
    std::string leftForCmd;
    std::vector<HANDLE> handles = {};  // each read's; the null one if none
  } cases[] = {
      {"short line", {true, "abc\r\nnext\r\n"}, {80}, {"abc\r\n"}, "next\r\n"},
      {"79 characters",
       {true, X.substr(0, 79) + "\r\nnext\r\n"},
       {80, 80},
       {X.substr(0, 79) + "\r", "\n"},
       "next\r\n"},
      {"100 characters",
       {true, Typed100},
       {80, 8, 80},
       {X.substr(0, 80), X.substr(0, 8), X.substr(0, 12) + "\r\n"},
       "next\r\n"},
      {"as long as is kept",
       {true, X.substr(0, 4094) + "\r\nnext\r\n"},
       {4096, 80},
       {X.substr(0, 4094) + "\r\n", "next\r\n"},
       ""},
      {"longer than is kept",
       {true, X + "\r\nnext\r\n"},
       {80, 4096, 80},
       {X.substr(0, 80), X.substr(0, 4016), "next\r\n"},
       ""},
      {"out of line mode, less than asked", {false, "ab"}, {80}, {"ab"}, ""},
      {"out of line mode, more than asked",
       {false, Typed100},
       {80, 80},
       {X.substr(0, 80), X.substr(0, 20) + "\r\n"},
       ""},
      {"not a console", {true, "abc\r\n", "", true}, {80}, {""}, "abc\r\n"},
      // A character the cut falls in starts what the next read hands out.
      {"a character at the cut",
       {true, X.substr(0, 79) + "\xc3\xa9\r\nnext\r\n"},
       {80, 80},
       {X.substr(0, 79), "\xc3\xa9\r\n"},
       "next\r\n"},
      // A read of less than a character whose character starts what waits
      // still hands out bytes; a later read keeps a character whole too.
      {"a read smaller than the first character",
       {true, "\xe2\x82\xac\r\nnext\r\n"},
       {2, 80},
       {"\xe2\x82", "\xac\r\n"},
       "next\r\n"},
      {"a character at the cut of a later read",
       {true, X.substr(0, 159) + "\xc3\xa9\r\nnext\r\n"},
       {80, 80, 80},
       {X.substr(0, 80), X.substr(0, 79), "\xc3\xa9\r\n"},
       "next\r\n"},
      {"bytes after the LF",
       {true, "abc\r\nnext\r\n", "", false, "?x"},
       {80, 80},
       {"abc\r\n", "next\r\n"},
       ""},
      {"a read ended with nothing",
       {true, "abc\r\n", "", false, "", true},
       {80},
       {""},
       ""},
      // With processed input off a line ends in CR alone: one that fills
      // the read must not make the layer wait for, and take, the next.
      {"a full read ending in CR",
       {true, X.substr(0, 4095) + "\rnext\r\n"},
       {80},
       {X.substr(0, 80)},
       "next\r\n"},
      {"a read that reports more than asked",
       {true, X + "\r\nnext\r\n", "", false, "", false, true},
       {80, 4096, 80},
       {X.substr(0, 80), X.substr(0, 4016), "next\r\n"},
       ""},
      {"another handle",
       {true, Typed100},
       {80, 80},
       {X.substr(0, 80), OtherLine},
       "next\r\n",
       {nullptr, (HANDLE)1}},
      {"another handle, over two reads",
       {true, Typed100},
       {3, 80},
       {"oth", "er\r\n"},
       Typed100,
       {(HANDLE)1, (HANDLE)1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    console = c.console;
    lineStart = lineEnd = 0;
    for (size_t i = 0; i < c.reads.size(); ++i) {
      std::string buffer(c.reads[i], '\0');
      DWORD count = 12345;
      const HANDLE handle = c.handles.empty() ? nullptr : c.handles[i];
      EXPECT_EQ(platform::ReadConsoleA(handle, buffer.data(), c.reads[i],
                                       &count, nullptr),
                !console.failing && !console.interrupted);
      ASSERT_LE(count, c.reads[i]);
      EXPECT_EQ(buffer.substr(0, count), c.delivered[i]);
    }
    EXPECT_EQ(console.lineRest + console.typed, c.leftForCmd);
  }
}

}  // namespace
