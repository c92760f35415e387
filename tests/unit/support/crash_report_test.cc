// Crash reproduction under -freport-bug: when it is tried, the attempts, the
// report file and the notices; one attempt; comparing files.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "common/child_process.h"
#include "quarn-config.h"
#include "path_fixtures.h"
#include "support/crash_report.h"
#include "support/execute.h"
#include "support/file_lookup.h"

namespace {

void write_file(const std::string &path, const std::string &text, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary) << text;
  chmod(path.c_str(), mode);
}

std::vector<std::string> files_in(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *entry = readdir(d))
      if (entry->d_name[0] != '.')
        names.push_back(entry->d_name);
    closedir(d);
  }
  return names;
}

int run_command(std::vector<std::string> words) {
  arg_vector args;
  arg_vector_init(&args, words.size());
  for (const std::string &word : words)
    arg_vector_push(&args, word.c_str());
  int result = execute(&args);
  arg_vector_free(&args);
  return result;
}

// A stand-in compiler proper: a shell script that logs each run to "runs" next
// to it, and the body.
const char *const script_head = "#!/bin/sh\necho \"$*\" >> \"$(dirname \"$0\")/runs\"\n";

// The reproduction makes its files in the temporary directory, which a process
// chooses once; so the whole run happens in a freshly started copy of the test
// program with TMPDIR set. The copy finds the parent's scratch directory in the
// environment.
class crash_report_test : public ::testing::Test {
protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    saved_prefixes = program_prefixes;
    program_prefixes = search_path_list{};
    exec_state = execute_state{};
    if (!getenv(variable)) {
      scratch = std::make_unique<scratch_dir>();
      setenv(variable, scratch->root().c_str(), 1);
    }
    root = getenv(variable);
    bin = root + "/bin/";
    tmp = root + "/tmp";
    mkdir(bin.c_str(), 0755);
    mkdir(tmp.c_str(), 0755);
    insert_prefix(&program_prefixes, bin.c_str(), nullptr, PRIO_STANDARD, 0, 0);
  }
  void TearDown() override {
    program_prefixes = saved_prefixes;
    exec_state = execute_state{};
    if (scratch)
      unsetenv(variable);
  }
  void write_compiler(const std::string &name, const std::string &body) {
    write_file(bin + name, script_head + body, 0755);
  }
  int runs() {
    std::string log = read_file(bin + "runs");
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
  }

  static constexpr const char *variable = "QUARN_TEST_CRASH_DIR";
  std::unique_ptr<scratch_dir> scratch;
  search_path_list saved_prefixes;
  std::string root, bin, tmp;
};

// Crashes the same way every time, except under -E, where it preprocesses.
const char *const steady_crash =
    "for a; do [ \"$a\" = -E ] && { echo 'int preprocessed;'; exit 0; }; done\n"
    "echo 'partial output'\n"
    "echo 'tarn-crash: internal compiler error: in frob, at frob.c:1' >&2\n"
    "exit 4\n";

TEST_F(crash_report_test, steady_crash_leaves_report_with_messages_command_and_source) {
  write_compiler("tarn-crash", steady_crash);
  EXPECT_EXIT(
      {
        setenv("TMPDIR", tmp.c_str(), 1);
        exec_state.report_bug = true;
        exec_state.input_name = "x.c";
        exit(run_command({"tarn-crash", "-quiet", "x.c", "-o", "x.s"}) == -1 ? 0 : 2);
      },
      ::testing::ExitedWithCode(0),
      // After the crash's own message, which the first run printed.
      "^tarn-crash: internal compiler error: in frob, at frob.c:1\n"
      "Preprocessed source stored into " + tmp +
          "/cc[^/]{6}\\.out file, please attach this to your bugreport\\.\n$");
  // The crash, three attempts and the preprocessing run.
  EXPECT_EQ(runs(), 5);
  std::vector<std::string> left = files_in(tmp);
  ASSERT_EQ(left.size(), 1u);
  std::string expected = std::string("// Target: " QUARN_TARGET "\n") +
                         "// Configured with: " QUARN_CONFIGURE_ARGS "\n"
                         "// Thread model: posix\n"
                         "// Supported LTO compression algorithms: zlib\n"
                         "// quarn version " QUARN_VERSION_STRING " " QUARN_PKGVERSION "\n"
                         "// \n"
                         "// tarn-crash: internal compiler error: in frob, at frob.c:1\n"
                         "\n// " +
                         bin + "tarn-crash -quiet x.c -o - -frandom-seed=0 -fdump-noaddr\n\n" +
                         "int preprocessed;\n";
  EXPECT_EQ(read_file(tmp + "/" + left[0]), expected);
}

TEST_F(crash_report_test, long_message_lines_are_commented_once) {
  std::string long_line(600, 'm');
  write_compiler("fell", "for a; do [ \"$a\" = -E ] && exit 0; done\necho '" + long_line +
                             "' >&2\nprintf 'no newline' >&2\nexit 4\n");
  EXPECT_EXIT(
      {
        setenv("TMPDIR", tmp.c_str(), 1);
        exec_state.report_bug = true;
        exec_state.input_name = "x.cc";
        exit(run_command({"fell", "-quiet", "x.cc", "-ox.s"}) == -1 ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "Preprocessed source stored into");
  std::vector<std::string> left = files_in(tmp);
  ASSERT_EQ(left.size(), 1u);
  std::string report = read_file(tmp + "/" + left[0]);
  EXPECT_NE(report.find("\n// " + long_line + "\n// no newline\n// " + bin +
                        "fell -quiet x.cc -o- -frandom-seed=0 -fdump-noaddr\n\n"),
            std::string::npos)
      << report;
}

TEST_F(crash_report_test, unsteady_crash_is_not_reproducible) {
  struct {
    const char *name;
    const char *body;
  } cases[] = {
      {"messages differ", "echo \"crash $$\" >&2\nexit 4\n"},
      {"crashes only once",
       "[ \"$(wc -l < \"$(dirname \"$0\")/runs\")\" -gt 1 ] && exit 0\nexit 4\n"},
      {"dies by a signal on the rerun",
       "[ \"$(wc -l < \"$(dirname \"$0\")/runs\")\" -gt 1 ] && kill -SEGV $$\nexit 4\n"},
  };
  for (const auto &c : cases) {
    remove((bin + "runs").c_str());
    write_compiler("tarn", c.body);
    EXPECT_EXIT(
        {
          setenv("TMPDIR", tmp.c_str(), 1);
          exec_state.report_bug = true;
          exec_state.input_name = "x.c";
          exit(run_command({"tarn", "-quiet", "x.c", "-o", "x.s"}) == -1 ? 0 : 2);
        },
        ::testing::ExitedWithCode(0),
        "(^|\n)The bug is not reproducible, so it is likely a hardware or OS problem\\.\n$")
        << c.name;
    EXPECT_EQ(files_in(tmp).size(), 0u) << c.name;
  }
}

TEST_F(crash_report_test, preprocessing_killed_by_a_signal_keeps_nothing) {
  write_compiler("tarn", "for a; do [ \"$a\" = -E ] && kill -SEGV $$; done\necho same >&2\nexit 4\n");
  EXPECT_EXIT(
      {
        setenv("TMPDIR", tmp.c_str(), 1);
        exec_state.report_bug = true;
        exec_state.input_name = "x.c";
        exit(run_command({"tarn", "-quiet", "x.c", "-o", "x.s"}) == -1 ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "^same\n$");
  EXPECT_EQ(runs(), 5);
  EXPECT_EQ(files_in(tmp).size(), 0u);
}

TEST_F(crash_report_test, reproduction_only_when_it_can_help) {
  struct {
    const char *name;
    bool report_bug;
    const char *input;
    std::vector<std::string> command;
  } cases[] = {
      {"no -freport-bug", false, "x.c", {"tarn", "-quiet", "x.c", "-o", "x.s"}},
      {"no input name", true, nullptr, {"tarn", "-quiet", "x.c", "-o", "x.s"}},
      {"standard input", true, "-", {"tarn", "-quiet", "-", "-o", "x.s"}},
      {"preprocessing", true, "x.c", {"tarn", "-E", "-quiet", "x.c", "-o", "x.i"}},
      {"timing report", true, "x.c", {"tarn", "-quiet", "x.c", "-ftime-report", "-o", "x.s"}},
      {"no -quiet", true, "x.c", {"tarn", "x.c", "-o", "x.s"}},
      {"no output option", true, "x.c", {"tarn", "-quiet", "x.c"}},
      {"two output options", true, "x.c", {"tarn", "-quiet", "x.c", "-o", "x.s", "-ox.t"}},
      {"not a compiler proper", true, "x.c", {"pell2", "-quiet", "x.c", "-o", "x.s"}},
      {"later stage", true, "x.c", {"/bin/true", "|", "tarn", "-quiet", "x.c", "-o", "x.s"}},
  };
  write_compiler("tarn", "exit 4\n");
  write_compiler("pell2", "exit 4\n");
  for (const auto &c : cases) {
    remove((bin + "runs").c_str());
    exec_state = execute_state{};
    exec_state.report_bug = c.report_bug;
    exec_state.input_name = c.input;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_command(c.command), -1) << c.name;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
    EXPECT_EQ(exec_state.greatest_exit_status, 4) << c.name;
    EXPECT_EQ(runs(), 1) << c.name;
  }
}

TEST_F(crash_report_test, attempt_result_from_exit_status) {
  struct {
    const char *body;
    repro_result expected;
  } cases[] = {
      {"exit 0\n", REPRO_CLEAN},
      {"exit 4\n", REPRO_CRASHED},
      {"exit 1\n", REPRO_NOT_RUN},
      // No exit status at all: neither clean nor a crash.
      {"kill -SEGV $$\n", REPRO_NOT_RUN},
      {"kill -TERM $$\n", REPRO_NOT_RUN},
  };
  std::string out = root + "/attempt.out", err = root + "/attempt.err";
  std::string program = bin + "attempt";
  for (const auto &c : cases) {
    write_file(program, std::string("#!/bin/sh\n") + c.body, 0755);
    char *argv[] = {program.data(), nullptr};
    EXPECT_EQ(run_repro_attempt(argv, out.c_str(), err.c_str(), false, false), c.expected) << c.body;
  }
}

TEST_F(crash_report_test, attempt_appends_after_the_configuration_block) {
  std::string out = root + "/attempt.out", err = root + "/attempt.err";
  write_file(out, "before\n");
  write_file(err, "");
  std::string program = bin + "attempt";
  write_file(program, "#!/bin/sh\necho to-out\necho to-err >&2\nexit 4\n", 0755);
  char *argv[] = {program.data(), nullptr};
  EXPECT_EQ(run_repro_attempt(argv, out.c_str(), err.c_str(), true, true), REPRO_CRASHED);
  EXPECT_EQ(read_file(out), "before\nto-out\n");
  std::string err_text = read_file(err);
  EXPECT_EQ(err_text.rfind("Target: " QUARN_TARGET "\n", 0), 0u) << err_text;
  EXPECT_NE(err_text.find(QUARN_PKGVERSION "\n\nto-err\n"), std::string::npos) << err_text;
}

TEST_F(crash_report_test, files_compared_by_size_and_every_block) {
  std::string big(10000, 'b');
  std::string big_changed = big;
  big_changed[9999] = 'c';
  std::string a = root + "/a", b = root + "/b";
  struct {
    std::string first, second;
    bool missing_second;
    bool same;
  } cases[] = {
      {"", "", false, true},
      {"same\n", "same\n", false, true},
      {"same\n", "sane\n", false, false},
      {"short", "longer", false, false},
      {big, big, false, true},
      {big, big_changed, false, false},
      {"x", "", true, false},
  };
  for (const auto &c : cases) {
    write_file(a, c.first);
    remove(b.c_str());
    if (!c.missing_second)
      write_file(b, c.second);
    EXPECT_EQ(files_identical(a.c_str(), b.c_str()), c.same) << c.first.size() << " " << c.second;
    EXPECT_EQ(files_identical(b.c_str(), a.c_str()), c.same);
  }
}

} // namespace
