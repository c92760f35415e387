// The backtrace callbacks, fed with synthetic frames, and the stack walker.
#include <cerrno>
#include <cstdlib>
#include <cxxabi.h>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diag_test_support.h"
#include "diagnostics/backtrace.h"

struct frame {
  uintptr_t pc;
  const char *file;
  int line;
  const char *function;
};

struct collected_frames {
  std::vector<frame> frames;
};

collected_frames walk_from_here();

namespace {

struct step_result {
  std::string printed;
  std::vector<int> returns;
  int count;
};

step_result feed(const std::vector<frame> &frames, int count = 0) {
  step_result result{"", {}, count};
  result.printed = capture_stderr([&] {
    for (const frame &f : frames)
      result.returns.push_back(
          backtrace_step_printer(&result.count, f.pc, f.file, f.line, f.function));
  });
  return result;
}

TEST(BacktraceStepPrinter, FrameRules) {
  step_result r = feed({
      {0x10, nullptr, 0, nullptr},                       // nothing known: skipped
      {0x20, "/x/src/diagnostics/diagnostic.cc", 12, "report"},  // own module, count 0
      {0x30, "a.cc", 3, "_Z3fooi"},                      // demangled
      {0x40, "/elsewhere/diagnostic.cc", 7, "g"},        // own module, count now 1
      {0x50, nullptr, 0, "bar"},
      {0x60, "b.cc", 1, nullptr},
      {0x70, "not-a-mangled-name.cc", 2, "_Zbogus"},     // demangling fails: raw name
  });
  EXPECT_EQ(r.printed, "0x30 foo(int)\n\ta.cc:3\n"
                       "0x40 g\n\t/elsewhere/diagnostic.cc:7\n"
                       "0x50 bar\n\t???:0\n"
                       "0x60 ???\n\tb.cc:1\n"
                       "0x70 _Zbogus\n\tnot-a-mangled-name.cc:2\n");
  EXPECT_EQ(r.returns, std::vector<int>(7, 0));
  EXPECT_EQ(r.count, 5);
}

TEST(BacktraceStepPrinter, OwnModuleComparesTheFinalComponent) {
  step_result r = feed({{0x1, "src/my-diagnostic.cc", 1, "f"}, {0x2, "diagnostic.cc", 2, "g"}});
  EXPECT_EQ(r.printed, "0x1 f\n\tsrc/my-diagnostic.cc:1\n0x2 g\n\tdiagnostic.cc:2\n");
}

TEST(BacktraceStepPrinter, OutermostFunctionsStopTheWalk) {
  const char *const stops[] = {"main",          "toplev::main",
                               "execute_one_pass", "compile_file",
                               "main(int, char**)", "_ZN6toplev4mainEiPPc",
                               "compile_file()"};
  for (const char *name : stops) {
    step_result r = feed({{0x10, "x.cc", 1, name}}, 3);
    EXPECT_EQ(r.returns, std::vector<int>{1}) << name;
    EXPECT_EQ(r.printed, "") << name;
    EXPECT_EQ(r.count, 3) << name;
  }
  const char *const goes_on[] = {"mainly", "main_loop", "toplev::main2", "compile_files",
                                 "my::main"};
  for (const char *name : goes_on) {
    step_result r = feed({{0x10, "x.cc", 1, name}});
    EXPECT_EQ(r.returns, std::vector<int>{0}) << name;
    EXPECT_EQ(r.printed, std::string("0x10 ") + name + "\n\tx.cc:1\n");
  }
}

TEST(BacktraceStepPrinter, StopsAfterTwentyFrames) {
  std::vector<frame> frames;
  for (int i = 0; i < 25; ++i)
    frames.push_back({static_cast<uintptr_t>(0x100 + i), "f.cc", i, "f"});
  step_result r = feed(frames);
  EXPECT_EQ(r.count, 20);
  size_t lines = 0;
  for (char c : r.printed)
    lines += c == '\n';
  EXPECT_EQ(lines, 40U);
  EXPECT_EQ(r.returns[19], 0);
  EXPECT_EQ(r.returns[20], 1);
  EXPECT_EQ(r.printed.rfind("0x113 f\n\tf.cc:19\n"), r.printed.size() - 17);
}

TEST(BacktraceErrorPrinter, Messages) {
  EXPECT_EQ(capture_stderr([] { backtrace_error_printer(nullptr, "no debug info", -1); }), "");
  EXPECT_EQ(capture_stderr([] { backtrace_error_printer(nullptr, "failed", 0); }), "failed\n");
  EXPECT_EQ(capture_stderr([] { backtrace_error_printer(nullptr, "open", ENOENT); }),
            std::string("open: ") + strerror(ENOENT) + "\n");
}


int collect(void *data, uintptr_t pc, const char *file, int line, const char *function) {
  static_cast<collected_frames *>(data)->frames.push_back({pc, file, line, function});
  return 0;
}

} // namespace

// Outside the anonymous namespace: the walker names only exported functions.
__attribute__((noinline)) collected_frames walk_from_here() {
  collected_frames c;
  walk_backtrace(0, collect, backtrace_error_printer, &c);
  return c;
}

namespace {

// Local to this file: only the full symbol table knows its name, dladdr does not.
__attribute__((noinline)) int local_function(int x) { return x * 3 + 1; }

int global_datum = 7;

TEST(FunctionInSymbolTable, NamesWhatHoldsTheAddress) {
  struct {
    uintptr_t pc;
    const char *expected;  // demangled; null: no function holds the address
  } cases[] = {
      {reinterpret_cast<uintptr_t>(&walk_from_here), "walk_from_here()"},
      {reinterpret_cast<uintptr_t>(&walk_from_here) + 1, "walk_from_here()"},
      {reinterpret_cast<uintptr_t>(&local_function) + 2, "(anonymous namespace)::local_function(int)"},
      {reinterpret_cast<uintptr_t>(&global_datum), nullptr},
      {0, nullptr},
  };
  for (const auto &c : cases) {
    const char *name = function_in_symbol_table(c.pc);
    if (!c.expected) {
      EXPECT_EQ(name, nullptr) << name;
      continue;
    }
    ASSERT_NE(name, nullptr) << c.expected;
    int status = -1;
    char *demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    EXPECT_EQ(status, 0) << name;
    EXPECT_STREQ(demangled, c.expected);
    free(demangled);
  }
  EXPECT_EQ(local_function(1), 4);
}

TEST(WalkBacktrace, SeesTheCaller) {
  collected_frames c = walk_from_here();
#if __has_include(<execinfo.h>)
  ASSERT_FALSE(c.frames.empty());
  // The walker's own frame is left out: the innermost is its caller's.
  ASSERT_NE(c.frames[0].function, nullptr);
  EXPECT_NE(strstr(c.frames[0].function, "walk_from_here"), nullptr) << c.frames[0].function;
  EXPECT_EQ(c.frames[0].file, nullptr);
  EXPECT_NE(c.frames[0].pc, 0U);
#else
  EXPECT_TRUE(c.frames.empty());
#endif
}

} // namespace
