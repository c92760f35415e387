// Running commands: wrapper words, program lookup, the -v and -### echo,
// judging statuses and signals, the -time reports.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

#include "common/child_process.h"
#include "path_fixtures.h"
#include "diagnostics/diagnostic.h"
#include "support/execute.h"
#include "support/file_lookup.h"
#include "support/pipeline.h"

namespace {

const std::string libexec =
    std::string(QUARN_TEST_STAGE) + "/libexec/quarn/aarch64-rivet-freebsd13.4/12.3.0/";

arg_vector make_args(std::initializer_list<const char *> words) {
  arg_vector args;
  arg_vector_init(&args, words.size());
  for (const char *word : words)
    arg_vector_push(&args, word);
  return args;
}

int run_command(std::initializer_list<const char *> words) {
  arg_vector args = make_args(words);
  int result = execute(&args);
  arg_vector_free(&args);
  return result;
}

// Programs are found along a program-prefix list holding only the staged
// stand-ins; the driver state starts as the driver leaves it after options.
class execute_test : public ::testing::Test {
protected:
  void SetUp() override {
    saved_prefixes = program_prefixes;
    program_prefixes = search_path_list{};
    insert_prefix(&program_prefixes, libexec.c_str(), nullptr, PRIO_STANDARD, 0, 0);
    exec_state = execute_state{};
    signal(SIGPIPE, SIG_DFL);
  }
  void TearDown() override {
    program_prefixes = saved_prefixes;
    exec_state = execute_state{};
  }
  search_path_list saved_prefixes;
};

TEST_F(execute_test, echo_quotes_only_under_hash_hash_hash) {
  struct {
    bool echo_only;
    std::string expected;
  } cases[] = {
      {true, " /bin/true \"a=b\" \"\\$HOME\" \"\" plain-x_y.Z/9 \"q\\\"b\\\\\"\n"},
      {false, " /bin/true a=b $HOME \"\" plain-x_y.Z/9 q\"b\\\n"},
  };
  for (const auto &c : cases) {
    exec_state.verbose = true;
    exec_state.echo_only = c.echo_only;
    exec_state.commands_run = 0;
    testing::internal::CaptureStderr();
    int result = run_command({"/bin/true", "a=b", "$HOME", "", "plain-x_y.Z/9", "q\"b\\"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(exec_state.commands_run, 1);
  }
}

TEST_F(execute_test, hash_hash_hash_starts_nothing) {
  scratch_dir dir;
  std::string log = dir.path("sim.log");
  scoped_env logging("QUARN_SIM_LOG", log.c_str());
  exec_state.echo_only = true;
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_command({"tarn", "-quiet", "|", "as", "-o", "x.o"}), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            " " + libexec + "tarn -quiet |\n as -o x.o\n");
  struct stat st;
  EXPECT_NE(stat(log.c_str(), &st), 0);
}

TEST_F(execute_test, help_puts_an_empty_line_first) {
  exec_state.echo_only = true;
  exec_state.print_help = true;
  testing::internal::CaptureStderr();
  run_command({"/bin/true", "--help"});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "\n /bin/true --help\n");
}

TEST_F(execute_test, wrapper_words_lead_the_command) {
  struct {
    const char *wrapper;
    std::string expected;
  } cases[] = {
      {",x,,y,", " x y \"\" " + libexec + "tarn -c\n"},
      {"dbg,--args", " dbg --args " + libexec + "tarn -c\n"},
      {"solo", " solo " + libexec + "tarn -c\n"},
  };
  for (const auto &c : cases) {
    exec_state.echo_only = true;
    exec_state.wrapper = c.wrapper;
    testing::internal::CaptureStderr();
    run_command({"tarn", "-c"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected) << c.wrapper;
  }
}

TEST_F(execute_test, wrapper_runs_through_path) {
  exec_state.wrapper = "env,QUARN_SIM_FAIL=tarn:3";
  EXPECT_EQ(run_command({"tarn", "--version"}), -1);
  EXPECT_EQ(exec_state.greatest_exit_status, 3);
}

TEST_F(execute_test, pipeline_output_flows_between_found_programs) {
  scratch_dir dir;
  std::string out = dir.path("out");
  EXPECT_EQ(run_command({"/bin/echo", "through", "|", "sh", "-c", "read w; echo $w > \"$0\"", out.c_str()}), 0);
  EXPECT_EQ(read_file(out), "through\n");
  EXPECT_EQ(exec_state.commands_run, 1);
}

TEST_F(execute_test, exit_statuses_and_broken_pipes_counted_quietly) {
  struct {
    const char *fail;
    const char *signal;
    int result;
    int greatest;
    unsigned broken_pipes;
  } cases[] = {
      {nullptr, nullptr, 0, 1, 0},
      {"tarn:1", nullptr, -1, 1, 0},
      {"tarn:5", nullptr, -1, 5, 0},
      // Status 4 without -freport-bug is a plain failure.
      {"tarn:4", nullptr, -1, 4, 0},
      {nullptr, "tarn:13", -1, 1, 1},
  };
  for (const auto &c : cases) {
    scoped_env fail("QUARN_SIM_FAIL", c.fail);
    scoped_env die("QUARN_SIM_SIGNAL", c.signal);
    exec_state = execute_state{};
    testing::internal::CaptureStderr();
    int result = run_command({"tarn", "--version"});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(exec_state.greatest_exit_status, c.greatest);
    EXPECT_EQ(exec_state.signal_failure_count, c.broken_pipes);
    // The child speaks for itself; the runner adds nothing.
    EXPECT_EQ(err.find("quarn++"), std::string::npos) << err;
  }
}

TEST_F(execute_test, broken_pipe_is_an_internal_error_when_nothing_failed_before) {
  scoped_env die("QUARN_SIM_SIGNAL", "tarn:13");
  exec_state.greatest_exit_status = 0;
  EXPECT_EXIT(run_command({"tarn"}), ::testing::ExitedWithCode(4),
              "internal compiler error: Broken pipe signal terminated program tarn");
}

TEST_F(execute_test, fatal_and_other_signals) {
  struct {
    const char *signal;
    int status;
    const char *message;
  } cases[] = {
      {"tarn:15", 1, "quarn\\+\\+: fatal error: Terminated signal terminated program tarn\n"},
      {"tarn:9", 1, "quarn\\+\\+: fatal error: Killed signal terminated program tarn\n"},
      {"tarn:2", 1, "quarn\\+\\+: fatal error: Interrupt signal terminated program tarn\n"},
      {"tarn:11", 4,
       "quarn\\+\\+: internal compiler error: Segmentation fault signal terminated program tarn\n"},
  };
  for (const auto &c : cases) {
    scoped_env die("QUARN_SIM_SIGNAL", c.signal);
    EXPECT_EXIT(run_command({"tarn"}), ::testing::ExitedWithCode(c.status), c.message) << c.signal;
  }
}

TEST_F(execute_test, early_fatal_status_ends_the_run_before_later_ones_are_judged) {
  // The second stage is killed too, which would be an internal error if judged.
  EXPECT_EXIT(run_command({"sh", "-c", "kill -TERM $$", "|", "sh", "-c", "kill -SEGV $$"}),
              ::testing::ExitedWithCode(1), "fatal error: Terminated signal terminated program sh");
}

TEST_F(execute_test, missing_program_cannot_be_executed) {
  // Not found along the prefixes, so PATH is searched: the step is execvp.
  EXPECT_EXIT(run_command({"quarn-no-such-program", "-c"}), ::testing::ExitedWithCode(1),
              "fatal error: cannot execute 'quarn-no-such-program': execvp: No such file or "
              "directory");
  EXPECT_EXIT(run_command({"/bin/true", "|", "/nonexistent/quarn-tool"}), ::testing::ExitedWithCode(1),
              "fatal error: cannot execute '/nonexistent/quarn-tool': execvp: No such file or "
              "directory");
}

TEST_F(execute_test, empty_stage_fails_to_start_instead_of_crashing) {
  EXPECT_EXIT(run_command({"/bin/true", "|"}), ::testing::ExitedWithCode(1),
              "fatal error: cannot execute '': execvp:");
}

// Real waits, except that the second child reports no CPU time at all.
pid_t wait_with_idle_second(process_pipeline *pipeline, pid_t pid, int *status, child_time *time,
                            bool final_reaping, const char **message, int *err) {
  pid_t result = posix_pipeline_ops.wait(pipeline, pid, status, time, final_reaping, message, err);
  if (time && pipeline->child_count > 1 && pid == pipeline->children[1])
    *time = child_time{};
  return result;
}

class execute_time_test : public execute_test {
protected:
  void SetUp() override {
    execute_test::SetUp();
    ops = posix_pipeline_ops;
    ops.wait = wait_with_idle_second;
    pipeline_default_ops = &ops;
  }
  void TearDown() override {
    pipeline_default_ops = &posix_pipeline_ops;
    execute_test::TearDown();
  }
  pipeline_os_ops ops;
};

const char *const busy_loop = "i=0; while [ $i -lt 30000 ]; do i=$((i+1)); done";

TEST_F(execute_time_test, time_lines_only_for_children_that_used_cpu) {
  exec_state.report_times = true;
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_command({"sh", "-c", busy_loop, "|", "/bin/cat"}), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(testing::internal::RE::FullMatch(err, "# sh [0-9]+\\.[0-9][0-9] [0-9]+\\.[0-9][0-9]\n"))
      << err;
}

TEST_F(execute_time_test, time_file_lines_quote_words_for_the_shell) {
  scratch_dir dir;
  std::string path = dir.path("times");
  exec_state.time_file = fopen(path.c_str(), "w");
  ASSERT_NE(exec_state.time_file, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_command({"sh", "-c", busy_loop, "x\"y\\z", "|", "/bin/cat"}), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  fclose(exec_state.time_file);
  std::string text = read_file(path);
  std::string expected_words =
      " sh -c \"i=0; while [ \\$i -lt 30000 ]; do i=\\$((i+1)); done\" \"x\\\"y\\\\z\"\n";
  size_t space = text.find(" sh ");
  ASSERT_NE(space, std::string::npos) << text;
  EXPECT_EQ(text.substr(space), expected_words);
  double user = -1, system = -1;
  EXPECT_EQ(sscanf(text.c_str(), "%lg %lg", &user, &system), 2);
  EXPECT_GT(user + system, 0.0);
}

} // namespace
