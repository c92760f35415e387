// The reporting service: prefixes, counting, the endings of fatal and
// internal errors, re-entry, assertions.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "diag_test_support.h"
#include "diagnostics/diagnostic-color.h"
#include "diagnostics/diagnostic.h"
#include "diagnostics/pretty-print.h"
#include "quarn-config.h"

namespace {

const std::string LOCUS = "\33[01m\33[K", STOP = "\33[m\33[K";
const std::string SUBMIT_PLAIN =
    "Please submit a full bug report, with preprocessed source (by using -freport-bug).\n";
const std::string SUBMIT_REPORT_BUG = "Please submit a full bug report, with preprocessed source.\n";
const std::string INCLUDE_BACKTRACE = "Please include the complete backtrace with any bug report.\n";
const std::string SEE_URL = std::string("See ") + QUARN_BUGURL + " for instructions.\n";

class Diagnostics : public ::testing::Test {
protected:
  void SetUp() override { reset_global_context(); }
  void TearDown() override { reset_global_context(); }
};

TEST_F(Diagnostics, PrefixesWithoutColors) {
  struct {
    std::function<void()> report;
    std::string expected;
  } const cases[] = {
      {[] { error_current("bad %s", "thing"); }, "quarn++: error: bad thing\n"},
      {[] { error_at(UNKNOWN_LOCATION, "at %d", 3); }, "quarn++: error: at 3\n"},
      {[] { warning_current(0, "careful"); }, "quarn++: warning: careful\n"},
      {[] { warning_at(UNKNOWN_LOCATION, 0, "careful %u", 2U); }, "quarn++: warning: careful 2\n"},
      {[] { inform(UNKNOWN_LOCATION, "see %qs", "here"); }, "quarn++: note: see 'here'\n"},
      {[] { sorry_current("not yet"); }, "quarn++: sorry, unimplemented: not yet\n"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(capture_stderr(c.report), c.expected);
}

TEST_F(Diagnostics, ProgramNameIsTheLocus) {
  const char *saved = progname;
  progname = "my-driver";
  EXPECT_EQ(capture_stderr([] { error_current("x"); }), "my-driver: error: x\n");
  progname = saved;
}

TEST_F(Diagnostics, CountersAndErrorsSeen) {
  EXPECT_FALSE(errors_seen());
  std::string ignored = capture_stderr([] {
    EXPECT_TRUE(warning_current(0, "w"));
    EXPECT_TRUE(warning_at(UNKNOWN_LOCATION, 0, "w"));
    inform(UNKNOWN_LOCATION, "n");
  });
  EXPECT_EQ(global_dc->kind_count[KIND_WARNING], 2);
  EXPECT_EQ(global_dc->kind_count[KIND_NOTE], 1);
  EXPECT_FALSE(errors_seen());
  ignored = capture_stderr([] { sorry_current("s"); });
  EXPECT_TRUE(errors_seen());
  reset_global_context();
  ignored = capture_stderr([] { error_current("e"); });
  EXPECT_EQ(global_dc->kind_count[KIND_ERROR], 1);
  EXPECT_TRUE(errors_seen());
  // The driver raises the counter itself for failures reported otherwise.
  reset_global_context();
  global_dc->kind_count[KIND_ERROR] = 1;
  EXPECT_TRUE(errors_seen());
}

TEST_F(Diagnostics, CountersSurviveFinish) {
  std::string ignored = capture_stderr([] { error_current("e"); });
  diag_context_finish(global_dc);
  EXPECT_EQ(global_dc->printer, nullptr);
  EXPECT_EQ(global_dc->kind_count[KIND_ERROR], 1);
  EXPECT_TRUE(errors_seen());
}

TEST_F(Diagnostics, DeliveryWithoutPrinterStillPrints) {
  diag_context_finish(global_dc);
  EXPECT_EQ(capture_stderr([] { error_current("late"); }), "quarn++: error: late\n");
}

TEST_F(Diagnostics, ContinuationLinesAreIndented) {
  EXPECT_EQ(capture_stderr([] { error_current("first\n%s", "second"); }),
            "quarn++: error: first\n   second\n");
  EXPECT_EQ(capture_stderr([] { error_current("first\nsecond"); }),
            "quarn++: error: first\nsecond\n");
}

TEST_F(Diagnostics, ErrnoAtEntry) {
  EXPECT_EQ(capture_stderr([] {
              errno = ENOENT;
              error_current("cannot open %qs: %m", "f");
            }),
            std::string("quarn++: error: cannot open 'f': ") + strerror(ENOENT) + "\n");
}

TEST_F(Diagnostics, NoticeToStreamIsPlain) {
  EXPECT_EQ(capture_stderr([] { notice_to_stream(stderr, "note %d%%\n", 5); }), "note 5%\n");
  EXPECT_EQ(global_dc->kind_count[KIND_NOTE], 0);
}

TEST_F(Diagnostics, PrefixesWithColors) {
  scoped_env colors("QUARN_COLORS", nullptr);
  diagnostic_color_init(global_dc, COLOR_MODE_ALWAYS);
  struct {
    std::function<void()> report;
    std::string expected;
  } const cases[] = {
      {[] { error_current("m"); },
       LOCUS + "quarn++:" + STOP + " \33[01;31m\33[Kerror: " + STOP + "m\n"},
      {[] { warning_current(0, "m"); },
       LOCUS + "quarn++:" + STOP + " \33[01;35m\33[Kwarning: " + STOP + "m\n"},
      {[] { inform(UNKNOWN_LOCATION, "m %<q%>"); },
       LOCUS + "quarn++:" + STOP + " \33[01;36m\33[Knote: " + STOP + "m '" + LOCUS + "q" + STOP +
           "'\n"},
      {[] { sorry_current("m"); },
       LOCUS + "quarn++:" + STOP + " \33[01;31m\33[Ksorry, unimplemented: " + STOP + "m\n"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(capture_stderr(c.report), c.expected);
}

TEST_F(Diagnostics, KindsWithoutColorName) {
  diagnostic_color_init(global_dc, COLOR_MODE_ALWAYS);
  struct {
    diag_kind kind;
    std::string expected;
  } const cases[] = {
      {KIND_PEDWARN, LOCUS + "quarn++:" + STOP + " pedwarn: "},
      {KIND_WERROR, LOCUS + "quarn++:" + STOP + " error: "},
      {KIND_PATH, LOCUS + "quarn++:" + STOP + " \33[01;36m\33[Kpath: " + STOP},
      {KIND_UNSPECIFIED, LOCUS + "quarn++:" + STOP + " "},
  };
  for (const auto &c : cases) {
    diag_record record{};
    record.kind = c.kind;
    char *prefix = diagnostic_build_prefix(global_dc, &record);
    EXPECT_EQ(prefix, c.expected) << "kind " << c.kind;
    free(prefix);
  }
}

TEST_F(Diagnostics, ColorOverridesReachThePrefix) {
  child_result child = run_in_child([] {
    setenv("QUARN_COLORS", "error=01;33", 1);
    diagnostic_color_init(global_dc, COLOR_MODE_ALWAYS);
    error_current("m");
    warning_current(0, "m");
  });
  EXPECT_EQ(child.err, LOCUS + "quarn++:" + STOP + " \33[01;33m\33[Kerror: " + STOP + "m\n" +
                           LOCUS + "quarn++:" + STOP + " \33[01;35m\33[Kwarning: " + STOP + "m\n");
}

TEST_F(Diagnostics, ColorModesOfTheContext) {
  struct {
    const char *quarn_colors;
    const char *term;
    int mode;
    std::string expected;
  } const cases[] = {
      // Set and empty: no colors even when asked for always.
      {"", "xterm", COLOR_MODE_ALWAYS, "quarn++: error: m\n"},
      {nullptr, "dumb", COLOR_MODE_ALWAYS,
       LOCUS + "quarn++:" + STOP + " \33[01;31m\33[Kerror: " + STOP + "m\n"},
      // Standard error is a file here, so auto (and the start-up call) stays plain.
      {nullptr, "xterm", COLOR_MODE_AUTO, "quarn++: error: m\n"},
      {nullptr, "xterm", -1, "quarn++: error: m\n"},
      {nullptr, "xterm", COLOR_MODE_NEVER, "quarn++: error: m\n"},
  };
  for (const auto &c : cases) {
    scoped_env colors("QUARN_COLORS", c.quarn_colors);
    scoped_env term("TERM", c.term);
    reset_global_context();
    std::string err = capture_stderr([&] {
      diagnostic_color_init(global_dc, c.mode);
      error_current("m");
    });
    EXPECT_EQ(err, c.expected) << "mode " << c.mode;
  }
}

TEST_F(Diagnostics, UrlModesOfTheContext) {
  scoped_env urls("QUARN_URLS", "st");
  diagnostic_urls_init(global_dc, URL_MODE_ALWAYS);
  EXPECT_EQ(global_dc->printer->url_format, URL_FORMAT_ST);
  diagnostic_urls_init(global_dc, URL_MODE_NEVER);
  EXPECT_EQ(global_dc->printer->url_format, URL_FORMAT_NONE);
  diagnostic_urls_init(global_dc, -1);  // auto; standard error is no terminal here
  EXPECT_EQ(global_dc->printer->url_format, URL_FORMAT_NONE);
}

TEST(DiagnosticEndings, FatalError) {
  child_result child = run_in_child([] {
    reset_global_context();
    fatal_error(UNKNOWN_LOCATION, "no input files");
  });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, "quarn++: fatal error: no input files\ncompilation terminated.\n");
}

void report_from_exit_handler() { error_current("cannot remove %qs", "t.o"); }

TEST(DiagnosticEndings, ExitHandlersMayStillReport) {
  struct {
    std::function<void()> end;
    int status;
    std::string ending;
  } const cases[] = {
      {[] { fatal_error(UNKNOWN_LOCATION, "gone"); }, 1,
       "quarn++: fatal error: gone\ncompilation terminated.\n"},
      {[] { internal_error_no_backtrace("ice"); }, 4,
       "quarn++: internal compiler error: ice\n" + SUBMIT_PLAIN + SEE_URL},
  };
  for (const auto &c : cases) {
    child_result child = run_in_child([&] {
      reset_global_context();
      atexit(report_from_exit_handler);
      c.end();
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.status, c.status);
    EXPECT_EQ(child.err, c.ending + "quarn++: error: cannot remove 't.o'\n");
  }
}

TEST(DiagnosticEndings, InternalErrorWithoutBacktrace) {
  struct {
    bool report_bug;
    std::string submit;
  } const cases[] = {{false, SUBMIT_PLAIN}, {true, SUBMIT_REPORT_BUG}};
  for (const auto &c : cases) {
    child_result child = run_in_child([&] {
      reset_global_context();
      global_dc->report_bug = c.report_bug;
      internal_error_no_backtrace("broken %d", 7);
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.status, 4);
    EXPECT_EQ(child.err, "quarn++: internal compiler error: broken 7\n" + c.submit + SEE_URL);
  }
}

size_t count_frame_lines(const std::string &text) {
  size_t frames = 0;
  for (size_t at = text.find("\n0x"); at != std::string::npos; at = text.find("\n0x", at + 1))
    ++frames;
  return frames;
}

TEST(DiagnosticEndings, InternalErrorWithBacktrace) {
  child_result child = run_in_child([] {
    reset_global_context();
    global_dc->report_bug = true;
    internal_error("broken");
  });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 4);
  const std::string first = "quarn++: internal compiler error: broken\n";
  ASSERT_EQ(child.err.rfind(first, 0), 0U) << child.err;
  size_t submit = child.err.find(SUBMIT_REPORT_BUG);
  ASSERT_NE(submit, std::string::npos) << child.err;
  std::string backtrace = child.err.substr(first.size() - 1, submit - first.size() + 1);
  size_t frames = count_frame_lines(backtrace);
  EXPECT_LE(frames, 20U);
  std::string tail = child.err.substr(submit);
  if (frames > 0) {
    EXPECT_EQ(tail, SUBMIT_REPORT_BUG + INCLUDE_BACKTRACE + SEE_URL);
    // The reporting machinery's own frames are left out; the caller's are shown.
    EXPECT_EQ(backtrace.find("internal_error"), std::string::npos) << backtrace;
    EXPECT_EQ(backtrace.find("deliver_diagnostic"), std::string::npos) << backtrace;
    EXPECT_EQ(backtrace.find("diagnostic.cc"), std::string::npos) << backtrace;
    EXPECT_NE(backtrace.find("run_in_child("), std::string::npos) << backtrace;
  } else {
    EXPECT_EQ(tail, SUBMIT_REPORT_BUG + SEE_URL);
  }
}

TEST(DiagnosticEndings, InternalErrorAfterErrorsIsConfused) {
  struct {
    std::function<void()> earlier;
    std::string earlier_text;
  } const cases[] = {
      {[] { error_current("first"); }, "quarn++: error: first\n"},
      {[] { sorry_current("first"); }, "quarn++: sorry, unimplemented: first\n"},
      {[] { global_dc->kind_count[KIND_ERROR] = 1; }, ""},
  };
  for (const auto &c : cases) {
    for (bool with_backtrace : {true, false}) {
      child_result child = run_in_child([&] {
        reset_global_context();
        c.earlier();
        if (with_backtrace)
          internal_error("second");
        internal_error_no_backtrace("second");
      });
      EXPECT_TRUE(child.exited);
      EXPECT_EQ(child.status, 4);
      EXPECT_EQ(child.err, c.earlier_text + "quarn++:0: confused by earlier errors, bailing out\n");
    }
  }
}

TEST(DiagnosticEndings, WarningsDoNotConfuse) {
  child_result child = run_in_child([] {
    reset_global_context();
    warning_current(0, "w");
    internal_error_no_backtrace("ice");
  });
  EXPECT_EQ(child.status, 4);
  EXPECT_EQ(child.err,
            "quarn++: warning: w\nquarn++: internal compiler error: ice\n" + SUBMIT_PLAIN + SEE_URL);
}

TEST(DiagnosticEndings, ReentryIsAnInternalError) {
  struct {
    int lock;
    bool internal;
    std::string expected;
  } const cases[] = {
      {1, false, "internal compiler error: error reporting routines re-entered.\n"},
      {2, true, "internal compiler error: error reporting routines re-entered.\n"},
      // One internal error may interrupt one diagnostic in progress.
      {1, true, "quarn++: internal compiler error: x\n"},
  };
  for (const auto &c : cases) {
    child_result child = run_in_child([&] {
      reset_global_context();
      global_dc->lock = c.lock;
      if (c.internal)
        internal_error_no_backtrace("x");
      error_current("x");
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.status, 4);
    EXPECT_EQ(child.err.rfind(c.expected, 0), 0U) << child.err;
    EXPECT_NE(child.err.find(SUBMIT_PLAIN), std::string::npos) << child.err;
    EXPECT_EQ(child.err.substr(child.err.size() - SEE_URL.size()), SEE_URL);
  }
}

TEST(TrimFilename, Table) {
  const std::string src = QUARN_TEST_SOURCE_DIR "/src/";
  struct {
    std::string path;
    const char *expected;
  } const cases[] = {
      {src + "diagnostics/pretty-print.cc", "pretty-print.cc"},
      {src + "diagnostics/diagnostic.cc", "diagnostic.cc"},
      {src + "driver/compiler_driver.cc", "driver/compiler_driver.cc"},
      {src + "driver/cp/lang_driver.cc", "driver/cp/lang_driver.cc"},
      {QUARN_TEST_SOURCE_DIR "/tests/unit/x.cc", "tests/unit/x.cc"},
      {"../../src/driver/x.cc", "src/driver/x.cc"},
      {"plain.cc", "plain.cc"},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(trim_filename(c.path.c_str()), c.expected) << c.path;
}

void failing_check() {
  quarn_assert(1 + 1 == 3);
}
const int failing_check_line = __LINE__ - 2;

TEST(Assertions, ReportThroughThePrinter) {
  child_result child = run_in_child([] {
    reset_global_context();
    failing_check();
  });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 4);
  std::string expected = "quarn++: internal compiler error: in failing_check, at "
                         "tests/unit/diagnostics/diagnostic_test.cc:" +
                         std::to_string(failing_check_line) + "\n";
  EXPECT_EQ(child.err.rfind(expected, 0), 0U) << child.err;
  EXPECT_EQ(child.err.substr(child.err.size() - SEE_URL.size()), SEE_URL);
}

TEST(Assertions, BeforeTheContextExists) {
  child_result child = run_in_child([] {
    diag_context_finish(global_dc);
    failing_check();
  });
  EXPECT_FALSE(child.exited);
  EXPECT_EQ(child.status, SIGABRT);
  std::string expected = "internal compiler error: in failing_check, at "
                         "tests/unit/diagnostics/diagnostic_test.cc:" +
                         std::to_string(failing_check_line) + "\n";
  EXPECT_EQ(child.err.rfind(expected, 0), 0U) << child.err;
  EXPECT_EQ(child.err.find("Please submit"), std::string::npos);
}

} // namespace
